#include "install/RemoveTree.h"

#include <windows.h>

#include "core/PathDelimiters.h"
#include "win32/FileSystem.h"
#include "win32/Handles.h"

namespace qv {

namespace {
// Attribute bits as the enumeration reports them. The volume-label bit has
// no name in the Win32 headers any more but FAT volumes still report it.
constexpr DWORD kReadOnly = 0x01;
constexpr DWORD kVolumeLabel = 0x08;
constexpr DWORD kDirectory = 0x10;
constexpr DWORD kArchive = 0x20;
}  // namespace

bool RemoveTree(const std::string& path, bool deleteDirectory) {
  if (!IsExistingDirectory(path))
    return false;
  // A link at the top is no tree of ours either: what it points to, which
  // anyone may have chosen, is never entered.
  const DWORD top = ::GetFileAttributesA(path.c_str());
  if ((top & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return deleteDirectory && ::RemoveDirectoryA(path.c_str()) != FALSE;
  const std::string prefix = AddTrailingDelimiter(path);
  bool result = true;
  DWORD status = ERROR_SUCCESS;
  {
    WIN32_FIND_DATAA entry{};
    UniqueFind find(::FindFirstFileA((prefix + "*.*").c_str(), &entry));
    if (!find)
      status = ::GetLastError();
    while (status == ERROR_SUCCESS) {
      const std::string name = entry.cFileName;
      const DWORD attributes = entry.dwFileAttributes;
      if (name != "." && name != ".." && attributes != kVolumeLabel) {
        const std::string child = prefix + name;
        if ((attributes & kDirectory) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          // A junction or directory link: the link goes, never what it
          // points to, which lies outside the tree being removed.
          if (deleteDirectory)
            result = ::RemoveDirectoryA(child.c_str()) != FALSE && result;
        } else if ((attributes & kDirectory) != 0) {
          // Recursion first: a failure further up must not spare the rest.
          result = RemoveTree(child, deleteDirectory) && result;
        } else if ((attributes & kVolumeLabel) == 0) {
          if ((attributes & kReadOnly) != 0)
            ::SetFileAttributesA(child.c_str(), kArchive);
          result = ::DeleteFileA(child.c_str()) != FALSE && result;
        }
      }
      // The recursion above reset the last error, so take it here.
      status = ::FindNextFileA(find.get(), &entry) ? ERROR_SUCCESS : ::GetLastError();
    }
  }
  // An enumeration that stopped early may have hidden entries: keep the
  // directory then, as for a survivor below it.
  const bool bareDrive = path.size() == 2 && path[1] == ':';
  if (deleteDirectory && result && status == ERROR_NO_MORE_FILES && !bareDrive)
    result = ::RemoveDirectoryA(path.c_str()) != FALSE && result;
  return result;
}

}  // namespace qv
