#pragma once
// SHA-256 (FIPS 180-4): the content hash that names the entries of the
// payload cache and tells the uninstaller whether an installed file is
// still as it was written. A collision would hand one payload another's
// stream, or delete a file the administrator changed; only a cryptographic
// hash puts that out of reach.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Update(const void* data, size_t size);
  // Ends the message; the object is spent afterwards.
  Digest Final();

  static std::string Hex(const Digest& digest);

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes hashed so far
};

}  // namespace qv
