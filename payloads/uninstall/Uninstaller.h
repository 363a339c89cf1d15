#pragma once
// The steps of uninstall.exe. Each removes only what the install record
// says the installation made, and only while it is still as the
// installation left it: a changed file, a folder with something else in
// it, a key with other values and anything reached through a link stay.
#include <windows.h>

#include <string>
#include <vector>

namespace qv::payload {

// The install record with its paths and names in UTF-16, as the wide API
// takes them. Keys are below HKEY_LOCAL_MACHINE, without a leading "\".
struct Installation {
  struct File {
    std::wstring path;
    std::string sha256;  // lower-case hex
  };
  struct Value {
    std::wstring key;
    std::wstring name;
  };
  std::wstring destination;
  std::vector<std::wstring> directories;
  std::vector<File> files;
  std::vector<std::wstring> shortcuts;
  std::vector<std::wstring> keys;
  std::vector<Value> values;
  std::vector<std::wstring> services;
};

enum class RecordState { kRead, kUnreadable, kDamaged };

struct RecordReading {
  RecordState state = RecordState::kUnreadable;
  DWORD error = ERROR_SUCCESS;  // the read's Win32 error for kUnreadable
  Installation installation;
};

// kDamaged also stands for a record whose text is not UTF-8, and for one
// that names anything outside the product's own (its destination, its
// program-menu folder, its keys and its two services): its checksum held,
// so it cannot be told apart from one altered on purpose.
RecordReading ReadInstallRecord(const std::wstring& path);

// How an item left, for the log; kept and failed items are told apart by
// the lists they are in.
enum class Gone {
  kRemoved,
  kAbsent,          // not there to begin with
  kServiceRemoved,  // stopped, deleted, and found gone or marked for deletion
  kAtCleanup,       // a folder that holds only the program and its record
};

struct Removed {
  std::wstring what;
  Gone how;
};

enum class KeptReason { kChanged, kNotEmpty, kLink, kBehindLink, kNotRecorded, kOtherProgram };

struct Kept {
  std::wstring what;
  KeptReason reason;
};

struct Failure {
  std::wstring what;
  DWORD error;
};

struct Removal {
  std::vector<Removed> removed;
  std::vector<Kept> kept;
  std::vector<Failure> failures;
  // The running program is as recorded: the clean-up deletes it.
  bool programGoes = false;
};

struct ServiceFailure {
  std::wstring service;  // empty when the control manager itself failed
  bool stopping = false;
  // Stopped and deleted, yet neither gone nor marked for deletion.
  bool stays = false;
  DWORD error = ERROR_SUCCESS;  // ERROR_SUCCESS: every service is gone
};

// Stops and deletes the recorded services, one after the other, and stops
// at the first that cannot be: the services go first so that a failure
// leaves every file and value in place. Each removal is checked: a service
// counts as removed once the control manager has it marked for deletion,
// or when neither a fresh connection to the manager nor the registry knows
// it. A service whose program lies outside the destination is someone
// else's by now: it stays, and is added to kept; the others are added to
// removed.
ServiceFailure RemoveServices(const Installation& installation, Removal& report);

// Shortcuts, configuration values, keys, files and directories, in that
// order, then the product's entry in the list of installed programs once
// nothing has failed (so that a failed run can still be found and run
// again). The running program and its record stay for the clean-up; a
// directory that holds nothing else is not counted as kept.
Removal RemoveInstallation(const Installation& installation, const std::wstring& program,
                           const std::wstring& record);

// A copy of the running program in a new folder of its own in the temp
// directory, made with rights for SYSTEM and Administrators only: a folder
// nobody can have prepared or can write to, so no DLL planted beside the
// copy is loaded when it starts elevated.
struct CleanupCopy {
  std::wstring folder;
  std::wstring program;
};

DWORD PrepareCleanup(const std::wstring& program, CleanupCopy& copy);
// Starts the copy with "/cleanup <this process id> <record> <program>".
DWORD StartCleanup(const CleanupCopy& copy, const std::wstring& program,
                   const std::wstring& record);
void DiscardCleanup(const CleanupCopy& copy) noexcept;

// Run by the copy: waits for the original to end, deletes it (when it is
// still as recorded) and the record, removes the recorded directories that
// are empty now, and leaves itself and its folder to be deleted at the next
// restart, since a running program cannot delete its own image.
void CleanUpAfter(DWORD processId, const std::wstring& record, const std::wstring& program,
                  const std::wstring& self);

}  // namespace qv::payload
