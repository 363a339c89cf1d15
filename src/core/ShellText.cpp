#include "core/ShellText.h"

#include <cctype>

#include "core/Format.h"

namespace qv {

std::string ErrorBoxText(const std::string& message) {
  std::string text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
    text += '.';
  }
  return text;
}

std::string LastResortText(const std::string& className, const std::string& moduleName,
                           uint32_t address, const std::string& message) {
  const char* stop = (!message.empty() && message.back() != '.') ? "." : "";
  return Format("Exception %s in module %s at %08X.\r\n%s%s\r\n", className, moduleName,
                static_cast<unsigned>(address), message, stop);
}

std::string LowerAsciiLetters(std::string text) {
  for (char& c : text)
    c = LowerAscii(c);
  return text;
}

namespace {
// One <length><identifier> at `at`; false when there is none.
bool ReadSourceName(const std::string& text, size_t& at, std::string& out) {
  size_t length = 0;
  size_t digits = 0;
  while (at + digits < text.size() && text[at + digits] >= '0' && text[at + digits] <= '9') {
    length = length * 10 + static_cast<size_t>(text[at + digits] - '0');
    if (length > text.size())
      return false;
    ++digits;
  }
  if (digits == 0 || length == 0 || at + digits + length > text.size())
    return false;
  out += text.substr(at + digits, length);
  at += digits + length;
  return true;
}
}  // namespace

// The demangler of the C++ runtime alone outweighs all of this program's
// texts; the last-resort box needs no more than a class's qualified name.
std::string ReadableTypeName(const std::string& mangled) {
  size_t at = 0;
  const bool nested = !mangled.empty() && mangled[0] == 'N';
  if (nested)
    ++at;
  std::string name;
  if (mangled.compare(at, 2, "St") == 0) {
    name = "std::";
    at += 2;
  }
  do {
    if (!name.empty() && name.back() != ':')
      name += "::";
    if (!ReadSourceName(mangled, at, name))
      return mangled;
  } while (nested && at < mangled.size() && mangled[at] != 'E');
  const size_t end = nested ? at + 1 : at;
  if (end != mangled.size() || (nested && mangled[at] != 'E'))
    return mangled;
  return name;
}

std::string DefaultAppTitle(const std::string& programPath) {
  std::string name = programPath;
  const size_t slash = name.find_last_of("\\/:");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos)
    name.erase(dot);
  if (name.size() > 1)
    name = name.substr(0, 1) + LowerAsciiLetters(name.substr(1));
  return name;
}

char AcceleratorOf(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&')
      continue;
    if (caption[i + 1] != '&')
      return caption[i + 1];
    ++i;  // "&&" stands for a literal ampersand
  }
  return 0;
}

bool IsAccelerator(char character, const std::string& caption) {
  const auto upper = [](char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  };
  const char accelerator = AcceleratorOf(caption);
  return accelerator != 0 && upper(accelerator) == upper(character);
}

std::string StripAmpersands(const std::string& caption) {
  std::string text;
  for (char c : caption) {
    if (c != '&')
      text += c;
  }
  return text;
}

}  // namespace qv
