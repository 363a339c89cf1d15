#pragma once
// What an installation changed in its destination, so that a confirmed abort
// removes only what the installation created and puts back what it
// replaced: the user's own files in an existing destination stay exactly as
// they were.
#include <string>
#include <vector>

namespace qv {

class TInstallJournal {
 public:
  TInstallJournal() = default;
  TInstallJournal(const TInstallJournal&) = delete;
  TInstallJournal& operator=(const TInstallJournal&) = delete;
  // Discards the kept copies (a finished installation keeps what it wrote).
  ~TInstallJournal();

  // The destination directory did not exist and the installation made it.
  void DestinationCreated(const std::string& directory);
  // A directory inside the destination that the installation made.
  void DirectoryCreated(const std::string& directory);
  // Before the installation writes path: a file that was there is copied
  // out of the user's way; a new one is remembered as the installation's.
  // A file the installation already wrote or saved is left alone.
  void BeforeWrite(const std::string& typed);
  // A new file the installation created (one that did not exist).
  void FileCreated(const std::string& typed);

  // Undoes everything recorded: created files removed, created directories
  // removed when nothing else is left in them, the replaced files restored
  // byte for byte. Returns false when something
  // could not be undone (left in place; nothing is raised).
  bool RollBack();
  // Keeps what was written and drops the copies, except those a roll-back
  // could not put back.
  void Commit();
  // Where the copies of originals that a roll-back could not put back are
  // kept; empty when there are none.
  std::string KeptCopiesFolder() const;

  bool Empty() const noexcept;

 private:
  struct Replaced {
    std::string path;
    std::string copy;
  };
  bool Knows(const std::string& path) const;
  std::string BackupDirectory();
  void DropBackups();

  std::string destination_;  // created by the installation; empty: it existed
  std::vector<std::string> directories_;
  std::vector<std::string> files_;
  std::vector<Replaced> replaced_;
  std::string backupDirectory_;
  // A roll-back left originals unrestored: their copies are never dropped.
  bool keepCopies_ = false;
  // After a commit the installation is complete: later writes (a resumed
  // entry repeating a step) are its own and need no record.
  bool committed_ = false;
};

}  // namespace qv
