// Little-endian integers appended to a byte string: the byte order of every
// field in the container, whatever the build machine's own.
#pragma once

#include <cstdint>
#include <string>

namespace qv::chm {

inline void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutU16(std::string& out, std::uint16_t value) {
  PutLittleEndian(out, value, 2);
}
inline void PutU32(std::string& out, std::uint32_t value) {
  PutLittleEndian(out, value, 4);
}
inline void PutU64(std::string& out, std::uint64_t value) {
  PutLittleEndian(out, value, 8);
}

}  // namespace qv::chm
