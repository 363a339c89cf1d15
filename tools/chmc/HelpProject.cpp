#include "HelpProject.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "LittleEndian.h"

namespace qv::chm {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Projects written by hand vary the case of section and option names.
bool SameName(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

void AddString(std::string& out, std::uint16_t code, const std::string& value) {
  if (value.empty())
    return;
  if (value.size() >= 0xFFFF)
    throw std::runtime_error("a /#SYSTEM value is longer than 65534 bytes");
  PutU16(out, code);
  PutU16(out, static_cast<std::uint16_t>(value.size() + 1));
  out += value;
  out += '\0';
}

}  // namespace

HelpProject ParseHelpProject(const std::string& text) {
  HelpProject project;
  std::istringstream lines(text);
  std::string line;
  std::string section;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trim(line);
    if (line.empty() || line[0] == ';')
      continue;
    const auto where = " (line " + std::to_string(number) + ")";
    if (line.front() == '[') {
      if (line.back() != ']')
        throw std::runtime_error("unterminated section name" + where);
      section = line.substr(1, line.size() - 2);
    } else if (section.empty()) {
      throw std::runtime_error("text before the first section" + where);
    } else if (SameName(section, "FILES")) {
      project.files.push_back(line);
    } else if (SameName(section, "OPTIONS")) {
      const auto equals = line.find('=');
      if (equals == std::string::npos)
        throw std::runtime_error("option without '='" + where);
      const std::string key = Trim(line.substr(0, equals));
      const std::string value = Trim(line.substr(equals + 1));
      if (SameName(key, "Contents file")) {
        project.contentsFile = value;
      } else if (SameName(key, "Index file")) {
        project.indexFile = value;
      } else if (SameName(key, "Default topic")) {
        project.defaultTopic = value;
      } else if (SameName(key, "Title")) {
        project.title = value;
      } else if (SameName(key, "Language")) {
        // The number comes first; the language's name after it is a comment.
        char* end = nullptr;
        const unsigned long long lcid = std::strtoull(value.c_str(), &end, 0);
        if (end == value.c_str() || lcid > 0xFFFFFFFFull)
          throw std::runtime_error("Language is not a number" + where);
        project.language = static_cast<std::uint32_t>(lcid);
      }
    }
    // Other sections ([WINDOWS], [ALIAS], [MAP]) describe features that a
    // container of plain pages does not carry.
  }
  if (project.files.empty())
    throw std::runtime_error("the project lists no [FILES]");
  return project;
}

std::string SystemFile(const HelpProject& project) {
  std::string out;
  PutU32(out, 3);
  AddString(out, 9, "Quolvex chmc 1.0");
  // LCID, DBCS, full-text search, keyword links, associative links, then a
  // FILETIME and two reserved words. Search and links stay off because their
  // indexes are not written: a viewer would otherwise offer a Search tab that
  // finds nothing. The time stays zero so that builds are reproducible.
  PutU16(out, 4);
  PutU16(out, 36);
  PutU32(out, project.language);
  for (int i = 0; i < 4; ++i)
    PutU32(out, 0);
  PutU64(out, 0);
  PutU32(out, 0);
  PutU32(out, 0);
  AddString(out, 2, project.defaultTopic);
  AddString(out, 3, project.title);
  AddString(out, 0, project.contentsFile);
  AddString(out, 1, project.indexFile);
  return out;
}

}  // namespace qv::chm
