// The help compiler: turns a help project (.hhp) and the pages it lists into
// a compiled HTML Help file, every page stored uncompressed.
//
//   chmc PROJECT.hhp OUTPUT.chm
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "HelpProject.h"
#include "ItsfContainer.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  // An ifstream opens a directory without complaint and then reads nothing.
  std::ifstream in(path, std::ios::binary);
  if (!std::filesystem::is_regular_file(path) || !in)
    throw std::runtime_error("cannot read " + path.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  if (in.bad())
    throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

// Projects written on Windows separate folders with backslashes.
std::string Slashed(std::string file) {
  for (char& c : file) {
    if (c == '\\')
      c = '/';
  }
  return file;
}

// A UTF-16 list of the content sections' names; section 0 is the only one.
std::string NameList() {
  const std::string name = "Uncompressed";
  std::string out;
  const auto word = [&out](std::size_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
  };
  word(2 + 1 + name.size() + 1);  // length of the whole list in words
  word(1);
  word(name.size());
  for (char c : name)
    word(static_cast<unsigned char>(c));
  word(0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "chmc: usage: chmc PROJECT.hhp OUTPUT.chm\n";
    return 1;
  }
  const std::filesystem::path projectPath = argv[1];
  const std::filesystem::path output = argv[2];
  const std::filesystem::path temporary = output.string() + ".tmp";
  try {
    const qv::chm::HelpProject project = qv::chm::ParseHelpProject(ReadFile(projectPath));
    const std::filesystem::path folder = projectPath.parent_path();

    std::vector<qv::chm::ItsfEntry> entries;
    std::set<std::string> added;
    std::vector<std::string> files = {project.contentsFile, project.indexFile};
    files.insert(files.end(), project.files.begin(), project.files.end());
    for (const std::string& file : files) {
      if (file.empty())
        continue;
      const std::string relative = Slashed(file);
      // Inside the container every name is an absolute path.
      const std::string name = relative.front() == '/' ? relative : "/" + relative;
      // The contents and index files may also be listed in [FILES].
      if (added.insert(name).second)
        entries.push_back({name, ReadFile(folder / relative)});
    }
    entries.push_back({"/#SYSTEM", qv::chm::SystemFile(project)});
    entries.push_back({"::DataSpace/NameList", NameList()});
    const std::string container = qv::chm::BuildItsf(std::move(entries), project.language);

    // Written whole or not at all: a half-written file must not survive as
    // an up-to-date build output.
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out.write(container.data(), static_cast<std::streamsize>(container.size()));
      out.close();
      if (!out)
        throw std::runtime_error("cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, output);
    std::cout << "chmc: " << output.filename().string() << " (" << added.size() << " files, "
              << container.size() << " bytes)\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "chmc: " << e.what() << "\n";
  }
  std::error_code ignored;
  std::filesystem::remove(temporary, ignored);
  return 1;
}
