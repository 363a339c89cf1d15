#pragma once
// Payload compression for the form compiler. zopfli searches far longer
// than zlib for a short deflate encoding and writes it as an ordinary zlib
// stream, so the product's inflater reads it like any other.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Empty when stream, one zlib stream, inflates whole and with its checksum
// to exactly source; otherwise what is wrong with it.
std::string InflateMismatch(const uint8_t* stream, size_t size, const std::vector<uint8_t>& source);

class PayloadPacker {
 public:
  // One zlib stream that inflates to source.
  std::vector<uint8_t> Pack(const std::vector<uint8_t>& source);
};

}  // namespace qv
