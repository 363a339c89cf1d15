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

}  // namespace qv
