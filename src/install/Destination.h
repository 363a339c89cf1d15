#pragma once
// The destination directory as a value, computed once from the text of the
// wizard's edit field, instead of being re-read and re-normalised at every
// use.
#include <string>

namespace qv {

struct TDestination {
  // The text exactly as typed: the service installers' working directory.
  std::string typed;
  // The text with "\" appended unless it is empty or already ends in one:
  // what every payload and the logs directory are named under.
  std::string prefix;
  // The prefix made absolute (relative to the current directory), with its
  // "\": what shortcuts and started programs name, since they are resolved
  // from elsewhere. Empty for an empty text.
  std::string fullPrefix;
};

TDestination DestinationFromText(const std::string& text);

}  // namespace qv
