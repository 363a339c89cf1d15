#include "formstream/FormFormat.h"

#include <cmath>
#include <limits>

namespace qv {

namespace {
constexpr int kExponentBias = 16383;
constexpr int kExponentAll = 0x7FFF;
// Scaling of the 64-bit significand: value = significand * 2^(exponent - bias - 63).
constexpr int kSignificandBits = 63;
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
}  // namespace

long double ExtendedToLongDouble(const uint8_t (&bytes)[kExtendedSize]) {
  uint64_t significand = 0;
  for (int i = 7; i >= 0; --i)
    significand = (significand << 8) | bytes[i];
  const int exponent = ((bytes[9] & 0x7F) << 8) | bytes[8];
  const bool negative = (bytes[9] & 0x80) != 0;
  long double value;
  if (exponent == kExponentAll) {
    value = (significand << 1) == 0 ? std::numeric_limits<long double>::infinity()
                                    : std::numeric_limits<long double>::quiet_NaN();
  } else {
    // Exponent 0 is the denormal range, which scales like exponent 1.
    const int scale = (exponent == 0 ? 1 : exponent) - kExponentBias - kSignificandBits;
    value = std::ldexp(static_cast<long double>(significand), scale);
  }
  return negative ? -value : value;
}

void LongDoubleToExtended(long double value, uint8_t (&bytes)[kExtendedSize]) {
  uint64_t significand = 0;
  int exponent = 0;
  if (std::isnan(value)) {
    exponent = kExponentAll;
    significand = kIntegerBit | (kIntegerBit >> 1);
  } else if (std::isinf(value)) {
    exponent = kExponentAll;
    significand = kIntegerBit;
  } else if (value != 0) {
    int e = 0;
    const long double fraction = std::frexp(std::fabs(value), &e);  // in [0.5, 1)
    exponent = e - 1 + kExponentBias;
    if (exponent >= kExponentAll) {
      exponent = kExponentAll;
      significand = kIntegerBit;
    } else if (exponent <= 0) {
      // Denormal: no integer bit; rounding may carry into the smallest normal.
      const long double scaled =
          std::nearbyint(std::ldexp(std::fabs(value), kExponentBias - 1 + kSignificandBits));
      significand = static_cast<uint64_t>(scaled);
      exponent = (significand & kIntegerBit) != 0 ? 1 : 0;
    } else {
      // Platforms whose long double carries more than 64 significant bits
      // round here; a carry out of the top bit moves to the exponent.
      long double scaled = std::nearbyint(std::ldexp(fraction, 64));
      if (scaled >= std::ldexp(1.0L, 64)) {
        scaled = std::ldexp(1.0L, 63);
        ++exponent;
      }
      if (exponent >= kExponentAll) {
        exponent = kExponentAll;
        significand = kIntegerBit;
      } else {
        significand = static_cast<uint64_t>(scaled);
      }
    }
  }
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<uint8_t>(significand >> (8 * i));
  bytes[8] = static_cast<uint8_t>(exponent & 0xFF);
  bytes[9] = static_cast<uint8_t>(((exponent >> 8) & 0x7F) | (std::signbit(value) ? 0x80 : 0));
}

}  // namespace qv
