#pragma once
// What a directory holds, in forms a test can compare with EXPECT_EQ: after
// an abort the user's files must be exactly as they were, and an install
// must leave exactly its files. Portable, so native tests can use it too.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qv::test {

inline std::string FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry below root by its relative path with '/' delimiters, files
// with their bytes. Directories count as "name/" with no bytes, so an empty
// directory left behind (or taken away) shows. A missing root is empty; a
// root that cannot be examined throws rather than passing for empty.
inline std::map<std::string, std::string> DirectorySnapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  if (!std::filesystem::exists(root))
    return tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).generic_string();
    if (entry.is_directory())
      tree[name + "/"] = "";
    else
      tree[name] = FileBytes(entry.path());
  }
  return tree;
}

// The names of the entries of one directory, sorted; none when it is missing.
inline std::vector<std::string> FileNames(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  if (std::filesystem::is_directory(dir)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qv::test
