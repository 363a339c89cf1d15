#include "install/Destination.h"

#include "core/PathDelimiters.h"
#include "win32/FileSystem.h"

namespace qv {

TDestination DestinationFromText(const std::string& text) {
  TDestination destination;
  destination.typed = text;
  destination.prefix = text.empty() ? text : AddTrailingDelimiter(text);
  if (!destination.prefix.empty())
    destination.fullPrefix = AddTrailingDelimiter(FullPath(destination.prefix));
  return destination;
}

}  // namespace qv
