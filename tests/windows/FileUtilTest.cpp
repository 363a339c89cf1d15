// The wizard's file services on the real file system and the real shell
// folder browser.
#include "install/Destination.h"
#include "install/InstallJournal.h"
#include "install/RemoveTree.h"
#include "formstream/BinaryData.h"
#include "win32/Security.h"
#include "win32/WindowsFileLayer.h"
#include "win32/FileSystem.h"
#include "wizard/FolderBrowser.h"

#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "AccessList.h"
#include "DirectorySnapshot.h"
#include "TestSupport.h"
#include "core/PathDelimiters.h"
#include "win32/Handles.h"

namespace qv::test {
namespace {

constexpr const char* kTitle = "Select the installation path";

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << path;
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), "data", 4, &written, nullptr));
  file.reset();
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes)) << path;
}

void MakeDirectory(const std::string& path) {
  ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path;
}

std::string HashOf(const std::string& path) {
  std::string hash;
  EXPECT_TRUE(HashFile(path, hash)) << path;
  return hash;
}

// What the installation's payload layer records: the bytes it put there.
void WriteAsInstalled(TInstallJournal& journal, const std::string& path, const char* bytes) {
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes; }
  journal.Written(path, HashOf(path));
}

// A directory every user may change: Wine turns the grant to Everyone into
// the Unix mode bits that let others write.
void MakeOpenDirectory(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  // Set after the directory is made: Wine makes it under the process's
  // umask, which takes the others' write bit away again.
  EXPECT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path;
  EXPECT_TRUE(::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor)) << path;
  ::LocalFree(descriptor);
}

// A scratch directory on drive C:, so that the folder browser can reach it.
// Whatever a test leaves is cleared without the code under test.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    static int counter = 0;
    path_ = "C:\\qv-fileutil-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory() { Clear(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  static void Clear(const std::string& dir) {
    WIN32_FIND_DATAA entry{};
    UniqueFind find(::FindFirstFileA((dir + "\\*").c_str(), &entry));
    for (bool more = bool(find); more; more = ::FindNextFileA(find.get(), &entry) != FALSE) {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..")
        continue;
      const std::string child = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveLink(child);
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        Clear(child);
      } else {
        ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(child.c_str());
      }
    }
    find.reset();
    ::RemoveDirectoryA(dir.c_str());
  }

  std::string path_;
};

// ---------------------------------------------------------------- RemoveTree

class FileUtilRemoveTree : public ::testing::Test {
 protected:
  // top\readme.txt (read-only), top\notes.txt (hidden, system),
  // top\logs\setup.log, top\logs\old\2019.log (read-only), top\empty
  void BuildTree() {
    WriteFile(scratch_ / "readme.txt", FILE_ATTRIBUTE_READONLY);
    WriteFile(scratch_ / "notes.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeDirectory(scratch_ / "logs");
    WriteFile(scratch_ / "logs\\setup.log");
    MakeDirectory(scratch_ / "logs\\old");
    WriteFile(scratch_ / "logs\\old\\2019.log", FILE_ATTRIBUTE_READONLY);
    MakeDirectory(scratch_ / "empty");
  }

  ScratchDirectory scratch_;
};

TEST_F(FileUtilRemoveTree, RemovesEverythingIncludingReadOnlyFilesAndTheTop) {
  BuildTree();
  EXPECT_TRUE(RemoveTree(scratch_.path(), true));
  EXPECT_FALSE(Exists(scratch_.path()));
}

TEST_F(FileUtilRemoveTree, WithoutDeleteDirectoryOnlyFilesGoAtEveryLevel) {
  BuildTree();
  EXPECT_TRUE(RemoveTree(scratch_.path(), false));
  for (const char* dir : {"", "\\logs", "\\logs\\old", "\\empty"})
    EXPECT_TRUE(IsExistingDirectory(scratch_.path() + dir)) << dir;
  for (const char* file : {"readme.txt", "notes.txt", "logs\\setup.log", "logs\\old\\2019.log"})
    EXPECT_FALSE(Exists(scratch_ / file)) << file;
}

TEST_F(FileUtilRemoveTree, APathWithTrailingBackslashIsTheSameDirectory) {
  BuildTree();
  EXPECT_TRUE(RemoveTree(scratch_.path() + "\\", true));
  EXPECT_FALSE(Exists(scratch_.path()));
}

TEST_F(FileUtilRemoveTree, MissingPathOrAFileReturnsFalseAndTouchesNothing) {
  EXPECT_FALSE(RemoveTree(scratch_ / "missing", true));
  WriteFile(scratch_ / "file.txt");
  EXPECT_FALSE(RemoveTree(scratch_ / "file.txt", true));
  EXPECT_TRUE(Exists(scratch_ / "file.txt"));
}

TEST_F(FileUtilRemoveTree, AFileInUseStaysWithTheDirectoriesAboveItAndTheRestGoes) {
  BuildTree();
  MakeDirectory(scratch_ / "logs\\busy");
  const std::string held = scratch_ / "logs\\busy\\held.log";
  WriteFile(held);
  WriteFile(scratch_ / "logs\\busy\\zzz-after.log");
  UniqueFile open(::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(open);

  EXPECT_FALSE(RemoveTree(scratch_.path(), true));

  EXPECT_TRUE(Exists(held));
  for (const char* dir : {"", "\\logs", "\\logs\\busy"})
    EXPECT_TRUE(IsExistingDirectory(scratch_.path() + dir)) << dir;
  // Entries enumerated after the failure, and in other branches, still go.
  for (const char* gone : {"readme.txt", "notes.txt", "logs\\setup.log", "logs\\old", "empty",
                           "logs\\busy\\zzz-after.log"}) {
    EXPECT_FALSE(Exists(scratch_ / gone)) << gone;
  }

  open.reset();
  EXPECT_TRUE(RemoveTree(scratch_.path(), true)) << "once the file is closed";
  EXPECT_FALSE(Exists(scratch_.path()));
}

// A link planted where a tree was expected, at the top or below: what it
// points to keeps every file.
TEST_F(FileUtilRemoveTree, ALinkIsNeverFollowed) {
  ScratchDirectory outside;
  WriteFile(outside / "precious.txt");
  const std::string link = scratch_ / "logs";
  ASSERT_TRUE(MakeLink(link, outside.path()));
  MakeDirectory(scratch_ / "sub");
  ASSERT_TRUE(MakeLink(scratch_ / "sub\\inner", outside.path()));
  RemoveTree(link, true);
  RemoveTree(scratch_.path(), true);
  EXPECT_EQ(FileBytes(outside / "precious.txt"), "data");
  RemoveLink(link);
  RemoveLink(scratch_ / "sub\\inner");
}

TEST_F(FileUtilRemoveTree, ABareDriveIsEmptiedButNeverRemoved) {
  // "C:" names the current directory of drive C:, here the scratch tree.
  char before[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, before);
  ASSERT_TRUE(::SetCurrentDirectoryA(scratch_.path().c_str()));
  char full[MAX_PATH] = {};
  ::GetFullPathNameA("C:", MAX_PATH, full, nullptr);
  if (DropTrailingDelimiter(full) != scratch_.path()) {
    ::SetCurrentDirectoryA(before);
    FAIL() << "C: resolves to " << full << ", not to the scratch tree";
  }
  BuildTree();
  const bool removed = RemoveTree("C:", true);
  ::SetCurrentDirectoryA(before);
  EXPECT_TRUE(removed);
  EXPECT_TRUE(IsExistingDirectory(scratch_.path()));
  EXPECT_FALSE(Exists(scratch_ / "logs"));
  EXPECT_FALSE(Exists(scratch_ / "readme.txt"));
}

// The prefix names the very directory typed: "\\" appended, nothing else.
TEST(FileUtilPaths, TheDestinationPrefixAppendsOnlyADelimiter) {
  const std::pair<const char*, const char*> cases[] = {
      {"D", "D\\"}, {"C:", "C:\\"}, {"C:\\Dir", "C:\\Dir\\"}, {"C:\\Dir\\", "C:\\Dir\\"}, {"", ""}};
  for (const auto& [typed, prefix] : cases) {
    const TDestination d = DestinationFromText(typed);
    EXPECT_EQ(d.typed, typed);
    EXPECT_EQ(d.prefix, prefix) << typed;
  }
  char current[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(DestinationFromText("D").fullPrefix, AddTrailingDelimiter(current) + "D\\");
}

// A roll-back that cannot put an original back keeps its only copy, also
// through a later commit, and says where it is.
TEST(FileUtilJournal, AnOriginalThatCannotBeRestoredKeepsItsCopy) {
  ScratchDirectory scratch;
  const std::string original = scratch / "qvdaemon.exe";
  WriteFile(original);  // "data": the user's own file
  std::string kept;
  {
    TInstallJournal journal;
    journal.BeforeWrite(original);
    UniqueFile held(::CreateFileA(original.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held) << "overwritten by the installation and held open";
    EXPECT_FALSE(journal.RollBack());
    journal.Commit();
    kept = journal.KeptCopiesFolder();
    ASSERT_FALSE(kept.empty());
  }
  WIN32_FIND_DATAA entry{};
  UniqueFind find(::FindFirstFileA((kept + "\\*-qvdaemon.exe").c_str(), &entry));
  ASSERT_TRUE(find) << "the copy outlived the journal in " << kept;
  EXPECT_EQ(FileBytes(kept + "\\" + entry.cFileName), "data");
  find.reset();
  RemoveTree(kept, true);
}

// Only what the installation recorded goes; what someone else put into its
// directories meanwhile stays, and so do those directories.
// A file the installation wrote that someone changed since is theirs now:
// it stays and is named. A payload's temporary name left by someone else
// is moved aside, and comes back with the roll-back.
TEST(FileUtilJournal, ARollBackLeavesWhatOthersPutIntoItsDirectories) {
  ScratchDirectory scratch;
  const std::string dest = scratch / "Quolvex";
  MakeDirectory(dest);
  MakeDirectory(dest + "\\logs");
  WriteFile(TemporaryFileName(dest + "\\readme.txt"));
  TInstallJournal journal(scratch.path());
  journal.DestinationCreated(dest);
  journal.DirectoryCreated(dest + "\\logs");
  journal.BeforeWrite(dest + "\\qvdaemon.exe");
  WriteAsInstalled(journal, dest + "\\qvdaemon.exe", "MZ");
  journal.FileCreated(dest + "\\sms.txt");
  WriteAsInstalled(journal, dest + "\\sms.txt", "");
  WriteFile(dest + "\\sms.txt");            // filled in by the administrator
  WriteFile(dest + "\\logs\\service.log");  // not the installation's
  SetDefaultFileLayer(&WindowsFileLayer());
  TBinaryData payload(nullptr);
  payload.GetData().WriteBuffer("text", 4);
  journal.BeforeSave(dest + "\\readme.txt");
  payload.SaveToFile(dest + "\\readme.txt", journal.Files(WindowsFileLayer()));
  EXPECT_TRUE(journal.RollBack());
  EXPECT_FALSE(Exists(dest + "\\qvdaemon.exe"));
  EXPECT_FALSE(Exists(dest + "\\readme.txt"));
  EXPECT_EQ(FileBytes(TemporaryFileName(dest + "\\readme.txt")), "data");
  EXPECT_EQ(FileBytes(dest + "\\sms.txt"), "data");
  EXPECT_EQ(journal.Kept(), std::vector<std::string>{dest + "\\sms.txt"});
  EXPECT_TRUE(Exists(dest + "\\logs\\service.log"));
}

// A run that died leaves its journal on disk: the next start finishes the
// roll-back (files, registry values and keys, services), and a journal that
// cannot be read is left alone with its copies.
TEST(FileUtilJournal, TheNextStartUndoesWhatARunThatDiedRecorded) {
  ScratchDirectory scratch;
  const std::string key = "SOFTWARE\\QuolvexJournalTest" + std::to_string(::GetCurrentProcessId());
  const std::string service = "QuolvexJournalTest" + std::to_string(::GetCurrentProcessId());
  UniqueService manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ASSERT_TRUE(manager);
  const std::string original = scratch / "readme.txt";
  WriteFile(original);
  {
    TInstallJournal journal(scratch.path());
    journal.BeforeWrite(original);
    journal.BeforeWrite(scratch / "qvdaemon.exe");
    journal.KeyCreated(key);
    journal.ValueCreated(key, "ScannerPort", TInstallJournal::TValueData::Number(3385));
    journal.ServiceRegistered(service, "\"" + scratch / "qvdaemon.exe" + "\"");
    ASSERT_TRUE(::CopyFileA(TestProgramPath().c_str(), original.c_str(), FALSE));
    journal.Written(original, HashOf(original));
    WriteAsInstalled(journal, scratch / "qvdaemon.exe", "MZ");
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    const DWORD port = 3385;
    ::RegSetValueExA(handle, "ScannerPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port),
                     sizeof port);
    ::RegCloseKey(handle);
    UniqueService created(::CreateServiceA(
        manager.get(), service.c_str(), service.c_str(), SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        (scratch / "qvdaemon.exe").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(created);
  }  // the process "dies": neither committed nor rolled back

  const TInstallJournal::TRecovery recovery = TInstallJournal::RecoverInterrupted(scratch.path());
  EXPECT_TRUE(recovery.found);
  EXPECT_TRUE(recovery.complete);
  EXPECT_EQ(FileBytes(original), "data");
  EXPECT_FALSE(Exists(scratch / "qvdaemon.exe"));
  EXPECT_FALSE(MachineKeyExists(key));
  UniqueService left(::OpenServiceA(manager.get(), service.c_str(), SERVICE_QUERY_STATUS));
  EXPECT_FALSE(left) << "the service this run registered is deleted";
  EXPECT_FALSE(MachineKeyExists("SYSTEM\\CurrentControlSet\\Services\\" + service));
  EXPECT_FALSE(TInstallJournal::RecoverInterrupted(scratch.path()).found) << "its folder is gone";

  // Two runs that died one after the other: the newer is undone first, so
  // that the original, which only the older one copied, is what stays.
  {
    TInstallJournal older(scratch.path());
    older.BeforeWrite(original);
    WriteAsInstalled(older, original, "older");
    TInstallJournal newer(scratch.path());
    newer.BeforeWrite(original);
    WriteAsInstalled(newer, original, "newer");
  }
  EXPECT_TRUE(TInstallJournal::RecoverInterrupted(scratch.path()).complete);
  EXPECT_EQ(FileBytes(original), "data");

  // A roll-back killed after it deleted its journal leaves only its folder,
  // which the next start removes without a word.
  const std::string leftover = scratch / "0000000098";
  MakeDirectory(leftover);
  WriteFile(leftover + "\\0-readme.txt");
  EXPECT_FALSE(TInstallJournal::RecoverInterrupted(scratch.path()).found);
  EXPECT_FALSE(Exists(leftover));

  // Nothing is read from a folder of another kind, such as one any user
  // may make in a temp folder, nor a copy from outside a journal's folder.
  const std::string keep = scratch / "keep.txt";
  WriteFile(keep);
  const std::string planted = scratch / "QuolvexSetup-{0C0FFEE0-0000-0000-0000-000000000000}";
  MakeDirectory(planted);
  const std::string plantedLines = "Quolvex Setup journal 1\nf\t" + keep + "\t\t\n";
  { std::ofstream(planted + "\\journal.txt", std::ios::binary) << plantedLines; }
  EXPECT_FALSE(TInstallJournal::RecoverInterrupted(scratch.path()).found);
  const std::string damaged = scratch / "0000000099";
  MakeDirectory(damaged);
  {
    std::ofstream(damaged + "\\journal.txt", std::ios::binary)
        << "Quolvex Setup journal 2\t99\nr\t" << keep << "\t..\\planted.bin\t\t0:\n";
  }
  const TInstallJournal::TRecovery refused = TInstallJournal::RecoverInterrupted(scratch.path());
  EXPECT_FALSE(refused.complete) << "a journal not ours to read: nothing is undone on a guess";
  EXPECT_EQ(refused.keptFolder, damaged);
  EXPECT_EQ(FileBytes(keep), "data");

  // A folder others may change is not read at all, and says why.
  const std::string open = scratch / "open";
  MakeOpenDirectory(open);
  const std::string openJournal = open + "\\0000000001";
  MakeDirectory(openJournal);
  { std::ofstream(openJournal + "\\journal.txt", std::ios::binary) << plantedLines; }
  const TInstallJournal::TRecovery untrusted = TInstallJournal::RecoverInterrupted(open);
  EXPECT_NE(untrusted.untrusted.find("users other than administrators"), std::string::npos)
      << untrusted.untrusted;
  EXPECT_FALSE(untrusted.found);
  EXPECT_TRUE(Exists(keep));
  try {
    TInstallJournal(open).FileCreated(open + "\\x");
    ADD_FAILURE() << "a journal was started in a folder others may change";
  } catch (const EFCreateError&) {
  }
}

// A value that was there before keeps its stored form (type and bytes),
// whatever the installation wrote over it; a committed journal leaves
// nothing behind for the next start.
TEST(FileUtilJournal, AChangedValueComesBackAsStoredAndACommitEndsTheJournal) {
  ScratchDirectory scratch;
  const std::string key = "SOFTWARE\\QuolvexJournalTest" + std::to_string(::GetCurrentProcessId());
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(handle, "Start", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2);
  {
    TInstallJournal journal(scratch.path());
    journal.ValueChanged(key, "Start", TInstallJournal::TValueData::Number(3));
    const DWORD onDemand = 3;
    ::RegSetValueExA(handle, "Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&onDemand),
                     sizeof onDemand);
    // Changed since by the administrator: theirs now, and named.
    journal.ValueCreated(key, "Codeword", TInstallJournal::TValueData::Text(""));
    ::RegSetValueExA(handle, "Codeword", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    EXPECT_TRUE(journal.RollBack());
    EXPECT_EQ(journal.Kept(),
              std::vector<std::string>{"HKEY_LOCAL_MACHINE\\" + key + ", value \"Codeword\""});
  }
  EXPECT_EQ(ReadMachineValue(key, "Start"), StoredText("2"));
  EXPECT_EQ(ReadMachineValue(key, "Codeword"), StoredText("x"));
  ::RegDeleteValueA(handle, "Codeword");
  // Also one that replaced a file: the copy of the original goes with it,
  // or the next start would take the finished installation back.
  const std::string replaced = scratch.path() + "\\qvdaemon.exe";
  { std::ofstream(replaced, std::ios::binary) << "old"; }
  {
    TInstallJournal journal(scratch.path());
    journal.ValueCreated(key, "Codepage", TInstallJournal::TValueData::Text("windows-1251"));
    journal.BeforeWrite(replaced);
    { std::ofstream(replaced, std::ios::binary) << "new"; }
    journal.Commit();
    EXPECT_EQ(journal.KeptCopiesFolder(), "");
  }
  EXPECT_FALSE(TInstallJournal::RecoverInterrupted(scratch.path()).found);
  EXPECT_EQ(FileBytes(replaced), "new");
  ::RegCloseKey(handle);
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

// Nothing the installer creates takes its rights from where it is created:
// the destination and the files written into it give Users read and
// execute only, the copies of originals are for SYSTEM and Administrators
// alone. Wine keeps no descriptor of a file: it turns the list into Unix
// mode bits and reads back SYSTEM, the owner, and Everyone when others may
// read (as a default directory shows). So the lists are checked whole on
// the descriptors, and on disk for granting Everyone nothing.
TEST(FileUtilSecurity, WhatTheInstallerMakesCarriesItsOwnRights) {
  const auto text = [](TProtection protection) {
    TSecurityDescriptor security(protection);
    LPSTR sddl = nullptr;
    if (security.Attributes() == nullptr ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            security.Attributes()->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
            &sddl, nullptr)) {
      return std::string();
    }
    const std::string result = sddl;
    ::LocalFree(sddl);
    return result;
  };
  EXPECT_EQ(text(TProtection::kInstalled),
            "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  EXPECT_EQ(text(TProtection::kAdministratorsOnly), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");

  ScratchDirectory scratch;
  const auto everyoneMay = [](const std::string& path) {
    const std::string dacl = DaclText(path);
    EXPECT_FALSE(dacl.empty()) << path;
    return dacl.find(";;;WD)") != std::string::npos;
  };
  ASSERT_TRUE(everyoneMay(scratch.path())) << "a default directory tells nothing";
  const std::string dest = scratch / "Quolvex";
  ASSERT_TRUE(CreateProtectedDirectory(dest, TProtection::kInstalled));
  EXPECT_FALSE(everyoneMay(dest));
  SetDefaultFileLayer(&WindowsFileLayer());
  TBinaryData payload(nullptr);
  payload.GetData().WriteBuffer("MZ", 2);
  // The user's own file in an existing destination, hidden: replaced with
  // the installer's rights, and given back with its own.
  WriteFile(scratch / "qvdaemon.exe", FILE_ATTRIBUTE_HIDDEN);
  TInstallJournal journal(scratch.path());
  journal.BeforeSave(scratch / "qvdaemon.exe");
  payload.SaveToFile(scratch / "qvdaemon.exe", journal.Files(WindowsFileLayer()));
  EXPECT_FALSE(everyoneMay(scratch / "qvdaemon.exe"));
  WIN32_FIND_DATAA entry{};
  UniqueFind find(::FindFirstFileA((scratch / "000*").c_str(), &entry));
  ASSERT_TRUE(find);
  EXPECT_FALSE(everyoneMay(scratch / entry.cFileName));
  EXPECT_TRUE(journal.RollBack());
  EXPECT_EQ(FileBytes(scratch / "qvdaemon.exe"), "data");
  EXPECT_TRUE(everyoneMay(scratch / "qvdaemon.exe")) << "the original's rights came back";
  EXPECT_NE(::GetFileAttributesA((scratch / "qvdaemon.exe").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

// Who may change a directory, read from its descriptor: only SYSTEM,
// Administrators and the account Setup runs as may own it or be let write.
TEST(FileUtilSecurity, OnlyAdministratorsMayChangeWhatSetupTrusts) {
  const auto others = [](const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                       &descriptor, nullptr))
        << sddl;
    const std::string who = OthersWhoMayChange(descriptor);
    ::LocalFree(descriptor);
    return who;
  };
  EXPECT_EQ(others("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"), "");
  EXPECT_EQ(others("O:SYD:(A;OICIIO;FA;;;CO)(A;;FA;;;BA)(D;;FA;;;WD)"), "");
  EXPECT_EQ(others("O:BUD:P(A;;FA;;;BA)"), "S-1-5-32-545") << "the owner may rewrite the list";
  EXPECT_EQ(others("O:BAD:(A;;0x1200a9;;;BU)(A;;0x4;;;AU)"), "S-1-5-11") << "appending is a change";
  EXPECT_EQ(others("O:BAD:(A;;GW;;;WD)"), "S-1-1-0");

  ScratchDirectory scratch;
  std::string who;
  ASSERT_TRUE(CreateProtectedDirectory(scratch / "protected", TProtection::kInstalled));
  EXPECT_TRUE(OthersWhoMayChange(scratch / "protected", who));
  EXPECT_EQ(who, "");
  MakeOpenDirectory(scratch / "open");
  EXPECT_TRUE(OthersWhoMayChange(scratch / "open", who));
  EXPECT_EQ(who, "S-1-1-0") << DaclText(scratch / "open");
  EXPECT_NE(AccountName(who).find("Everyone"), std::string::npos) << AccountName(who);
}

// A link planted at a payload's name is never written through. Wine shows
// a link to a directory as a link but one to a file as a plain file, so the
// refusal by name is shown with the former; the latter is replaced, never
// followed.
TEST(FileUtilSecurity, ALinkAtAPayloadsNameIsRefusedByName) {
  ScratchDirectory scratch;
  ScratchDirectory outside;
  WriteFile(outside / "hosts");
  SetDefaultFileLayer(&WindowsFileLayer());
  TBinaryData payload(nullptr);
  payload.GetData().WriteBuffer("MZ", 2);
  TInstallJournal journal(scratch.path());
  const std::string link = scratch / "readme.txt";
  ASSERT_TRUE(MakeLink(link, outside.path()));
  const auto refused = [&](const std::function<void()>& write) {
    try {
      write();
    } catch (const EFCreateError& error) {
      return std::string(error.what()).find("\"" + link + "\"") != std::string::npos;
    }
    return false;
  };
  EXPECT_TRUE(refused([&] { payload.SaveToFile(link); }));
  EXPECT_TRUE(refused([&] { journal.BeforeWrite(link); }));
  uint32_t error = 0;
  WriteFile(scratch / "new.txt");
  EXPECT_FALSE(WindowsFileLayer().Replace(scratch / "new.txt", link, error));
  EXPECT_EQ(error, kLinkRefused);
  RemoveLink(link);

  ASSERT_TRUE(MakeLink(link, outside / "hosts"));
  try {
    journal.BeforeSave(link);
    payload.SaveToFile(link);
  } catch (const EFCreateError&) {
  }
  EXPECT_EQ(FileBytes(outside / "hosts"), "data");
  EXPECT_TRUE(journal.RollBack());
  EXPECT_EQ(FileBytes(outside / "hosts"), "data");
  RemoveLink(link);
}

TEST(FileUtilPaths, IsExistingDirectoryWantsADirectory) {
  ScratchDirectory scratch;
  WriteFile(scratch / "file.txt");
  EXPECT_TRUE(IsExistingDirectory(scratch.path()));
  EXPECT_TRUE(IsExistingDirectory(scratch.path() + "\\"));
  EXPECT_TRUE(IsExistingDirectory("C:\\"));
  EXPECT_FALSE(IsExistingDirectory(scratch / "file.txt"));
  EXPECT_FALSE(IsExistingDirectory(scratch / "missing"));
  EXPECT_FALSE(IsExistingDirectory(""));
}

TEST(FileUtilPaths, TheAnsiCodePageDecidesWhereCharactersEnd) {
  // As the framework's start-up does.
  UseAnsiCodePageForPaths();
  const LeadBytePredicate installed = CurrentLeadBytePredicate();
  ASSERT_NE(installed, nullptr);
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(installed(static_cast<unsigned char>(byte)),
              ::IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE)
        << byte;
  }
}

// ------------------------------------------------------------ Folder browser

TEST(FileUtilBrowseFolderDlg, PublishesItsPropertiesWithTheirDefaults) {
  TBrowseFolderDlg dialog(nullptr);
  const TClassInfo& info = dialog.ClassType();
  EXPECT_EQ(info.Name, "TBrowseFolderDlg");
  for (const char* name : {"BrowseKind", "DesktopRoot", "HelpContext", "Position"}) {
    const TPropInfo* property = info.FindProperty(name);
    ASSERT_NE(property, nullptr) << name;
    ASSERT_TRUE(property->HasDefault) << name;
    EXPECT_EQ(property->GetOrd(dialog), property->Default) << name << " starts at its default";
  }
  EXPECT_EQ(info.FindProperty("Position")->GetOrd(dialog), dpScreenCenter);
  EXPECT_EQ(info.FindProperty("DesktopRoot")->GetOrd(dialog), 1);
  for (const char* name : {"DialogText", "FolderName"}) {
    const TPropInfo* property = info.FindProperty(name);
    ASSERT_NE(property, nullptr) << name;
    EXPECT_EQ(property->Kind, TTypeKind::tkString);
    property->SetStr(dialog, "C:\\x");
  }
  EXPECT_EQ(dialog.DialogText(), "C:\\x");
  EXPECT_EQ(dialog.FolderName(), "C:\\x");
  for (const char* name : {"OnInitialized", "OnSelChanged"}) {
    const TPropInfo* property = info.FindProperty(name);
    ASSERT_NE(property, nullptr) << name;
    EXPECT_EQ(property->Kind, TTypeKind::tkMethod);
  }
  info.FindProperty("BrowseKind")->SetOrd(dialog, 1);
  EXPECT_EQ(dialog.BrowseKind(), bfComputers);
}

HWND FindBrowser() {
  for (HWND window : FindTopWindows("#32770")) {
    if (FindChild(window, "Static", kTitle) != nullptr)
      return window;
  }
  return nullptr;
}

// Runs action with the open folder browser as soon as it is on screen.
void WithBrowser(std::function<void(HWND)> action, int attempts = 200) {
  After(25, [action = std::move(action), attempts]() mutable {
    HWND dialog = FindBrowser();
    if (dialog != nullptr) {
      action(dialog);
    } else if (attempts > 0) {
      WithBrowser(std::move(action), attempts - 1);
    } else {
      ADD_FAILURE() << "the folder browser did not open";
    }
  });
}

bool OkEnabled(HWND dialog) {
  return ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE;
}

HWND Tree(HWND dialog) {
  return ::FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
}

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::string ItemText(HWND tree, HTREEITEM item) {
  char text[MAX_PATH] = {};
  TVITEMA tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = MAX_PATH;
  ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  return text;
}

// The tree's labels of a path: the drive's label holds "(C:)", the
// folders' labels are their names.
std::vector<std::string> Labels(const std::string& path) {
  std::vector<std::string> labels;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos)
      end = path.size();
    if (end > start)
      labels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (!labels.empty())
    labels.front() = "(" + labels.front() + ")";
  return labels;
}

bool ItemIsPath(HWND tree, HTREEITEM item, const std::vector<std::string>& labels) {
  for (auto label = labels.rbegin(); label != labels.rend(); ++label) {
    if (item == nullptr)
      return false;
    const std::string text = ItemText(tree, item);
    const bool drive = std::next(label) == labels.rend();
    if (drive ? text.find(*label) == std::string::npos
              : ::lstrcmpiA(text.c_str(), label->c_str()) != 0) {
      return false;
    }
    item = NextItem(tree, TVGN_PARENT, item);
  }
  return true;
}

// The child of parent (expanded first) whose label fits.
template <class Fits>
HTREEITEM ChildItem(HWND tree, HTREEITEM parent, Fits fits) {
  ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  for (HTREEITEM item = NextItem(tree, TVGN_CHILD, parent); item != nullptr;
       item = NextItem(tree, TVGN_NEXT, item)) {
    if (fits(ItemText(tree, item)))
      return item;
  }
  return nullptr;
}

// Picks the path's item in the tree, as a click on it would.
void ClickItem(HWND dialog, const std::string& path) {
  HWND tree = Tree(dialog);
  const std::vector<std::string> labels = Labels(path);
  ASSERT_FALSE(labels.empty());
  const auto isDrive = [&](const std::string& text) {
    return text.find(labels.front()) != std::string::npos;
  };
  // The drive is below the desktop's My Computer item.
  HTREEITEM root = NextItem(tree, TVGN_ROOT, nullptr);
  HTREEITEM item = nullptr;
  for (HTREEITEM top = NextItem(tree, TVGN_CHILD, root); item == nullptr && top != nullptr;
       top = NextItem(tree, TVGN_NEXT, top)) {
    item = ChildItem(tree, top, isDrive);
  }
  for (size_t i = 1; i < labels.size() && item != nullptr; ++i) {
    item = ChildItem(tree, item, [&](const std::string& text) {
      return ::lstrcmpiA(text.c_str(), labels[i].c_str()) == 0;
    });
  }
  ASSERT_NE(item, nullptr) << path << " is not in the tree";
  ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

// Selects the folder the way the program does, with BFFM_SETSELECTION;
// true when the tree then shows it selected.
bool SelectsByPath(HWND dialog, const std::string& path) {
  ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
  HWND tree = Tree(dialog);
  const std::vector<std::string> labels = Labels(path);
  return PumpUntil([&] { return ItemIsPath(tree, NextItem(tree, TVGN_CARET, nullptr), labels); },
                   500);
}

// Wine's browser at times does not find by BFFM_SETSELECTION a folder that
// is in its tree; the test then clicks the item, which reaches the dialog's
// callback the same way.
void Select(HWND dialog, const std::string& path) {
  if (SelectsByPath(dialog, path))
    return;
  ClickItem(dialog, path);
  HWND tree = Tree(dialog);
  EXPECT_TRUE(ItemIsPath(tree, NextItem(tree, TVGN_CARET, nullptr), Labels(path))) << path;
}

// Selects My Computer, an item with no file-system path.
void SelectMyComputer(HWND dialog) {
  LPITEMIDLIST pidl = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(dialog, CSIDL_DRIVES, &pidl), S_OK);
  UniqueCoTaskMemory<LPITEMIDLIST> owned(pidl);
  ::SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(owned.get()));
}

void Press(HWND dialog, int id) {
  ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Records the paths of BFFM_SETSELECTIONA messages sent on this thread,
// whether or not the shell then finds the folder.
class SelectionRequests {
 public:
  SelectionRequests() {
    current_ = this;
    hook_ =
        ::SetWindowsHookExA(WH_CALLWNDPROC, SystemCallback(&Hook), nullptr, ::GetCurrentThreadId());
  }
  SelectionRequests(const SelectionRequests&) = delete;
  SelectionRequests& operator=(const SelectionRequests&) = delete;
  ~SelectionRequests() {
    ::UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }

  std::vector<std::string> paths;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && current_ != nullptr && sent->message == BFFM_SETSELECTIONA &&
        sent->wParam != FALSE) {
      TestGuarded(
          [sent] { current_->paths.push_back(reinterpret_cast<const char*>(sent->lParam)); });
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline SelectionRequests* current_ = nullptr;
  HHOOK hook_ = nullptr;
};

class FileUtilBrowser : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    app->Startup();
  }
  void TearDown() override {
    TBrowseFolderDlg::ApplicationHelp = nullptr;
    ShellTest::TearDown();
  }

  ScratchDirectory scratch_;
};

TEST_F(FileUtilBrowser, OpensCentredAndOkFollowsWhetherTheSelectionIsADirectory) {
  RECT rect{};
  bool okOnVirtual = true, okOnWindows = false;
  HWND owner = nullptr;
  WithBrowser([&](HWND dialog) {
    ::GetWindowRect(dialog, &rect);
    owner = ::GetWindow(dialog, GW_OWNER);
    SelectMyComputer(dialog);
    okOnVirtual = OkEnabled(dialog);
    Select(dialog, "C:\\windows");
    okOnWindows = OkEnabled(dialog);
    Select(dialog, scratch_.path());
    Press(dialog, IDOK);
  });
  std::string folder;
  ASSERT_TRUE(ChooseFolder(folder, kTitle, 0));

  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  ASSERT_LE(width, screenWidth);
  ASSERT_LE(height, screenHeight);
  EXPECT_EQ(rect.left, (screenWidth - width) / 2);
  EXPECT_EQ(rect.top, (screenHeight - height) / 2);
  EXPECT_EQ(owner, app->Handle());
  EXPECT_FALSE(okOnVirtual);
  EXPECT_TRUE(okOnWindows);
  EXPECT_EQ(folder, scratch_.path());
}

TEST_F(FileUtilBrowser, CancelReturnsFalseAndKeepsTheVariable) {
  WithBrowser([&](HWND dialog) {
    Select(dialog, scratch_.path());
    Press(dialog, IDCANCEL);
  });
  std::string folder = "D:\\typed by hand";
  EXPECT_FALSE(ChooseFolder(folder, kTitle, 0));
  EXPECT_EQ(folder, "D:\\typed by hand");
}

TEST_F(FileUtilBrowser, TheSelectionEventSeesThePathAndTheOkStateOfThisComponent) {
  MakeDirectory(scratch_ / "Apps");
  auto* dialog = new TBrowseFolderDlg(app.get());
  dialog->SetDialogText(kTitle);
  std::vector<std::string> seen;
  dialog->OnSelChanged = [&](TObject* sender) {
    EXPECT_EQ(sender, dialog);
    seen.push_back(dialog->SelectedName() + (OkEnabled(dialog->Handle()) ? " ok" : " no"));
  };
  WithBrowser([&](HWND window) {
    EXPECT_EQ(dialog->Handle(), window);
    seen.clear();
    SelectMyComputer(window);
    Select(window, scratch_ / "Apps");
    Press(window, IDCANCEL);
  });
  EXPECT_FALSE(dialog->Execute());
  EXPECT_EQ(dialog->Handle(), nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{" no", scratch_ / "Apps" + " ok"}));
}

TEST_F(FileUtilBrowser, AFolderThatVanishedWhileTheDialogIsOpenCannotBeChosen) {
  MakeDirectory(scratch_ / "Apps");
  MakeDirectory(scratch_ / "Gone");
  auto* dialog = new TBrowseFolderDlg(app.get());
  dialog->SetDialogText(kTitle);
  std::vector<std::string> seen;
  dialog->OnSelChanged = [&](TObject*) {
    seen.push_back(dialog->SelectedName() + (OkEnabled(dialog->Handle()) ? " ok" : " no"));
  };
  WithBrowser([&](HWND window) {
    // The tree item stays while the folder behind it goes.
    Select(window, scratch_ / "Gone");
    Select(window, scratch_ / "Apps");
    ASSERT_TRUE(::RemoveDirectoryA((scratch_ / "Gone").c_str()));
    seen.clear();
    ClickItem(window, scratch_ / "Gone");
    Press(window, IDCANCEL);
  });
  EXPECT_FALSE(dialog->Execute());
  EXPECT_EQ(seen, std::vector<std::string>{scratch_ / "Gone" + " no"});
}

TEST_F(FileUtilBrowser, AnExistingFolderNameIsPreselectedAndReturnedWithoutBackslash) {
  MakeDirectory(scratch_ / "Apps");
  auto* dialog = new TBrowseFolderDlg(app.get());
  dialog->SetDialogText(kTitle);
  dialog->SetFolderName(scratch_ / "Apps\\");
  SelectionRequests requests;
  std::vector<std::string> requestedBeforeInitialized;
  int initialized = 0;
  dialog->OnInitialized = [&](TObject* sender) {
    EXPECT_EQ(sender, dialog);
    EXPECT_NE(dialog->Handle(), nullptr);
    requestedBeforeInitialized = requests.paths;
    ++initialized;
  };
  WithBrowser([&](HWND window) {
    Select(window, scratch_ / "Apps");
    Press(window, IDOK);
  });
  ASSERT_TRUE(dialog->Execute());
  EXPECT_EQ(initialized, 1);
  EXPECT_EQ(requestedBeforeInitialized, std::vector<std::string>{scratch_ / "Apps\\"});
  EXPECT_EQ(dialog->FolderName(), scratch_ / "Apps");
  EXPECT_EQ(dialog->SelectedName(), scratch_ / "Apps");
}

TEST_F(FileUtilBrowser, AFolderNameThatIsNoDirectoryIsNotPreselectedAndKeptOnCancel) {
  WriteFile(scratch_ / "file.txt");
  for (const std::string& name : {scratch_ / "missing", scratch_ / "file.txt"}) {
    auto* dialog = new TBrowseFolderDlg(app.get());
    dialog->SetDialogText(kTitle);
    dialog->SetFolderName(name);
    SelectionRequests requests;
    std::vector<std::string> requestedBeforeInitialized = {"not initialized"};
    dialog->OnInitialized = [&](TObject*) { requestedBeforeInitialized = requests.paths; };
    WithBrowser([&](HWND window) { Press(window, IDCANCEL); });
    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(requestedBeforeInitialized, std::vector<std::string>{}) << name;
    EXPECT_EQ(dialog->FolderName(), name);
    delete dialog;
  }
}

TEST_F(FileUtilBrowser, TheApplicationsWindowsAreDisabledWhileItIsOpen) {
  auto* form = new TForm(app.get());
  form->SetBounds(10, 10, 200, 100);
  form->Show();
  ::SetActiveWindow(form->Handle());
  bool enabledDuring = true;
  WithBrowser([&](HWND dialog) {
    enabledDuring = ::IsWindowEnabled(form->Handle()) != FALSE;
    Press(dialog, IDCANCEL);
  });
  std::string folder;
  ChooseFolder(folder, kTitle, 0);
  EXPECT_FALSE(enabledDuring);
  EXPECT_TRUE(::IsWindowEnabled(form->Handle()));
  EXPECT_EQ(::GetActiveWindow(), form->Handle());
}

TEST_F(FileUtilBrowser, AnExceptionInAnEventIsReportedAndTheDialogGoesOn) {
  auto* dialog = new TBrowseFolderDlg(app.get());
  dialog->SetDialogText(kTitle);
  dialog->OnSelChanged = [](TObject*) { throw EInvalidOperation("selection handler failed"); };
  WithBrowser([&](HWND window) {
    Select(window, "C:\\windows");
    Select(window, scratch_.path());
    Press(window, IDOK);
  });
  ASSERT_TRUE(dialog->Execute());
  EXPECT_EQ(dialog->FolderName(), scratch_.path());
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.back(), "EInvalidOperation: selection handler failed");
}

TEST_F(FileUtilBrowser, AHelpContextAddsAHelpButtonBesideTheFirstButton) {
  std::vector<int> helped;
  TBrowseFolderDlg::ApplicationHelp = [&](int context) { helped.push_back(context); };
  RECT first{}, help{};
  std::string caption;
  bool openAfterClick = false;
  WithBrowser([&](HWND dialog) {
    HWND firstButton = ::FindWindowExA(dialog, nullptr, "Button", nullptr);
    HWND helpButton = ::GetDlgItem(dialog, TBrowseFolderDlg::kHelpButtonId);
    ASSERT_NE(helpButton, nullptr);
    caption = WindowText(helpButton);
    ::GetWindowRect(firstButton, &first);
    ::GetWindowRect(helpButton, &help);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&first), 2);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&help), 2);
    ::SendMessageA(helpButton, BM_CLICK, 0, 0);
    openAfterClick = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
    Press(dialog, IDCANCEL);
  });
  std::string folder;
  EXPECT_FALSE(ChooseFolder(folder, kTitle, 42));
  EXPECT_EQ(caption, "&Help");
  EXPECT_EQ(help.left, 12);
  EXPECT_EQ(help.top, first.top);
  EXPECT_EQ(help.right - help.left, first.right - first.left);
  EXPECT_EQ(help.bottom - help.top, first.bottom - first.top);
  EXPECT_EQ(helped, std::vector<int>{42});
  EXPECT_TRUE(openAfterClick);
}

TEST_F(FileUtilBrowser, WithoutAHelpContextThereIsNoHelpButton) {
  HWND helpButton = reinterpret_cast<HWND>(1);
  WithBrowser([&](HWND dialog) {
    helpButton = ::GetDlgItem(dialog, TBrowseFolderDlg::kHelpButtonId);
    Press(dialog, IDCANCEL);
  });
  std::string folder;
  ChooseFolder(folder, kTitle, 0);
  EXPECT_EQ(helpButton, nullptr);
}

// ----------------------------------------------------- BrowseForDestination

class FileUtilDestination : public FileUtilBrowser {
 protected:
  void SetUp() override {
    FileUtilBrowser::SetUp();
    editDir_ = new TEdit(app.get());
    editDir_->SetText("C:\\Program Files\\QuolvexAntivirus");
  }
  // Chooses path in the browser opened by the Browse button.
  std::string BrowseTo(const std::string& path) {
    WithBrowser([path](HWND dialog) {
      Select(dialog, path);
      Press(dialog, IDOK);
    });
    BrowseForDestination(*editDir_);
    return editDir_->Text();
  }

  TEdit* editDir_ = nullptr;
};

TEST_F(FileUtilDestination, AFolderGetsTheProductFolderBelowIt) {
  MakeDirectory(scratch_ / "Apps");
  EXPECT_EQ(BrowseTo(scratch_ / "Apps"), scratch_ / "Apps\\QuolvexAntivirus");
}

TEST_F(FileUtilDestination, ADriveRootGetsTheProductFolderWithOneBackslash) {
  EXPECT_EQ(BrowseTo("C:\\"), "C:\\QuolvexAntivirus");
}

TEST_F(FileUtilDestination, CancelLeavesATypedDestination) {
  editDir_->SetText("D:\\typed");
  WithBrowser([&](HWND dialog) {
    Select(dialog, scratch_.path());
    Press(dialog, IDCANCEL);
  });
  BrowseForDestination(*editDir_);
  EXPECT_EQ(editDir_->Text(), "D:\\typed");
}

TEST_F(FileUtilDestination, AnItemWithoutAPathLeavesTheDestination) {
  editDir_->SetText("D:\\typed");
  WithBrowser([&](HWND dialog) {
    SelectMyComputer(dialog);
    // As if the shell had let OK through for it.
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
  });
  BrowseForDestination(*editDir_);
  EXPECT_EQ(editDir_->Text(), "D:\\typed");
}

}  // namespace
}  // namespace qv::test
