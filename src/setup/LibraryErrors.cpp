// The functions through which the C++ library's containers and strings
// report misuse (an index out of range, a length beyond the maximum). The
// library's own versions throw std::logic_error and its kin, whose
// reference-counted message strings drag a second, older implementation of
// std::string into the image: about 50 KB of Setup.exe for errors that
// only a fault of ours can raise. These throw the framework's exception
// instead, with the library's message, so the guards report them as they
// report every other failure; the std::bad_* kinds stay what they are.
#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

#include "core/Exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EStandardLibraryError, Exception);

namespace {

// The library's messages use %zu, %s and %% only.
std::string FormatLibraryMessage(const char* format, va_list args) {
  std::string text;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      text += *p;
    } else if (p[1] == '%') {
      text += '%';
      ++p;
    } else if (p[1] == 's') {
      const char* s = va_arg(args, const char*);
      text += s != nullptr ? s : "";
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      text += std::to_string(va_arg(args, size_t));
      p += 2;
    } else {
      text += *p;
    }
  }
  return text;
}

[[noreturn]] void Raise(const char* message) {
  throw EStandardLibraryError(message != nullptr ? message : "");
}

}  // namespace
}  // namespace qv

namespace std {

void __throw_bad_exception() {
  throw bad_exception();
}
void __throw_bad_alloc() {
  throw bad_alloc();
}
void __throw_bad_array_new_length() {
  throw bad_array_new_length();
}
void __throw_bad_cast() {
  throw bad_cast();
}
void __throw_bad_typeid() {
  throw bad_typeid();
}
void __throw_logic_error(const char* s) {
  qv::Raise(s);
}
void __throw_domain_error(const char* s) {
  qv::Raise(s);
}
void __throw_invalid_argument(const char* s) {
  qv::Raise(s);
}
void __throw_length_error(const char* s) {
  qv::Raise(s);
}
void __throw_out_of_range(const char* s) {
  qv::Raise(s);
}
void __throw_out_of_range_fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = qv::FormatLibraryMessage(format != nullptr ? format : "", args);
  va_end(args);
  throw qv::EStandardLibraryError(std::move(message));
}
void __throw_runtime_error(const char* s) {
  qv::Raise(s);
}
void __throw_range_error(const char* s) {
  qv::Raise(s);
}
void __throw_overflow_error(const char* s) {
  qv::Raise(s);
}
void __throw_underflow_error(const char* s) {
  qv::Raise(s);
}

}  // namespace std
