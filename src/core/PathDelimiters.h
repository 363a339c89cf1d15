#pragma once
// Trailing-delimiter rules for Windows paths held as ANSI text. The last
// character of a text decides, and in a double-byte code page the last
// character may be two bytes whose second byte is 0x5C ('\'): such a text
// does not end in a delimiter. Which bytes start a double-byte character is
// the code page's business, so the portable layer asks a hook; with none
// installed every byte is a character of its own.
#include <string>

namespace qv {

// True when byte starts a double-byte character of the ANSI code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// Installs the predicate (nullptr: single-byte text) and returns the one it
// replaces, so that a test can put the previous one back.
LeadBytePredicate SetLeadBytePredicate(LeadBytePredicate predicate) noexcept;
LeadBytePredicate CurrentLeadBytePredicate() noexcept;

// Whether the last character of text is c; false for an empty text and for
// a text ending in a double-byte character.
bool EndsWithChar(const std::string& text, char c);

// Empty stays empty; a text ending in ':' or '\' is unchanged; a single
// letter A..Z (either case) is a drive and gets ":\"; anything else gets "\".
std::string AddTrailingDelimiter(const std::string& path);

// A text longer than one character ending in '\' loses that '\', except a
// drive root (letter, ':', '\').
std::string DropTrailingDelimiter(const std::string& path);

}  // namespace qv
