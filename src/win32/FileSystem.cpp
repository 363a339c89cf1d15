#include "win32/FileSystem.h"

#include <windows.h>

#include <vector>

#include "core/PathDelimiters.h"
#include "core/Sha256.h"
#include "win32/Handles.h"

namespace qv {

namespace {
bool AnsiCodePageLeadByte(unsigned char byte) {
  return ::IsDBCSLeadByte(byte) != FALSE;
}
}  // namespace

void UseAnsiCodePageForPaths() {
  SetLeadBytePredicate(&AnsiCodePageLeadByte);
}

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool HashFile(const std::string& path, std::string& hex, uint64_t* size) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file)
    return false;
  Sha256 hash;
  std::vector<char> buffer(1 << 16);
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) ==
        FALSE)
      return false;
    if (got == 0)
      break;
    hash.Update(buffer.data(), got);
    total += got;
  }
  hex = Sha256::Hex(hash.Final());
  if (size != nullptr)
    *size += total;
  return true;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A relative path (a single letter "D" typed as the destination) must never
// be taken for something else later, such as the root of drive D; nor may a
// long one fall back to its relative form.
std::string FullPath(const std::string& path) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0)
      return path;
    if (length < buffer.size())
      return std::string(buffer.data(), length);
    buffer.resize(length);
  }
}

}  // namespace qv
