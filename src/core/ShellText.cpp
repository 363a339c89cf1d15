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
