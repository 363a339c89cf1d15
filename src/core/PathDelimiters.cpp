#include "core/PathDelimiters.h"

#include <atomic>

namespace qv {

namespace {
std::atomic<LeadBytePredicate> leadBytePredicate{nullptr};

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
}  // namespace

LeadBytePredicate SetLeadBytePredicate(LeadBytePredicate predicate) noexcept {
  return leadBytePredicate.exchange(predicate);
}

LeadBytePredicate CurrentLeadBytePredicate() noexcept {
  return leadBytePredicate.load();
}

bool EndsWithChar(const std::string& text, char c) {
  if (text.empty())
    return false;
  const LeadBytePredicate isLeadByte = leadBytePredicate.load();
  if (isLeadByte == nullptr)
    return text.back() == c;
  // A trail byte can look like any ASCII character, so the character
  // boundaries are only known by walking from the start.
  size_t last = 0;
  for (size_t i = 0; i < text.size();) {
    last = i;
    const bool doubleByte = isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    i += doubleByte ? 2 : 1;
  }
  return last == text.size() - 1 && text[last] == c;
}

std::string AddTrailingDelimiter(const std::string& path) {
  if (path.empty() || EndsWithChar(path, ':') || EndsWithChar(path, '\\'))
    return path;
  if (path.size() == 1 && IsAsciiLetter(path[0]))
    return path + ":\\";
  return path + "\\";
}

std::string DropTrailingDelimiter(const std::string& path) {
  if (path.size() <= 1 || !EndsWithChar(path, '\\'))
    return path;
  if (path.size() == 3 && IsAsciiLetter(path[0]) && path[1] == ':')
    return path;
  return path.substr(0, path.size() - 1);
}

}  // namespace qv
