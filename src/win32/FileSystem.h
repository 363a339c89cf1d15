#pragma once
// File-system questions the installer asks of paths in the system's ANSI
// code page.
#include <cstdint>
#include <string>

namespace qv {

// True when the path exists and is a directory.
bool IsExistingDirectory(const std::string& path);
// True when path names an existing file that is not a directory.
bool FileExists(const std::string& path);
// The SHA-256 of a file's bytes in lower-case hexadecimal, read without
// following a link, adding its size to *size; false (last error set) when it
// cannot be read whole.
bool HashFile(const std::string& path, std::string& hex, uint64_t* size = nullptr);

// The full path of a path as typed (relative to the current directory), of
// any length; the path as given when the system cannot make one.
std::string FullPath(const std::string& path);

// The portable path helpers know no code page; the product's paths are in
// the system's ANSI code page, whose double-byte characters they must not
// split. Installed once at start-up, with the framework's classes.
void UseAnsiCodePageForPaths();

}  // namespace qv
