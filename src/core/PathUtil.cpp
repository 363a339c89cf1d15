#include "core/PathUtil.h"

#include <string_view>

#include "core/ShellText.h"

namespace qv {

namespace {
constexpr std::string_view kNativePrefix = "\\??\\";
constexpr std::string_view kProgramExtension = ".exe";
}  // namespace

std::string DirectoryPart(const std::string& path) {
  // i is the 1-based position of the last delimiter, 0 when there is none.
  size_t i = path.find_last_of("\\:");
  i = (i == std::string::npos) ? 0 : i + 1;
  if (i > 1 && path[i - 1] == '\\' && path[i - 2] != '\\' && path[i - 2] != ':')
    --i;
  return path.substr(0, i);
}

std::string UnquotedProgramPath(const std::string& imagePath) {
  if (imagePath.empty() || imagePath.front() != '"')
    return imagePath;
  const size_t close = imagePath.find('"', 1);
  return imagePath.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

std::string ResolveImagePath(const std::string& imagePath,
                             const std::function<bool(const std::string&)>& fileExists) {
  std::string path = imagePath;
  if (path.starts_with(kNativePrefix))
    path.erase(0, kNativePrefix.size());
  if (path.starts_with('"'))
    return UnquotedProgramPath(path);
  const auto namesProgram = [](const std::string& candidate) {
    return candidate.size() >= kProgramExtension.size() &&
           LowerAsciiLetters(candidate.substr(candidate.size() - kProgramExtension.size())) ==
               kProgramExtension;
  };
  for (size_t end = path.find(' '); end != std::string::npos; end = path.find(' ', end + 1)) {
    const std::string candidate = path.substr(0, end);
    if (namesProgram(candidate) && fileExists(candidate))
      return candidate;
  }
  // The whole text is the last candidate, and also the answer when it names
  // no existing program.
  return path;
}

}  // namespace qv
