#include "PayloadPacker.h"

#include <cstdlib>
#include <memory>

#include <zlib.h>
#include <zopfli/zopfli.h>

namespace qv {

namespace {

// More iterations than this gain a few bytes at most on files of the
// payloads' size and cost time on every cold build.
constexpr int kIterations = 15;

std::vector<uint8_t> ZopfliZlib(const std::vector<uint8_t>& source) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = kIterations;
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

std::vector<uint8_t> PayloadPacker::Pack(const std::vector<uint8_t>& source) {
  return ZopfliZlib(source);
}

}  // namespace qv
