#pragma once
// Windows only. Tests read the shortcuts the installer made through the
// shell's own link object, so they see what the shell will show, not what
// our writer meant to store.
#include <filesystem>
#include <string>

namespace qv::test {

struct ShellLink {
  std::string target, arguments, description, workingDirectory;
};

// Throws std::runtime_error saying what failed; callers turn that into
// their own kind of failure.
ShellLink ReadShellLink(const std::filesystem::path& file);

}  // namespace qv::test
