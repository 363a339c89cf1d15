// The help project (.hhp): what the help compiler reads from it, and the
// /#SYSTEM file through which a viewer learns those settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::chm {

struct HelpProject {
  std::string contentsFile;
  std::string indexFile;
  std::string defaultTopic;
  std::string title;
  std::uint32_t language = 0x409;
  // As written in [FILES], relative to the project's folder.
  std::vector<std::string> files;
};

// Throws std::runtime_error naming the line for a malformed project.
HelpProject ParseHelpProject(const std::string& text);

std::string SystemFile(const HelpProject& project);

}  // namespace qv::chm
