#include "install/InstallJournal.h"

#include <windows.h>

#include <algorithm>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/PathDelimiters.h"
#include "win32/WindowsFileLayer.h"
#include "install/RemoveTree.h"
#include "win32/FileSystem.h"

namespace qv {

namespace {
// The framework's "cannot create" error, with the system's reason.
EFCreateError CannotCreate(const std::string& path) {
  const DWORD error = ::GetLastError();
  TFileLayer& files = WindowsFileLayer();
  return EFCreateError(Format("Cannot create file \"%s\". %s", files.ExpandFileName(path),
                              files.SysErrorMessage(error)));
}
}  // namespace

TInstallJournal::~TInstallJournal() {
  DropBackups();
}

bool TInstallJournal::Empty() const noexcept {
  return destination_.empty() && directories_.empty() && files_.empty() && replaced_.empty();
}

void TInstallJournal::DestinationCreated(const std::string& directory) {
  destination_ = FullPath(directory);
}

void TInstallJournal::DirectoryCreated(const std::string& directory) {
  if (!committed_)
    directories_.push_back(directory);
}

bool TInstallJournal::Knows(const std::string& path) const {
  const auto same = [&path](const std::string& p) { return SameText(p, path); };
  return std::any_of(files_.begin(), files_.end(), same) ||
         std::any_of(replaced_.begin(), replaced_.end(),
                     [&](const Replaced& r) { return same(r.path); });
}

std::string TInstallJournal::BackupDirectory() {
  if (backupDirectory_.empty()) {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string base = AddTrailingDelimiter(temp) + "QuolvexSetup-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::GetTickCount());
    if (::CreateDirectoryA(base.c_str(), nullptr) == FALSE)
      throw CannotCreate(base);
    backupDirectory_ = base;
  }
  return backupDirectory_;
}

void TInstallJournal::BeforeWrite(const std::string& path) {
  if (committed_ || Knows(path))
    return;
  if (!FileExists(path)) {
    files_.push_back(path);
    return;
  }
  // Kept whole before anything touches the original; a copy that cannot be
  // made stops the write, so nothing of the user's is ever lost.
  const std::string copy =
      AddTrailingDelimiter(BackupDirectory()) + std::to_string(replaced_.size()) + ".bak";
  if (::CopyFileA(path.c_str(), copy.c_str(), FALSE) == FALSE)
    throw CannotCreate(copy);
  replaced_.push_back({path, copy});
}

void TInstallJournal::FileCreated(const std::string& path) {
  if (!committed_ && !Knows(path))
    files_.push_back(path);
}

bool TInstallJournal::RollBack() {
  bool complete = true;
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
    if (FileExists(*it)) {
      ::SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_ARCHIVE);
      complete = (::DeleteFileA(it->c_str()) != FALSE) && complete;
    }
  }
  // A copy whose original could not be put back is the only one left: it
  // stays recorded, so that neither this nor a later commit drops it.
  std::vector<Replaced> unrestored;
  for (const Replaced& r : replaced_) {
    ::SetFileAttributesA(r.path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    if (::CopyFileA(r.copy.c_str(), r.path.c_str(), FALSE) == FALSE) {
      unrestored.push_back(r);
      complete = false;
    }
  }
  // The directories the installation made go only when empty: whatever
  // someone else put into them meanwhile is not the installation's to
  // delete, and stays with its directory.
  const auto removeIfEmpty = [](const std::string& directory) {
    return ::RemoveDirectoryA(directory.c_str()) != FALSE ||
           ::GetLastError() == ERROR_DIR_NOT_EMPTY || !IsExistingDirectory(directory);
  };
  for (auto it = directories_.rbegin(); it != directories_.rend(); ++it)
    complete = removeIfEmpty(*it) && complete;
  if (!destination_.empty())
    complete = removeIfEmpty(destination_) && complete;
  files_.clear();
  directories_.clear();
  destination_.clear();
  replaced_ = std::move(unrestored);
  keepCopies_ = !replaced_.empty();
  DropBackups();
  return complete;
}

void TInstallJournal::Commit() {
  committed_ = true;
  files_.clear();
  directories_.clear();
  destination_.clear();
  if (!keepCopies_)
    replaced_.clear();
  DropBackups();
}

std::string TInstallJournal::KeptCopiesFolder() const {
  return keepCopies_ ? backupDirectory_ : std::string();
}

void TInstallJournal::DropBackups() {
  // A copy whose original is not back in place (never restored, or not yet
  // committed over) stays where it is.
  if (backupDirectory_.empty() || !replaced_.empty())
    return;
  RemoveTree(backupDirectory_, true);
  backupDirectory_.clear();
}

}  // namespace qv
