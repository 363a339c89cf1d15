#pragma once
// What an installation changed, so that a confirmed abort removes only what
// the installation created and puts back what it replaced: the user's own
// files in an existing destination, configuration values and services that
// were there before all stay exactly as they were.
//
// Every entry reaches the disk before the change it describes is made. The
// journals live in one machine-wide folder that only SYSTEM and
// Administrators may change, each in a numbered folder of its own beside the
// copies of replaced originals, so that a run that dies (killed, power lost)
// leaves a journal from which the next start, whoever runs it, finishes the
// roll-back. Nothing is ever read from a temp folder: any user may prepare
// one there, and the roll-back writes and deletes with Setup's rights.
//
// A roll-back undoes only what is still as the installation left it: a file
// whose bytes, a value whose data or a service whose program someone changed
// since stays, and is named.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win32/Handles.h"

namespace qv {

class TFileLayer;

class TInstallJournal {
 public:
  // The journals are kept in root; empty: the machine-wide folder.
  explicit TInstallJournal(std::string root = {});
  TInstallJournal(const TInstallJournal&) = delete;
  TInstallJournal& operator=(const TInstallJournal&) = delete;
  // Leaves the journal on disk: one neither committed nor rolled back
  // belongs to an installation that did not end, and the next start undoes
  // it.
  ~TInstallJournal();

  // The machine-wide folder of the journals.
  static std::string MachineRoot();
  // Why root (the machine-wide folder when empty) cannot be trusted with
  // journals: it is a link or no directory, or users other than SYSTEM and
  // Administrators may change it. Empty when it can, or does not exist.
  static std::string UntrustedRoot(const std::string& root = {});

  // The destination directory did not exist and the installation made it.
  void DestinationCreated(const std::string& directory);
  // A directory the installation is about to make (it does not exist).
  void DirectoryCreated(const std::string& directory);
  // Before the installation writes path: a file that was there is copied
  // out of the user's way, with its rights and attributes; a new one is
  // remembered as the installation's. A file the installation already wrote
  // or saved is left alone.
  void BeforeWrite(const std::string& path);
  // Before a payload is saved to path: BeforeWrite, and the temporary file
  // the payload is written to first. A temporary file of that name left by
  // someone else is moved out of the way like an original.
  void BeforeSave(const std::string& path);
  // A new file the installation is about to create (one that does not exist).
  void FileCreated(const std::string& path);
  // What the installation is about to put at path: only a file that still
  // holds these bytes is the installation's to undo.
  void Written(const std::string& path, const std::string& sha256);
  // Writes payloads through `inner` and records what each holds (Written)
  // before it takes its target's place.
  TFileLayer& Files(TFileLayer& inner);

  // A registry value's type and bytes, as stored.
  struct TValueData {
    uint32_t type = 0;
    std::string bytes;
    static TValueData Text(const std::string& text);
    static TValueData Number(int32_t number);
  };
  // Registry entries below HKEY_LOCAL_MACHINE, recorded before they change:
  // a key about to be made, a value about to be made, a value about to be
  // overwritten (kept as stored); `written` is what the installation puts
  // there.
  void KeyCreated(const std::string& key);
  void ValueCreated(const std::string& key, const std::string& name, const TValueData& written);
  void ValueChanged(const std::string& key, const std::string& name, const TValueData& written);
  // A service about to be registered by this installation, to start
  // imagePath.
  void ServiceRegistered(const std::string& name, const std::string& imagePath);

  // Undoes everything recorded, newest first: services deleted (and seen to
  // be gone), registry entries put back, created files removed, replaced
  // files restored byte for byte with their rights and attributes, created
  // directories removed when nothing else is left in them. What someone
  // changed since stays and is named (Kept). False when something could not
  // be undone: it stays recorded (on disk too, for the next start to try
  // again); nothing is raised.
  bool RollBack();
  // Keeps what was written and drops the journal and the copies, except
  // copies that a roll-back could not put back.
  void Commit();
  // Where the copies of originals that a roll-back did not put back are
  // kept; empty when there are none.
  std::string KeptCopiesFolder() const;
  // What the roll-back left because someone changed it since.
  const std::vector<std::string>& Kept() const noexcept { return kept_; }

  bool Empty() const noexcept { return entries_.empty(); }

  // What the start of a run found of runs that did not end.
  struct TRecovery {
    // The folder cannot be trusted (UntrustedRoot): nothing was read.
    std::string untrusted;
    bool found = false;             // a journal was there
    bool complete = true;           // everything it recorded is undone or kept
    std::string keptFolder;         // where originals remain
    std::vector<std::string> kept;  // left because someone changed them
  };
  // Finishes the roll-back of every journal left in root (the machine-wide
  // folder when empty) by a run that died, newest first; a journal that was
  // committed only loses its folder.
  static TRecovery RecoverInterrupted(const std::string& root = {});

  // Entry kinds, one letter each at the start of a journal line.
  static constexpr char kDestination = 'D';  // a directory made as the destination
  static constexpr char kDirectory = 'd';    // a directory made
  static constexpr char kFile = 'f';         // a new file
  static constexpr char kTemporary = 't';    // a payload's temporary file
  // path, name of the copy, the original's hash, attributes:descriptor
  static constexpr char kReplaced = 'r';
  static constexpr char kWritten = 'w';   // path, hash of what the installation put there
  static constexpr char kKey = 'k';       // a registry key made
  static constexpr char kValue = 'v';     // key, name, type:bytes written
  static constexpr char kPrevious = 'p';  // key, name, type:bytes before, type:bytes written
  static constexpr char kService = 's';   // name, the program it starts
  static constexpr char kCommitted = 'c';

  struct Entry {
    char kind;
    std::string first;
    std::string second;
    std::string third;
    std::string fourth;
  };
  // What was recorded, oldest first.
  const std::vector<Entry>& Entries() const noexcept { return entries_; }

 private:
  enum class Outcome { kUndone, kKept, kFailed };
  class Layer;

  bool Knows(const std::string& path) const;
  void Record(Entry entry);
  void Open();
  void Rewrite();
  void Remove();
  void Finish();
  Outcome Undo(const Entry& entry);
  Outcome UndoFile(const Entry& entry);
  bool Load(const std::string& folder);
  const std::string* WrittenHash(const std::string& path) const;
  std::string Root() const;

  std::string root_;
  std::vector<Entry> entries_;
  std::string folder_;
  uint32_t sequence_ = 0;
  UniqueFile file_;
  int copies_ = 0;
  std::vector<std::string> kept_;
  std::unique_ptr<Layer> layer_;
  // After a commit the installation is complete: later writes (a resumed
  // entry repeating a step) are its own and need no record.
  bool committed_ = false;
  // A roll-back ran: entries still here are what it could not undo.
  bool rolledBack_ = false;
  // A roll-back kept originals whose file someone changed since.
  bool keptCopies_ = false;
};

}  // namespace qv
