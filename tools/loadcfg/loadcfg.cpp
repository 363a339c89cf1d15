// Points the load-configuration directory (data directory 10) of a linked
// Windows image at the load-configuration structure the program defines:
// the linker keeps the structure but leaves the directory empty, and without
// the directory the loader never reads it. The structure is found through
// its symbol in the link map, because the shipped image has no symbol table.
//
//   loadcfg IMAGE MAP
//
// On any error IMAGE is removed: the build would otherwise take the linked
// but unpatched image for up to date and ship it.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kLoadConfigDirectory = 10;

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!std::filesystem::is_regular_file(path) || !in)
    throw std::runtime_error("cannot read " + path.string());
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  if (in.bad())
    throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

std::uint64_t Get(const Bytes& bytes, std::size_t offset, std::size_t size) {
  if (offset > bytes.size() || bytes.size() - offset < size)
    throw std::runtime_error("the image ends inside its headers");
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i)
    value |= std::uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

void Put(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    bytes.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
}

struct Section {
  std::uint32_t rva;
  std::uint32_t virtualSize;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
};

struct Image {
  std::size_t optionalHeader = 0;
  bool i386 = false;
  std::uint64_t imageBase = 0;
  std::size_t directories = 0;
  std::uint32_t directoryCount = 0;
  std::vector<Section> sections;
};

Image ParseHeaders(const Bytes& bytes) {
  if (Get(bytes, 0, 2) != 0x5A4D)
    throw std::runtime_error("not a Windows image (no MZ header)");
  const std::size_t pe = Get(bytes, 0x3C, 4);
  if (Get(bytes, pe, 4) != 0x00004550)
    throw std::runtime_error("not a Windows image (no PE signature)");
  const std::size_t fileHeader = pe + 4;
  const std::uint64_t machine = Get(bytes, fileHeader, 2);
  const std::uint64_t sectionCount = Get(bytes, fileHeader + 2, 2);
  const std::uint64_t optionalSize = Get(bytes, fileHeader + 16, 2);
  Image image;
  image.optionalHeader = fileHeader + 20;
  const std::uint64_t magic = Get(bytes, image.optionalHeader, 2);
  if (machine == 0x14C && magic == 0x10B) {
    image.i386 = true;
    image.imageBase = Get(bytes, image.optionalHeader + 28, 4);
    image.directories = image.optionalHeader + 96;
  } else if (machine == 0x8664 && magic == 0x20B) {
    image.imageBase = Get(bytes, image.optionalHeader + 24, 8);
    image.directories = image.optionalHeader + 112;
  } else {
    throw std::runtime_error("neither an i386 nor an x86-64 image");
  }
  image.directoryCount = static_cast<std::uint32_t>(Get(bytes, image.directories - 4, 4));
  if (image.directoryCount <= kLoadConfigDirectory ||
      image.directories + 8 * std::size_t{image.directoryCount} >
          image.optionalHeader + optionalSize)
    throw std::runtime_error("the optional header has no load-configuration directory");
  const std::size_t table = image.optionalHeader + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t header = table + 40 * i;
    image.sections.push_back({static_cast<std::uint32_t>(Get(bytes, header + 12, 4)),
                              static_cast<std::uint32_t>(Get(bytes, header + 8, 4)),
                              static_cast<std::uint32_t>(Get(bytes, header + 16, 4)),
                              static_cast<std::uint32_t>(Get(bytes, header + 20, 4))});
  }
  return image;
}

// The file offset of `size` bytes at `rva`, which must lie in what a section
// stores in the file: the loader reads the structure from the mapped image,
// where bytes past a section's stored data are zeros, not ours.
std::size_t FileOffset(const Image& image, const Bytes& bytes, std::uint32_t rva,
                       std::uint32_t size) {
  for (const Section& section : image.sections) {
    const std::uint64_t stored =
        section.virtualSize == 0 ? section.rawSize : std::min(section.virtualSize, section.rawSize);
    if (rva < section.rva || rva - section.rva > stored || size > stored - (rva - section.rva))
      continue;
    const std::size_t offset = std::size_t{section.rawOffset} + (rva - section.rva);
    if (offset + size > bytes.size())
      break;
    return offset;
  }
  throw std::runtime_error("the load configuration is not in the data the image stores");
}

// The address GNU ld's map gives a symbol: a line holding that address and
// the name, nothing else.
std::uint64_t SymbolAddress(const Bytes& map, const std::string& symbol) {
  std::istringstream lines(std::string(map.begin(), map.end()));
  std::set<std::uint64_t> addresses;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string address, name, more;
    if (!(words >> address >> name) || (words >> more) || name != symbol ||
        address.rfind("0x", 0) != 0)
      continue;
    std::size_t parsed = 0;
    const std::uint64_t value = std::stoull(address, &parsed, 16);
    if (parsed != address.size())
      continue;
    addresses.insert(value);
  }
  if (addresses.empty())
    throw std::runtime_error("the link map has no " + symbol +
                             ": the program defines no load configuration");
  if (addresses.size() > 1)
    throw std::runtime_error("the link map gives " + symbol + " more than one address");
  return *addresses.begin();
}

// The optional header's checksum over the whole file, its own field left out.
std::uint32_t Checksum(const Bytes& bytes, std::size_t field) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (i >= field && i < field + 4)
      continue;
    sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + bytes.size());
}

void Patch(const std::filesystem::path& imagePath, const std::filesystem::path& mapPath) {
  Bytes bytes = ReadFile(imagePath);
  const Image image = ParseHeaders(bytes);
  // The map names i386 symbols without the underscore the compiler adds.
  const std::string symbol = "_load_config_used";
  const std::uint64_t address = SymbolAddress(ReadFile(mapPath), symbol);
  if (address < image.imageBase || address - image.imageBase > 0xFFFFFFFF)
    throw std::runtime_error(symbol + " lies outside the image");
  const auto rva = static_cast<std::uint32_t>(address - image.imageBase);
  // The loader takes the structure's own first field for its size, and reads
  // no field it does not cover; DependentLoadFlags ends at this offset.
  const std::uint32_t needed = image.i386 ? 56 : 80;
  const auto size = static_cast<std::uint32_t>(Get(bytes, FileOffset(image, bytes, rva, 4), 4));
  if (size < needed)
    throw std::runtime_error(symbol + " says it has " + std::to_string(size) +
                             " bytes, which end before DependentLoadFlags");
  FileOffset(image, bytes, rva, size);

  const std::size_t entry = image.directories + 8 * kLoadConfigDirectory;
  const std::uint64_t oldRva = Get(bytes, entry, 4);
  const std::uint64_t oldSize = Get(bytes, entry + 4, 4);
  if (oldRva == rva && oldSize == size)
    return;
  if (oldRva != 0 || oldSize != 0)
    throw std::runtime_error("the load-configuration directory already points elsewhere");
  Put(bytes, entry, rva);
  Put(bytes, entry + 4, size);
  // A zero checksum is never checked; a stale one would be wrong.
  const std::size_t checksum = image.optionalHeader + 64;
  if (Get(bytes, checksum, 4) != 0)
    Put(bytes, checksum, Checksum(bytes, checksum));

  std::ofstream out(imagePath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw std::runtime_error("cannot write " + imagePath.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "loadcfg: usage: loadcfg IMAGE MAP\n";
    return 1;
  }
  try {
    Patch(argv[1], argv[2]);
    return 0;
  } catch (const std::exception& error) {
    std::error_code ignored;
    std::filesystem::remove(argv[1], ignored);
    std::cerr << "loadcfg: " << argv[1] << ": " << error.what() << " (image removed)\n";
    return 1;
  }
}
