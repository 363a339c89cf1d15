#include "install/Destination.h"

#include "core/PathDelimiters.h"
#include "win32/FileSystem.h"

namespace qv {

TDestination DestinationFromText(const std::string& text) {
  TDestination destination;
  destination.typed = text;
  // Exactly "\" appended (unless empty or already there): the prefix must
  // name the very directory the Next button created. The shell's own rule
  // would make "D" the root "D:\" and leave "C:" naming a current
  // directory.
  destination.prefix = text.empty() || EndsWithChar(text, '\\') ? text : text + "\\";
  if (!destination.prefix.empty())
    destination.fullPrefix = AddTrailingDelimiter(FullPath(destination.prefix));
  return destination;
}

}  // namespace qv
