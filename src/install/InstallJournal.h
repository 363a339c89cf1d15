#pragma once
// What an installation changed, so that a confirmed abort removes only what
// the installation created and puts back what it replaced: the user's own
// files in an existing destination, configuration values and services that
// were there before all stay exactly as they were.
//
// Every entry reaches the disk before the change it describes is made, in a
// folder of its own under the temp directory that also holds the copies of
// replaced originals. A run that dies (killed, power lost) therefore leaves a
// journal from which the next start can finish the roll-back.
#include <string>
#include <vector>

#include "win32/Handles.h"

namespace qv {

class TInstallJournal {
 public:
  // The journal's folder is made inside parent, the temp directory when
  // empty, at the first entry.
  explicit TInstallJournal(std::string parent = {}) : parent_(std::move(parent)) {}
  TInstallJournal(const TInstallJournal&) = delete;
  TInstallJournal& operator=(const TInstallJournal&) = delete;
  // Leaves the journal on disk: one neither committed nor rolled back
  // belongs to an installation that did not end, and the next start undoes
  // it.
  ~TInstallJournal() = default;

  // The destination directory did not exist and the installation made it.
  void DestinationCreated(const std::string& directory);
  // A directory the installation is about to make (it does not exist).
  void DirectoryCreated(const std::string& directory);
  // Before the installation writes path: a file that was there is copied
  // out of the user's way; a new one is remembered as the installation's.
  // A file the installation already wrote or saved is left alone.
  void BeforeWrite(const std::string& path);
  // Before a payload is saved to path: BeforeWrite, and the temporary file
  // the payload is written to first.
  void BeforeSave(const std::string& path);
  // A new file the installation is about to create (one that does not exist).
  void FileCreated(const std::string& path);
  // Registry entries below HKEY_LOCAL_MACHINE, recorded before they change:
  // a key about to be made, a value about to be made, a value about to be
  // overwritten (kept as stored: type and bytes).
  void KeyCreated(const std::string& key);
  void ValueCreated(const std::string& key, const std::string& name);
  void ValueChanged(const std::string& key, const std::string& name);
  // A service about to be registered by this installation.
  void ServiceRegistered(const std::string& name);

  // Undoes everything recorded, newest first: services deleted, registry
  // entries put back, created files removed, replaced files restored byte
  // for byte, created directories removed when nothing else is left in them.
  // False when something could not be undone: it stays recorded (on disk
  // too, for the next start to try again); nothing is raised.
  bool RollBack();
  // Keeps what was written and drops the journal and the copies, except
  // copies that a roll-back could not put back.
  void Commit();
  // Where the copies of originals that a roll-back could not put back are
  // kept; empty when there are none.
  std::string KeptCopiesFolder() const;

  bool Empty() const noexcept { return entries_.empty(); }

  // What the start of a run found of runs that did not end.
  struct TRecovery {
    bool found = false;      // a journal was there
    bool complete = true;    // everything it recorded is undone
    std::string keptFolder;  // where originals remain when not complete
  };
  // Finishes the roll-back of every journal left in parent (the temp
  // directory when empty) by a run that died; a journal that was committed
  // only loses its folder.
  static TRecovery RecoverInterrupted(const std::string& parent = {});

  // Entry kinds, one letter each at the start of a journal line.
  static constexpr char kDestination = 'D';  // a directory made as the destination
  static constexpr char kDirectory = 'd';    // a directory made
  static constexpr char kFile = 'f';         // a new file
  static constexpr char kReplaced = 'r';     // path, name of the copy in the journal's folder
  static constexpr char kKey = 'k';          // a registry key made
  static constexpr char kValue = 'v';        // key, name of a value made
  static constexpr char kPrevious = 'p';     // key, name, type and bytes in hexadecimal
  static constexpr char kService = 's';      // a service registered
  static constexpr char kCommitted = 'c';

  struct Entry {
    char kind;
    std::string first;
    std::string second;
    std::string third;
  };
  // What was recorded, oldest first.
  const std::vector<Entry>& Entries() const noexcept { return entries_; }

 private:
  bool Knows(const std::string& path) const;
  void Record(Entry entry);
  void Open();
  void Rewrite();
  void Remove();
  bool Undo(const Entry& entry) const;
  bool Load(const std::string& folder);

  std::string parent_;
  std::vector<Entry> entries_;
  std::string folder_;
  UniqueFile file_;
  int copies_ = 0;
  // After a commit the installation is complete: later writes (a resumed
  // entry repeating a step) are its own and need no record.
  bool committed_ = false;
  // A roll-back ran: entries still here are what it could not undo.
  bool rolledBack_ = false;
};

}  // namespace qv
