#pragma once
// Text conversions of the form stream: its strings are ANSI in the system
// code page, its wide strings UTF-16 or UTF-8. The portable layer cannot ask
// the system for its code page, so the ANSI side goes through replaceable
// hooks; the Windows build installs ones over the system's own conversion.
// Until then the default is Windows-1252: ASCII as is, the Latin-1 and
// Windows-1252 characters as their bytes, anything else '?'.
#include <functional>
#include <string>
#include <string_view>

namespace qv {

using TWideToAnsiFunc = std::function<std::string(std::u16string_view)>;
using TAnsiToWideFunc = std::function<std::u16string(std::string_view)>;

// Installs the code-page conversions; an empty function restores the
// default for its direction.
void SetAnsiConversion(TWideToAnsiFunc wideToAnsi, TAnsiToWideFunc ansiToWide);

std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view text);

// Malformed UTF-8 yields U+FFFD per bad sequence; unpaired surrogates are
// encoded as three-byte sequences so that no unit is lost.
std::u16string Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::u16string_view text);

}  // namespace qv
