#pragma once
// Test data of the payload tests: byte blocks that compress well or not at
// all, and zlib called directly as the reference for both directions.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/Stream.h"

namespace qv::testdata {

using Bytes = std::vector<uint8_t>;

inline Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes)
    b = static_cast<uint8_t>(gen());
  return bytes;
}

inline Bytes TextBytes(size_t size, const std::string& line =
                                        "Quolvex scans every message the mail server "
                                        "receives.\r\n") {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>(line[i % line.size()]);
  return bytes;
}

// A memory stream holding bytes, positioned at its start.
class BytesStream : public TMemoryStream {
 public:
  explicit BytesStream(const std::vector<uint8_t>& bytes) {
    WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    SetPosition(0);
  }
};

inline Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), data.size(), Z_BEST_COMPRESSION), Z_OK);
  out.resize(size);
  return out;
}

inline Bytes ZlibUncompress(const Bytes& packed, size_t expectedSize) {
  uLongf size = expectedSize + 1;
  Bytes out(size);
  EXPECT_EQ(uncompress(out.data(), &size, packed.data(), packed.size()), Z_OK);
  out.resize(size);
  return out;
}

}  // namespace qv::testdata
