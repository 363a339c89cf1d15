#pragma once
// printf-style formatting of the system's message templates ("Resource %s not
// found", "%s_%d") with std::string arguments passed straight through.
#include <cstdio>
#include <string>
#include <type_traits>

namespace qv {

namespace detail {
template <class T>
decltype(auto) FormatArg(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return value.c_str();
  } else {
    return value;
  }
}
}  // namespace detail

template <class... Args>
std::string Format(const char* pattern, const Args&... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  const int size = std::snprintf(nullptr, 0, pattern, detail::FormatArg(args)...);
  if (size <= 0)
    return {};
  std::string result(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(result.data(), result.size(), pattern, detail::FormatArg(args)...);
#pragma GCC diagnostic pop
  result.resize(static_cast<size_t>(size));
  return result;
}

}  // namespace qv
