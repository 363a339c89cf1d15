#pragma once
// printf-style formatting of the system's message templates ("Resource %s not
// found", "%s_%d", "%08X") with std::string arguments passed straight
// through. Done here rather than by the C library's printf, whose Windows
// implementation with floating point brings 25 KB of code the messages never
// use. Conversions: s, d, i, u, x, X, c and %%, with the flags '-' and '0'
// and a width; any other conversion, or one without an argument left, is
// copied as it stands.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qv {

namespace detail {
struct FormatValue {
  bool isText;
  std::string_view text;
  int64_t number;
  // An unsigned conversion of a value of 32 bits or fewer reads 32 bits, as
  // printf does ("%X" of -1 is FFFFFFFF).
  bool narrow;
};

template <class T>
FormatValue ToFormatValue(const T& value) {
  if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return {true, std::string_view(value), 0, false};
  } else {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "Format takes text and integers");
    return {false, {}, static_cast<int64_t>(value), sizeof(T) <= 4};
  }
}

std::string FormatValues(std::string_view pattern, const std::vector<FormatValue>& values);
}  // namespace detail

template <class... Args>
std::string Format(const char* pattern, const Args&... args) {
  return detail::FormatValues(pattern, {detail::ToFormatValue(args)...});
}

}  // namespace qv
