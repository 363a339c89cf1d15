#include "PayloadPacker.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <zlib.h>
#include <zopfli/zopfli.h>

#include "core/Sha256.h"

namespace qv {

namespace {

// More iterations than this gain a few bytes at most on files of the
// payloads' size and cost time on every cold build.
constexpr int kIterations = 15;

ZopfliOptions Options() {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = kIterations;
  return options;
}

// Part of every cache key: other options (or another container format)
// make other streams, which must not be taken for these.
std::string OptionsKey() {
  const ZopfliOptions o = Options();
  return "zopfli zlib numiterations=" + std::to_string(o.numiterations) +
         " blocksplitting=" + std::to_string(o.blocksplitting) +
         " blocksplittingmax=" + std::to_string(o.blocksplittingmax) + "\n";
}

std::vector<uint8_t> ZopfliZlib(const std::vector<uint8_t>& source) {
  const ZopfliOptions options = Options();
  unsigned char* out = nullptr;
  size_t outSize = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, source.data(), source.size(), &out, &outSize);
  const std::unique_ptr<unsigned char, decltype(&std::free)> owned(out, &std::free);
  return std::vector<uint8_t>(out, out + outSize);
}

}  // namespace

std::string InflateMismatch(const uint8_t* stream, size_t size,
                            const std::vector<uint8_t>& source) {
  // One byte of room beyond the source shows a stream that inflates to more.
  std::vector<uint8_t> inflated(source.size() + 1);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK)
    return "cannot be checked: zlib cannot start";
  zs.next_in = const_cast<Bytef*>(stream);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = inflated.data();
  zs.avail_out = static_cast<uInt>(inflated.size());
  const int result = inflate(&zs, Z_FINISH);
  const size_t produced = inflated.size() - zs.avail_out;
  const bool whole = result == Z_STREAM_END && zs.avail_in == 0;
  const std::string message = zs.msg != nullptr ? zs.msg : "";
  inflateEnd(&zs);
  inflated.resize(produced);
  if (whole && inflated == source)
    return "";
  return "does not inflate to the file" + (message.empty() ? "" : " (" + message + ")");
}

PayloadPacker::PayloadPacker(std::filesystem::path cacheDir) : cacheDir_(std::move(cacheDir)) {}

std::filesystem::path PayloadPacker::EntryFor(const std::vector<uint8_t>& source) const {
  Sha256 hash;
  const std::string options = OptionsKey();
  hash.Update(options.data(), options.size());
  hash.Update(source.data(), source.size());
  return cacheDir_ / (Sha256::Hex(hash.Final()) + ".zlib");
}

std::vector<uint8_t> PayloadPacker::Pack(const std::vector<uint8_t>& source) {
  if (cacheDir_.empty()) {
    ++counts_.compressed;
    return ZopfliZlib(source);
  }
  const std::filesystem::path entry = EntryFor(source);
  bool damaged = false;
  if (std::ifstream in{entry, std::ios::binary}) {
    const std::vector<uint8_t> cached(std::istreambuf_iterator<char>(in), {});
    if (!in.bad() && InflateMismatch(cached.data(), cached.size(), source).empty()) {
      ++counts_.fromCache;
      return cached;
    }
    damaged = true;
  }
  std::vector<uint8_t> stream = ZopfliZlib(source);
  ++counts_.compressed;
  // Only a verified stream is kept: a later run would take it on trust
  // that it was checked when it was made.
  const std::string mismatch = InflateMismatch(stream.data(), stream.size(), source);
  if (!mismatch.empty())
    throw std::runtime_error("zopfli's stream " + mismatch);
  Store(entry, stream);
  if (damaged)
    ++counts_.replaced;
  return stream;
}

void PayloadPacker::Store(const std::filesystem::path& entry,
                          const std::vector<uint8_t>& stream) const {
  // The process id keeps the temporary files of concurrent runs apart.
  const std::filesystem::path temporary =
      entry.string() + "." + std::to_string(::getpid()) + ".tmp";
  std::error_code error;
  std::filesystem::create_directories(cacheDir_, error);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(stream.data()),
              static_cast<std::streamsize>(stream.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, error);
      throw std::runtime_error("cannot write the payload cache entry " + temporary.string());
    }
  }
  std::filesystem::rename(temporary, entry, error);
  if (error) {
    const std::string reason = error.message();
    std::filesystem::remove(temporary, error);
    throw std::runtime_error("cannot write the payload cache entry " + entry.string() + ": " +
                             reason);
  }
}

}  // namespace qv
