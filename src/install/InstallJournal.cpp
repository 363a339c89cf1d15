#include "install/InstallJournal.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/PathDelimiters.h"
#include "formstream/FileLayer.h"
#include "install/RemoveTree.h"
#include "win32/FileSystem.h"
#include "win32/Security.h"
#include "win32/WindowsFileLayer.h"

namespace qv {

namespace {

constexpr char kFolderPrefix[] = "QuolvexSetup-";
constexpr char kJournalName[] = "journal.txt";
constexpr char kHeader[] = "Quolvex Setup journal 1";

EFCreateError CannotCreate(const std::string& path, DWORD error) {
  return CannotCreateError(WindowsFileLayer(), path, error);
}

// Where journals are kept, with its trailing delimiter; empty when unknown.
std::string JournalParent(const std::string& parent) {
  if (!parent.empty())
    return AddTrailingDelimiter(parent);
  char temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(MAX_PATH, temp);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(temp, length);
}

// A name nobody can guess ahead, so that nobody can prepare it.
std::string UnpredictableName() {
  GUID guid{};
  if (FAILED(::CoCreateGuid(&guid)))
    throw EFCreateError("Cannot create a unique name");
  return Format("%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", guid.Data1, guid.Data2, guid.Data3,
                guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
             FALSE &&
         written == text.size();
}

std::string Line(const TInstallJournal::Entry& entry) {
  std::string line(1, entry.kind);
  for (const std::string* field : {&entry.first, &entry.second, &entry.third})
    line += '\t' + *field;
  return line + '\n';
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    parts.push_back(line.substr(start, end - start));
    if (end == std::string::npos)
      return parts;
    start = end + 1;
  }
}

std::string Hex(const std::vector<BYTE>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const BYTE b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

bool FromHex(const std::string& text, std::vector<BYTE>& bytes) {
  if (text.size() % 2 != 0)
    return false;
  const auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0)
      return false;
    bytes.push_back(static_cast<BYTE>(high * 16 + low));
  }
  return true;
}

// The file's data reaches the disk before anything relies on it.
bool FlushFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.get()) != FALSE;
}

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The original's bytes back into the file itself, which keeps its own
// rights; copied, not moved, so that a roll-back cut short here can start
// again. The file is opened without following a link, and one found there
// (planted after the copy was made) is refused rather than written through.
bool Restore(const std::string& copy, const std::string& path) {
  if (IsLink(path))
    return false;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  UniqueFile source(::CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  UniqueFile target(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!source || !target || ::GetFileInformationByHandle(target.get(), &info) == FALSE ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      ::SetEndOfFile(target.get()) == FALSE) {
    return false;
  }
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(source.get(), buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0) {
    DWORD put = 0;
    if (::WriteFile(target.get(), buffer, got, &put, nullptr) == FALSE || put != got)
      return false;
  }
  return got == 0 && ::FlushFileBuffers(target.get()) != FALSE;
}

bool Gone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool DeleteService(const std::string& name) {
  UniqueService manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager)
    return false;
  UniqueService service(
      ::OpenServiceA(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service)
    return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  // Its program is about to be removed: a running service would keep it.
  SERVICE_STATUS status{};
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE) {
    for (int i = 0; i < 100 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
      ::Sleep(50);
      if (::QueryServiceStatus(service.get(), &status) == FALSE)
        break;
    }
  }
  return ::DeleteService(service.get()) != FALSE ||
         ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool DeleteKeyIfEmpty(const std::string& key) {
  HKEY raw = nullptr;
  const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &raw);
  if (opened != ERROR_SUCCESS)
    return Gone(static_cast<DWORD>(opened));
  UniqueRegistryKey handle(raw);
  DWORD subKeys = 0;
  DWORD values = 0;
  if (::RegQueryInfoKeyA(handle.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  handle.reset();
  // What someone else put into it meanwhile keeps it.
  if (subKeys != 0 || values != 0)
    return true;
  const LONG deleted = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  return deleted == ERROR_SUCCESS || Gone(static_cast<DWORD>(deleted));
}

// A value as it is stored: its type, then its bytes.
bool ReadRawValue(const std::string& key, const std::string& name, DWORD& type,
                  std::vector<BYTE>& data) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return false;
  UniqueRegistryKey handle(raw);
  DWORD size = 0;
  if (::RegQueryValueExA(handle.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  if (::RegQueryValueExA(handle.get(), name.c_str(), nullptr, &type, data.data(), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  return true;
}

bool RegistryChange(const std::string& key, const auto& change) {
  HKEY raw = nullptr;
  const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &raw);
  if (opened != ERROR_SUCCESS)
    return Gone(static_cast<DWORD>(opened));
  UniqueRegistryKey handle(raw);
  return change(handle.get());
}

}  // namespace

bool TInstallJournal::Knows(const std::string& path) const {
  return std::any_of(entries_.begin(), entries_.end(), [&path](const Entry& e) {
    return (e.kind == kFile || e.kind == kReplaced) && SameText(e.first, path);
  });
}

void TInstallJournal::Open() {
  const std::string temp = JournalParent(parent_);
  if (temp.empty())
    throw CannotCreate(kFolderPrefix, ::GetLastError());
  const std::string folder = temp + kFolderPrefix + UnpredictableName();
  // The copies are the user's originals: nobody else reads or changes them.
  if (!CreateProtectedDirectory(folder, TProtection::kAdministratorsOnly))
    throw CannotCreate(folder, ::GetLastError());
  const std::string path = folder + "\\" + kJournalName;
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !WriteAll(file.get(), std::string(kHeader) + "\n")) {
    const DWORD error = ::GetLastError();
    file.reset();
    RemoveTree(folder, true);
    throw CannotCreate(path, error);
  }
  folder_ = folder;
  file_ = std::move(file);
}

// On disk first: a change whose entry could not be kept is not made.
void TInstallJournal::Record(Entry entry) {
  if (!file_)
    Open();
  if (!WriteAll(file_.get(), Line(entry)) || ::FlushFileBuffers(file_.get()) == FALSE)
    throw CannotCreate(folder_ + "\\" + kJournalName, ::GetLastError());
  entries_.push_back(std::move(entry));
}

void TInstallJournal::DestinationCreated(const std::string& directory) {
  if (!committed_)
    Record({kDestination, FullPath(directory), {}, {}});
}

void TInstallJournal::DirectoryCreated(const std::string& directory) {
  if (!committed_)
    Record({kDirectory, FullPath(directory), {}, {}});
}

void TInstallJournal::FileCreated(const std::string& typed) {
  const std::string path = FullPath(typed);
  if (!committed_ && !Knows(path))
    Record({kFile, path, {}, {}});
}

void TInstallJournal::BeforeWrite(const std::string& typed) {
  const std::string path = FullPath(typed);
  if (committed_ || Knows(path))
    return;
  // A link is neither copied nor written through: whoever planted it would
  // choose what the installer reads and, on a roll-back, writes.
  if (IsLink(path))
    throw CannotCreate(path, kLinkRefused);
  if (!FileExists(path)) {
    Record({kFile, path, {}, {}});
    return;
  }
  // Kept whole, on disk, before anything touches the original; a copy that
  // cannot be made stops the write, so nothing of the user's is ever lost.
  if (!file_)
    Open();
  const std::string name =
      std::to_string(++copies_) + "-" + path.substr(path.find_last_of("\\/:") + 1);
  const std::string copy = folder_ + "\\" + name;
  if (::CopyFileA(path.c_str(), copy.c_str(), TRUE) == FALSE || !FlushFile(copy))
    throw CannotCreate(copy, ::GetLastError());
  Record({kReplaced, path, name, {}});
}

void TInstallJournal::BeforeSave(const std::string& path) {
  BeforeWrite(path);
  // The payload goes to this file first; one left by a run that died here
  // is removed with the rest. One that is there already is not ours.
  const std::string temporary = TemporaryFileName(FullPath(path));
  if (!FileExists(temporary))
    FileCreated(temporary);
}

void TInstallJournal::KeyCreated(const std::string& key) {
  if (!committed_)
    Record({kKey, key, {}, {}});
}

void TInstallJournal::ValueCreated(const std::string& key, const std::string& name) {
  if (!committed_)
    Record({kValue, key, name, {}});
}

void TInstallJournal::ValueChanged(const std::string& key, const std::string& name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (committed_ || !ReadRawValue(key, name, type, data))
    return;
  Record({kPrevious, key, name, std::to_string(type) + ":" + Hex(data)});
}

void TInstallJournal::ServiceRegistered(const std::string& name) {
  if (!committed_)
    Record({kService, name, {}, {}});
}

bool TInstallJournal::Undo(const Entry& entry) const {
  switch (entry.kind) {
    case kService:
      return DeleteService(entry.first);
    case kKey:
      return DeleteKeyIfEmpty(entry.first);
    case kValue:
      return RegistryChange(entry.first, [&](HKEY key) {
        const LONG result = ::RegDeleteValueA(key, entry.second.c_str());
        return result == ERROR_SUCCESS || Gone(static_cast<DWORD>(result));
      });
    case kPrevious: {
      const std::vector<std::string> parts = Split(entry.third, ':');
      std::vector<BYTE> data;
      if (parts.size() != 2 || !FromHex(parts[1], data))
        return false;
      const DWORD type = static_cast<DWORD>(std::strtoul(parts[0].c_str(), nullptr, 10));
      return RegistryChange(entry.first, [&](HKEY key) {
        return ::RegSetValueExA(key, entry.second.c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
      });
    }
    case kFile:
      if (!FileExists(entry.first))
        return true;
      ::SetFileAttributesA(entry.first.c_str(), FILE_ATTRIBUTE_ARCHIVE);
      return ::DeleteFileA(entry.first.c_str()) != FALSE;
    case kReplaced:
      return Restore(folder_ + "\\" + entry.second, entry.first);
    case kDirectory:
    case kDestination:
      // Whatever someone else put into it meanwhile is not the
      // installation's to delete, and stays with its directory.
      return ::RemoveDirectoryA(entry.first.c_str()) != FALSE ||
             ::GetLastError() == ERROR_DIR_NOT_EMPTY || !IsExistingDirectory(entry.first);
    default:
      return false;
  }
}

bool TInstallJournal::RollBack() {
  // Services and registry first (the services' programs are among the
  // files), then files, restored originals, and the directories last, each
  // group newest first.
  static constexpr const char* kOrder[] = {"s", "pvk", "f", "r", "dD"};
  std::vector<Entry> left;
  for (const char* kinds : kOrder) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (std::string_view(kinds).find(it->kind) == std::string_view::npos)
        continue;
      if (!Undo(*it))
        left.insert(left.begin(), *it);
    }
  }
  entries_ = std::move(left);
  rolledBack_ = true;
  if (entries_.empty())
    Remove();
  else
    Rewrite();
  return entries_.empty();
}

void TInstallJournal::Commit() {
  committed_ = true;
  // A roll-back left originals unrestored: their copies are never dropped.
  if (!KeptCopiesFolder().empty())
    return;
  // Removing the journal is what commits; the mark speaks only for a
  // journal that then cannot be removed. A mark that cannot be written
  // (a full disk) does not keep the finished installation from its end.
  if (file_) {
    try {
      Record({kCommitted, {}, {}, {}});
    } catch (const Exception&) {
    }
  }
  entries_.clear();
  Remove();
}

std::string TInstallJournal::KeptCopiesFolder() const {
  // Before a roll-back every copy is still needed for one, none is kept.
  const bool kept = rolledBack_ && std::any_of(entries_.begin(), entries_.end(),
                                               [](const Entry& e) { return e.kind == kReplaced; });
  return kept ? folder_ : std::string();
}

// The journal goes first: without it, whatever is left in the folder is
// only copies, never something a later start would act on.
void TInstallJournal::Remove() {
  if (folder_.empty())
    return;
  file_.reset();
  const std::string journal = folder_ + "\\" + kJournalName;
  if (::DeleteFileA(journal.c_str()) != FALSE || !FileExists(journal))
    RemoveTree(folder_, true);
  folder_.clear();
}

// What is left to undo replaces the journal in one step, so that a crash
// leaves either the old list or the new one.
void TInstallJournal::Rewrite() {
  if (folder_.empty())
    return;
  std::string text = std::string(kHeader) + "\n";
  for (const Entry& entry : entries_)
    text += Line(entry);
  const std::string journal = folder_ + "\\" + kJournalName;
  const std::string fresh = journal + ".new";
  file_.reset();
  {
    UniqueFile file(::CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), text) || ::FlushFileBuffers(file.get()) == FALSE)
      return;  // the old journal, a superset, stays
  }
  ::MoveFileExA(fresh.c_str(), journal.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  file_.reset(::CreateFileA(journal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool TInstallJournal::Load(const std::string& folder) {
  const std::string journal = folder + "\\" + kJournalName;
  UniqueFile file(::CreateFileA(journal.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return false;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0)
    text.append(buffer, got);
  std::vector<std::string> lines = Split(text, '\n');
  // The last line is cut short when the power failed while it was written:
  // the change it announced was never begun.
  lines.pop_back();
  if (lines.empty() || lines.front() != kHeader)
    return false;
  folder_ = folder;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Split(lines[i], '\t');
    if (fields.size() != 4 || fields[0].size() != 1 ||
        std::string_view("Ddfrkvpsc").find(fields[0][0]) == std::string_view::npos) {
      return false;
    }
    if (fields[0][0] == kCommitted) {
      committed_ = true;
      continue;
    }
    entries_.push_back({fields[0][0], fields[1], fields[2], fields[3]});
  }
  return true;
}

TInstallJournal::TRecovery TInstallJournal::RecoverInterrupted(const std::string& parent) {
  TRecovery recovery;
  const std::string temp = JournalParent(parent);
  if (temp.empty())
    return recovery;
  std::vector<std::string> folders;
  std::vector<std::string> leftovers;
  {
    WIN32_FIND_DATAA entry{};
    UniqueFind find(::FindFirstFileA((temp + kFolderPrefix + "*").c_str(), &entry));
    for (bool more = static_cast<bool>(find); more;
         more = ::FindNextFileA(find.get(), &entry) != FALSE) {
      // A link is not a folder this program made.
      const DWORD attributes = entry.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        continue;
      }
      const std::string folder = temp + entry.cFileName;
      const std::string journal = folder + "\\" + kJournalName;
      if (FileExists(journal)) {
        folders.push_back(folder);
      } else if (!FileExists(journal + ".new")) {
        leftovers.push_back(folder);
      }
    }
  }
  // A roll-back or commit killed after it deleted its journal, before its
  // folder: nothing is left to undo, only the folder to remove.
  for (const std::string& folder : leftovers)
    RemoveTree(folder, true);
  for (const std::string& folder : folders) {
    recovery.found = true;
    TInstallJournal journal;
    if (!journal.Load(folder)) {
      // Unreadable: nothing is undone on a guess, and the user learns where
      // the copies are.
      recovery.complete = false;
      recovery.keptFolder = folder;
      continue;
    }
    if (journal.committed_) {
      journal.entries_.clear();
      journal.Remove();
      continue;
    }
    if (!journal.RollBack()) {
      recovery.complete = false;
      if (!journal.KeptCopiesFolder().empty())
        recovery.keptFolder = folder;
    }
  }
  return recovery;
}

}  // namespace qv
