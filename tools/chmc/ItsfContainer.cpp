#include "ItsfContainer.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "LittleEndian.h"

// Layout written here (all integers little-endian):
//   0x0000  ITSF header, version 3, 0x60 bytes: two section (offset, length)
//           pairs and the offset of content section 0
//   0x0060  header section 0, 0x18 bytes: the file's size
//   0x0078  header section 1, the directory: ITSP header (0x54 bytes), then
//           one PMGL listing chunk of 0x1000 bytes
//   0x10CC  content section 0: the entries' bytes, one after the other
// A listing entry is ENCINT name length, name, ENCINT section, ENCINT offset
// in the section, ENCINT length. The chunk ends with its quickref area: for
// every fifth entry its offset from the first entry, stored backwards, and in
// the last two bytes the number of entries.

namespace qv::chm {

namespace {

constexpr std::uint32_t kChunkSize = 0x1000;
constexpr std::uint32_t kListingHeaderSize = 0x14;
constexpr std::uint32_t kItspSize = 0x54;
constexpr std::uint32_t kQuickrefDensity = 2;
constexpr std::size_t kQuickrefEvery = 1 + (1u << kQuickrefDensity);
constexpr std::uint32_t kNone = 0xFFFFFFFF;

// Byte order of a GUID on disk: the first three groups little-endian.
constexpr unsigned char kItsfGuid0[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                          0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr unsigned char kItsfGuid1[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                          0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr unsigned char kItspGuid[16] = {0x6A, 0x92, 0x02, 0x5D, 0x2E, 0x21, 0xD0, 0x11,
                                         0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

void PutGuid(std::string& out, const unsigned char (&guid)[16]) {
  out.append(reinterpret_cast<const char*>(guid), sizeof guid);
}

// Seven bits a byte, most significant first; every byte but the last has
// its top bit set.
void PutEncInt(std::string& out, std::uint64_t value) {
  unsigned char groups[10];
  int count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count-- > 0)
    out += static_cast<char>(groups[count] | (count > 0 ? 0x80 : 0));
}

char Folded(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Readers find an entry by a case-insensitive search through the sorted
// listing, so the order must be the folded one.
bool FoldedLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Folded(x)) < static_cast<unsigned char>(Folded(y));
  });
}

bool FoldedEqual(std::string_view a, std::string_view b) {
  return !FoldedLess(a, b) && !FoldedLess(b, a);
}

std::string ListingChunk(const std::vector<ItsfEntry>& entries, std::string& content) {
  std::string listing;
  std::vector<std::uint16_t> quickref;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0 && i % kQuickrefEvery == 0)
      quickref.push_back(static_cast<std::uint16_t>(listing.size()));
    PutEncInt(listing, entries[i].name.size());
    listing += entries[i].name;
    PutEncInt(listing, 0);
    PutEncInt(listing, content.size());
    PutEncInt(listing, entries[i].data.size());
    content += entries[i].data;
  }
  const std::size_t needed = kListingHeaderSize + listing.size() + 2 * quickref.size() + 2;
  if (needed > kChunkSize) {
    throw std::runtime_error(
        "the directory of " + std::to_string(entries.size()) + " entries needs " +
        std::to_string(needed) + " bytes, more than one listing chunk of " +
        std::to_string(kChunkSize) + " bytes; fewer or shorter file names are needed");
  }

  std::string chunk = "PMGL";
  PutU32(chunk, static_cast<std::uint32_t>(kChunkSize - kListingHeaderSize - listing.size()));
  PutU32(chunk, 0);
  PutU32(chunk, kNone);  // no previous listing chunk
  PutU32(chunk, kNone);  // no next one
  chunk += listing;
  chunk.resize(kChunkSize - 2 - 2 * quickref.size(), '\0');
  for (auto offset = quickref.rbegin(); offset != quickref.rend(); ++offset)
    PutU16(chunk, *offset);
  PutU16(chunk, static_cast<std::uint16_t>(entries.size()));
  return chunk;
}

}  // namespace

std::string BuildItsf(std::vector<ItsfEntry> entries, std::uint32_t language) {
  std::sort(entries.begin(), entries.end(),
            [](const ItsfEntry& a, const ItsfEntry& b) { return FoldedLess(a.name, b.name); });
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (FoldedEqual(entries[i - 1].name, entries[i].name))
      throw std::runtime_error("the names " + entries[i - 1].name + " and " + entries[i].name +
                               " differ only in case");
  }
  std::string content;
  const std::string chunk = ListingChunk(entries, content);

  constexpr std::uint32_t kHeaderSize = 0x60;
  constexpr std::uint32_t kSection0Size = 0x18;
  constexpr std::uint32_t kDirectorySize = kItspSize + kChunkSize;
  constexpr std::uint32_t kContentOffset = kHeaderSize + kSection0Size + kDirectorySize;

  std::string out = "ITSF";
  PutU32(out, 3);
  PutU32(out, kHeaderSize);
  PutU32(out, 1);
  PutU32(out, 0);  // timestamp: zero, so that builds are reproducible
  PutU32(out, language);
  PutGuid(out, kItsfGuid0);
  PutGuid(out, kItsfGuid1);
  PutU64(out, kHeaderSize);
  PutU64(out, kSection0Size);
  PutU64(out, kHeaderSize + kSection0Size);
  PutU64(out, kDirectorySize);
  PutU64(out, kContentOffset);

  PutU32(out, 0x1FE);
  PutU32(out, 0);
  PutU64(out, kContentOffset + content.size());
  PutU32(out, 0);
  PutU32(out, 0);

  out += "ITSP";
  PutU32(out, 1);
  PutU32(out, kItspSize);
  PutU32(out, 0x0A);
  PutU32(out, kChunkSize);
  PutU32(out, kQuickrefDensity);
  PutU32(out, 1);      // depth: a listing chunk only, no index chunk
  PutU32(out, kNone);  // so there is no root index chunk
  PutU32(out, 0);      // first listing chunk
  PutU32(out, 0);      // last listing chunk
  PutU32(out, kNone);
  PutU32(out, 1);  // chunks in all
  PutU32(out, language);
  PutGuid(out, kItspGuid);
  PutU32(out, kItspSize);
  PutU32(out, kNone);
  PutU32(out, kNone);
  PutU32(out, kNone);
  out += chunk;
  out += content;
  return out;
}

}  // namespace qv::chm
