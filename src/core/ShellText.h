#pragma once
// The texts the application shell derives from exceptions and from the
// program's file name. Kept free of Windows so the native tests reach them.
#include <cstdint>
#include <string>

namespace qv {

// The text of the error box: the message, with "." appended when the last
// byte is above the full stop (0x2E, compared unsigned).
std::string ErrorBoxText(const std::string& message);

// The text of the last-resort box:
// "Exception %s in module %s at %p.\r\n%s%s\r\n", the address printed as
// eight upper-case hex digits, and "." after a non-empty message that does
// not already end in one.
std::string LastResortText(const std::string& className, const std::string& moduleName,
                           uint32_t address, const std::string& message);

// The readable name of a class from its mangled name (a type_info's), for
// the last-resort box: "St9bad_alloc" gives "std::bad_alloc" and
// "N2qv5ErrorE" gives "qv::Error". Plain and nested names are read; any
// other form (templates, local classes) is returned as it is.
std::string ReadableTypeName(const std::string& mangled);

// The default application title: the program file's name without directory
// and extension, every character after the first lower-cased.
std::string DefaultAppTitle(const std::string& programPath);

// Lower-cases the letters A to Z only; every other byte is kept.
constexpr char LowerAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAsciiLetters(std::string text);

// The accelerator letter of a caption ("&Yes" gives 'Y'; "&&" is a literal
// ampersand); 0 when the caption has none.
char AcceleratorOf(const std::string& caption);
// Whether a typed character is the caption's accelerator, in either case.
bool IsAccelerator(char character, const std::string& caption);
std::string StripAmpersands(const std::string& caption);

}  // namespace qv
