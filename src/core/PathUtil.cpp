#include "core/PathUtil.h"

namespace qv {

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

}  // namespace qv
