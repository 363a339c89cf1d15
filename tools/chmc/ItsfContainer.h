// The ITSF container that compiled HTML Help files are made of: a directory
// of named entries and their bytes, all stored uncompressed in content
// section 0, so that no compression is needed to write or read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::chm {

struct ItsfEntry {
  std::string name;  // "/page.html" for pages, "::..." for the format's own
  std::string data;
};

// The whole container as bytes. Throws std::runtime_error when two names
// differ only in case (a reader could not tell them apart) or when the
// directory does not fit into one listing chunk.
std::string BuildItsf(std::vector<ItsfEntry> entries, std::uint32_t language);

}  // namespace qv::chm
