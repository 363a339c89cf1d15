#include "Uninstaller.h"

#include <sddl.h>

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "../common/Handles.h"
#include "core/InstallRecord.h"
#include "core/PathUtil.h"
#include "core/Sha256.h"

namespace qv::payload {

namespace {

// Far above any record an installation writes; a larger file is not one.
constexpr LONGLONG kMaxRecordBytes = 16 * 1024 * 1024;
// What the control manager allows a service for its way down.
constexpr ULONGLONG kServiceStopTimeoutMs = 30000;
constexpr DWORD kServicePollMs = 100;
// How long a deleted service may stay known, unmarked, before it counts as
// staying; and how long the manager may disown a service whose key is
// still there (it deletes the key as it lets the service go) before the
// key is removed by hand.
constexpr ULONGLONG kServiceGoneTimeoutMs = 5000;
// The original ends right after starting the copy; this only bounds a wait
// for a process id that, against all odds, went to another program.
constexpr DWORD kOriginalExitTimeoutMs = 60000;
// The system lets go of an ended program's image a moment after the
// process object is signalled.
constexpr int kImageReleaseTries = 50;
constexpr DWORD kImageReleasePollMs = 100;
// How long a deleted program may take to leave its folder before the
// folder is left to the next restart.
constexpr int kDeletedFileTries = 10;

constexpr wchar_t kProductEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus";
constexpr wchar_t kMachineRoot[] = L"HKEY_LOCAL_MACHINE\\";
constexpr wchar_t kCleanupFolderPrefix[] = L"QuolvexUninstall-";
// Full control for SYSTEM and Administrators, nothing inherited: nobody
// else may put a DLL beside the copy that runs elevated.
constexpr wchar_t kCleanupFolderRights[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
// Where Setup put the program menu (install/InstallEngine.cpp).
constexpr wchar_t kShellFoldersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kCommonProgramsValue[] = L"Common Programs";
constexpr wchar_t kProgramMenuName[] = L"\\Quolvex";

// Registry keys are opened without a view flag, as Setup opens them
// (win32/Registry.cpp). uninstall.exe is built for the architecture of the
// Setup.exe that carries it, so on a 64-bit Windows the shipped 32-bit pair
// both work in the 32-bit view, where Setup's keys are; KEY_WOW64_64KEY
// would look where Setup never wrote.

bool Widen(const std::string& text, std::wstring& wide) {
  wide.clear();
  if (text.empty())
    return true;
  const int size = static_cast<int>(text.size());
  const int length =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0)
    return false;
  wide.resize(static_cast<size_t>(length));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                               length) == length;
}

bool Narrow(const std::wstring& wide, std::string& text) {
  text.clear();
  if (wide.empty())
    return true;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size,
                                           nullptr, 0, nullptr, nullptr);
  if (length <= 0)
    return false;
  text.resize(static_cast<size_t>(length));
  return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, text.data(),
                               length, nullptr, nullptr) == length;
}

// A text value as stored, environment variables unexpanded; false when it
// is not there or not text.
bool ReadMachineText(const std::wstring& key, const wchar_t* name, std::wstring& text) {
  constexpr DWORD kText = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, kText, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  text.assign(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, kText, nullptr, text.data(), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  text.resize(std::wcslen(text.c_str()));
  return true;
}

// The program menu as Setup found it, in the record's UTF-8; empty when
// there is none, and then no shortcut is the product's.
std::string ProgramMenuFolder() {
  std::wstring programs;
  std::string folder;
  if (!ReadMachineText(kShellFoldersKey, kCommonProgramsValue, programs) || programs.empty() ||
      !Narrow(programs + kProgramMenuName, folder)) {
    return {};
  }
  return folder;
}

// A directory recorded as "C:\Dir\" names the same directory as "C:\Dir";
// paths are compared and joined in the second form. A drive root keeps its
// separator.
std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
    path.pop_back();
  return path;
}

std::wstring MachineKey(const std::wstring& key) {
  const size_t start = key.find_first_not_of(L'\\');
  return start == std::wstring::npos ? std::wstring() : key.substr(start);
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
  return std::any_of(paths.begin(), paths.end(),
                     [&path](const std::wstring& entry) { return SamePath(entry, path); });
}

// Deepest first, so that a directory or key is looked at after what is in
// it; the record lists parents first, and a stable order keeps it otherwise.
std::vector<std::wstring> DeepestFirst(std::vector<std::wstring> paths) {
  const auto depth = [](const std::wstring& path) {
    return std::count(path.begin(), path.end(), L'\\');
  };
  std::stable_sort(
      paths.begin(), paths.end(),
      [&depth](const std::wstring& a, const std::wstring& b) { return depth(a) > depth(b); });
  return paths;
}

bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD ReadWholeFile(const std::wstring& path, std::string& bytes, bool& tooLarge) {
  tooLarge = false;
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file)
    return ::GetLastError();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size))
    return ::GetLastError();
  if (size.QuadPart > kMaxRecordBytes) {
    tooLarge = true;
    return ERROR_SUCCESS;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read,
                    nullptr)) {
      return ::GetLastError();
    }
    if (read == 0)
      break;
    done += read;
  }
  bytes.resize(done);
  return ERROR_SUCCESS;
}

// Only a full path names the same file wherever the uninstaller runs; a
// relative one would be looked for in the system directory, our current
// one.
bool IsFullPath(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
                     ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  return drive || path.rfind(L"\\\\", 0) == 0;
}

bool WidenPath(const std::string& text, std::wstring& path) {
  if (!Widen(text, path) || !IsFullPath(path))
    return false;
  path = WithoutTrailingSeparator(std::move(path));
  return true;
}

// An empty key would name HKEY_LOCAL_MACHINE itself.
bool WidenKey(const std::string& text, std::wstring& key) {
  if (!Widen(text, key))
    return false;
  key = MachineKey(key);
  return !key.empty();
}

// A record that passed its checksum but names something no installation
// writes is refused as damaged, like any other.
bool WidenRecord(const TInstallRecord& record, Installation& out) {
  using Convert = bool (*)(const std::string&, std::wstring&);
  const auto all = [](const std::vector<std::string>& from, std::vector<std::wstring>& to,
                      Convert convert) {
    for (const std::string& item : from) {
      if (!convert(item, to.emplace_back()))
        return false;
    }
    return true;
  };
  if (!WidenPath(record.destination, out.destination) ||
      !all(record.directories, out.directories, &WidenPath) ||
      !all(record.shortcuts, out.shortcuts, &WidenPath) || !all(record.keys, out.keys, &WidenKey) ||
      !all(record.services, out.services, &Widen)) {
    return false;
  }
  for (const TInstallRecord::File& file : record.files) {
    Installation::File& wide = out.files.emplace_back();
    wide.sha256 = file.sha256;
    if (!WidenPath(file.path, wide.path))
      return false;
  }
  for (const TInstallRecord::Value& value : record.values) {
    Installation::Value& wide = out.values.emplace_back();
    if (!WidenKey(value.key, wide.key) || !Widen(value.name, wide.name))
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Files and directories

enum class Fate { kRemoved, kAbsent, kAsRecorded, kChanged, kLink, kFailed };

struct Outcome {
  Fate fate;
  DWORD error = ERROR_SUCCESS;
};

DWORD HashOf(HANDLE file, std::string& hex) {
  Sha256 hash;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return ::GetLastError();
    if (read == 0)
      break;
    hash.Update(buffer.data(), read);
  }
  hex = Sha256::Hex(hash.Final());
  return ERROR_SUCCESS;
}

// Looks at the file itself, never at what a link at its name points to, and
// deletes through the very handle it hashed, so that what is deleted is what
// was found unchanged. expectedHash null: any content (shortcuts, the
// record). remove false: only tells whether the file is as recorded.
Outcome RemoveFile(const std::wstring& path, const std::string* expectedHash, bool remove) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return IsAbsent(error) ? Outcome{Fate::kAbsent} : Outcome{Fate::kFailed, error};
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return {Fate::kLink};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return {Fate::kChanged};

  // Sharing reading only: nobody may write between the hash and the delete.
  UniqueFileHandle file(::CreateFileW(
      path.c_str(), GENERIC_READ | (remove ? DELETE : 0), FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    return IsAbsent(error) ? Outcome{Fate::kAbsent} : Outcome{Fate::kFailed, error};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info))
    return {Fate::kFailed, ::GetLastError()};
  // A link put there since the attributes were read.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return {Fate::kLink};
  if (expectedHash != nullptr) {
    std::string hash;
    if (const DWORD error = HashOf(file.get(), hash); error != ERROR_SUCCESS)
      return {Fate::kFailed, error};
    if (hash != *expectedHash)
      return {Fate::kChanged};
  }
  if (!remove)
    return {Fate::kAsRecorded};
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    return {Fate::kFailed, ::GetLastError()};
  }
  return {Fate::kRemoved};
}

// A recorded directory that is a link now was put there by someone else;
// removing anything below it would remove it wherever the link leads.
bool BehindLink(const Installation& installation, const std::wstring& path) {
  for (const std::wstring& directory : installation.directories) {
    if (path.size() <= directory.size() + 1 || path[directory.size()] != L'\\' ||
        !SamePath(std::wstring_view(path).substr(0, directory.size()), directory)) {
      continue;
    }
    const DWORD attributes = ::GetFileAttributesW(directory.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return true;
    }
  }
  return false;
}

// Whether everything in the directory is on the list of what goes later.
bool HoldsOnly(const std::wstring& directory, const std::vector<std::wstring>& pending) {
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileExW((directory + L"\\*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0));
  if (!find)
    return false;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (!Contains(pending, directory + L"\\" + entry.cFileName))
      return false;
  } while (::FindNextFileW(find.get(), &entry));
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

// Removes the recorded directories that are empty, deepest first. One that
// holds nothing but pending entries joins them: the original leaves it to
// the clean-up, and the clean-up (report null, nothing is told) to the next
// restart. One that holds more is kept.
void RemoveDirectories(const Installation& installation, std::vector<std::wstring>& pending,
                       Removal* report) {
  for (const std::wstring& directory : DeepestFirst(installation.directories)) {
    const auto keep = [&](KeptReason reason) {
      if (report != nullptr)
        report->kept.push_back({directory, reason});
    };
    const auto tell = [&](Gone how) {
      if (report != nullptr)
        report->removed.push_back({directory, how});
    };
    if (BehindLink(installation, directory)) {
      keep(KeptReason::kBehindLink);
      continue;
    }
    const DWORD attributes = ::GetFileAttributesW(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      if (!IsAbsent(error)) {
        if (report != nullptr)
          report->failures.push_back({directory, error});
      } else {
        tell(Gone::kAbsent);
      }
      continue;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      keep(KeptReason::kLink);
      continue;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      keep(KeptReason::kChanged);
      continue;
    }
    if (::RemoveDirectoryW(directory.c_str())) {
      tell(Gone::kRemoved);
      continue;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_DIR_NOT_EMPTY) {
      if (report != nullptr)
        report->failures.push_back({directory, error});
    } else if (HoldsOnly(directory, pending) &&
               (report != nullptr ||
                ::MoveFileExW(directory.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))) {
      pending.push_back(directory);
      tell(Gone::kAtCleanup);
    } else {
      keep(KeptReason::kNotEmpty);
    }
  }
}

// ---------------------------------------------------------------------------
// Configuration

// ERROR_FILE_NOT_FOUND: the value or its key was not there.
DWORD DeleteValue(const Installation::Value& value) {
  HKEY opened = nullptr;
  LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, KEY_SET_VALUE, &opened);
  if (result == ERROR_SUCCESS) {
    UniqueRegistryKey key(opened);
    result = ::RegDeleteValueW(key.get(), value.name.c_str());
  }
  return static_cast<DWORD>(result);
}

enum class KeyFate { kGone, kAbsent, kNotEmpty, kFailed };

KeyFate RemoveKeyIfEmpty(const std::wstring& path, DWORD& error) {
  error = ERROR_SUCCESS;
  {
    HKEY opened = nullptr;
    LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (result == ERROR_FILE_NOT_FOUND)
      return KeyFate::kAbsent;
    if (result != ERROR_SUCCESS) {
      error = static_cast<DWORD>(result);
      return KeyFate::kFailed;
    }
    UniqueRegistryKey key(opened);
    DWORD subKeys = 0;
    DWORD values = 0;
    result = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                &values, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
      error = static_cast<DWORD>(result);
      return KeyFate::kFailed;
    }
    if (subKeys != 0 || values != 0)
      return KeyFate::kNotEmpty;
  }
  const LONG result = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
    return KeyFate::kGone;
  error = static_cast<DWORD>(result);
  return KeyFate::kFailed;
}

// ---------------------------------------------------------------------------
// Services

DWORD StopService(SC_HANDLE service) {
  const ULONGLONG deadline = ::GetTickCount64() + kServiceStopTimeoutMs;
  DWORD processId = 0;
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed)) {
      return ::GetLastError();
    }
    if (status.dwProcessId != 0)
      processId = status.dwProcessId;
    if (status.dwCurrentState == SERVICE_STOPPED)
      break;
    if (status.dwCurrentState != SERVICE_STOP_PENDING) {
      SERVICE_STATUS ignored{};
      if (!::ControlService(service, SERVICE_CONTROL_STOP, &ignored)) {
        const DWORD error = ::GetLastError();
        // Stopped since the query, or still starting and not yet taking a
        // stop: the next round sees which.
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
          return error;
      }
    }
    if (::GetTickCount64() >= deadline)
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    ::Sleep(kServicePollMs);
  }
  // The program file stays in use until the process has ended, which it
  // does just after reporting the service stopped.
  if (processId != 0) {
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    const ULONGLONG now = ::GetTickCount64();
    if (process && now < deadline)
      ::WaitForSingleObject(process.get(), static_cast<DWORD>(deadline - now));
  }
  return ERROR_SUCCESS;
}

bool IsInside(const std::wstring& path, const std::wstring& folder) {
  // A drive root ends with its separator already.
  const size_t length = folder.back() == L'\\' ? folder.size() : folder.size() + 1;
  return path.size() > length && path[length - 1] == L'\\' &&
         SamePath(std::wstring_view(path).substr(0, folder.size()), folder);
}

bool IsExistingFile(const std::string& utf8) {
  std::wstring path;
  if (!Widen(utf8, path))
    return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether the control manager, given this image path, starts a program of
// the installation: found as the manager finds it, with "..", "/" and the
// like resolved, inside the destination. The record names the product's
// two services, but whoever registered one of those names since for a
// program of their own owns it now.
bool StartsInstallationsProgram(const std::wstring& imagePath, const std::wstring& destination) {
  std::wstring expanded(32768, L'\0');
  const DWORD length = ::ExpandEnvironmentStringsW(imagePath.c_str(), expanded.data(),
                                                   static_cast<DWORD>(expanded.size()));
  std::string text;
  if (length == 0 || length > expanded.size() || !Narrow(expanded.substr(0, length - 1), text))
    return false;
  std::wstring program;
  if (!Widen(ResolveImagePath(text, &IsExistingFile), program) || program.empty())
    return false;
  std::wstring full(32768, L'\0');
  const DWORD fullLength =
      ::GetFullPathNameW(program.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (fullLength == 0 || fullLength >= full.size())
    return false;
  full.resize(fullLength);
  return IsInside(full, destination);
}

DWORD ImagePathOf(SC_HANDLE service, std::wstring& imagePath) {
  DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0)
    return ::GetLastError();
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service, config, needed, &needed))
    return ::GetLastError();
  imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
  return ERROR_SUCCESS;
}

// True unless the registry says for certain that the key is gone.
bool ServiceKeyExists(const std::wstring& name) {
  HKEY opened = nullptr;
  const LONG result =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServicesKey + name).c_str(), 0, KEY_READ, &opened);
  UniqueRegistryKey key(result == ERROR_SUCCESS ? opened : nullptr);
  return result != ERROR_FILE_NOT_FOUND;
}

ServiceFailure Failed(const std::wstring& name, DWORD error) {
  return {name, false, false, error};
}

ServiceFailure KeepService(const std::wstring& name, Removal& report) {
  report.kept.push_back({L"service " + name, KeptReason::kOtherProgram});
  return {};
}

ServiceFailure ServiceGone(const std::wstring& name, Gone how, Removal& report) {
  report.removed.push_back({L"service " + name, how});
  return {};
}

// The manager does not know the service, yet its key is there, and the
// manager would load it from there at the next start. The record names
// only the product's two services, so this is one of them.
ServiceFailure RemoveServiceKey(const std::wstring& name, const std::wstring& destination,
                                Removal& report) {
  const std::wstring key = kServicesKey + name;
  std::wstring imagePath;
  if (!ReadMachineText(key, L"ImagePath", imagePath) ||
      !StartsInstallationsProgram(imagePath, destination)) {
    return KeepService(name, report);
  }
  const LONG result = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    return Failed(name, static_cast<DWORD>(result));
  return ServiceKeyExists(name) ? ServiceFailure{name, false, true, ERROR_SERVICE_EXISTS}
                                : ServiceGone(name, Gone::kServiceRemoved, report);
}

// Stops and deletes the service, then looks again until it is marked for
// deletion or gone: a "does not exist" is believed only together with the
// registry, and each look is a connection of its own, since one connection
// may go on answering from a state the manager has left.
ServiceFailure RemoveService(const std::wstring& name, const std::wstring& destination,
                             Removal& report) {
  bool deleted = false;
  ULONGLONG deadline = 0;
  const auto waited = [&deadline] {
    const ULONGLONG now = ::GetTickCount64();
    if (deadline == 0)
      deadline = now + kServiceGoneTimeoutMs;
    if (now >= deadline)
      return true;
    ::Sleep(kServicePollMs);
    return false;
  };
  for (;;) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
      return Failed({}, ::GetLastError());
    UniqueServiceHandle service(
        ::OpenServiceW(manager.get(), name.c_str(),
                       SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE));
    if (!service) {
      const DWORD error = ::GetLastError();
      // Marked or gone before this run deleted it: someone else did.
      const Gone how = deleted ? Gone::kServiceRemoved : Gone::kAbsent;
      if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
        return ServiceGone(name, how, report);
      if (error != ERROR_SERVICE_DOES_NOT_EXIST)
        return Failed(name, error);
      if (!ServiceKeyExists(name))
        return ServiceGone(name, how, report);
      if (waited())
        return RemoveServiceKey(name, destination, report);
      continue;
    }
    if (!deleted) {
      std::wstring imagePath;
      if (const DWORD error = ImagePathOf(service.get(), imagePath); error != ERROR_SUCCESS)
        return Failed(name, error);
      if (!StartsInstallationsProgram(imagePath, destination))
        return KeepService(name, report);
      if (const DWORD error = StopService(service.get()); error != ERROR_SUCCESS)
        return {name, true, false, error};
    }
    if (!::DeleteService(service.get())) {
      const DWORD error = ::GetLastError();
      return error == ERROR_SERVICE_MARKED_FOR_DELETE
                 ? ServiceGone(name, Gone::kServiceRemoved, report)
                 : Failed(name, error);
    }
    // Deleted before, yet known and unmarked when looked at again: the
    // manager let go of the deletion.
    if (deleted && waited())
      return {name, false, true, ERROR_SERVICE_EXISTS};
    deleted = true;
  }
}

}  // namespace

namespace {

// The long form of a path, as the system spells it; the path itself when
// the system cannot tell.
std::wstring LongForm(const std::wstring& path) {
  const DWORD length = ::GetLongPathNameW(path.c_str(), nullptr, 0);
  std::wstring full(length, L'\0');
  if (length == 0 || ::GetLongPathNameW(path.c_str(), full.data(), length) >= length)
    return path;
  full.resize(length - 1);
  return full;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return SamePath(a, b) || SamePath(LongForm(a), LongForm(b));
}

}  // namespace

RecordReading ReadInstallRecord(const std::wstring& path) {
  RecordReading reading;
  std::string bytes;
  bool tooLarge = false;
  reading.error = ReadWholeFile(path, bytes, tooLarge);
  if (reading.error != ERROR_SUCCESS) {
    reading.state = RecordState::kUnreadable;
    return reading;
  }
  reading.state = RecordState::kDamaged;
  if (tooLarge)
    return reading;
  try {
    const TInstallRecord record = TInstallRecord::Parse(bytes);
    record.CheckConfined(ProgramMenuFolder());
    // Everything the record may name lies in its destination, so the
    // destination must be where the record is: one copied elsewhere, or
    // naming another folder (the system's, say), is not this installation's.
    if (WidenRecord(record, reading.installation) &&
        SameFolder(path.substr(0, path.find_last_of(L'\\')), reading.installation.destination))
      reading.state = RecordState::kRead;
  } catch (const EInstallRecordError&) {
  }
  return reading;
}

ServiceFailure RemoveServices(const Installation& installation, Removal& report) {
  for (const std::wstring& name : installation.services) {
    if (ServiceFailure failure = RemoveService(name, installation.destination, report);
        failure.error != ERROR_SUCCESS) {
      return failure;
    }
  }
  return {};
}

Removal RemoveInstallation(const Installation& installation, const std::wstring& program,
                           const std::wstring& record) {
  Removal removal;
  const auto account = [&removal](const std::wstring& path, const Outcome& outcome) {
    switch (outcome.fate) {
      case Fate::kChanged:
        removal.kept.push_back({path, KeptReason::kChanged});
        break;
      case Fate::kLink:
        removal.kept.push_back({path, KeptReason::kLink});
        break;
      case Fate::kFailed:
        removal.failures.push_back({path, outcome.error});
        break;
      case Fate::kRemoved:
        removal.removed.push_back({path, Gone::kRemoved});
        break;
      case Fate::kAbsent:
        removal.removed.push_back({path, Gone::kAbsent});
        break;
      case Fate::kAsRecorded:  // the program, which the clean-up deletes
        break;
    }
  };

  for (const std::wstring& shortcut : installation.shortcuts) {
    if (BehindLink(installation, shortcut))
      removal.kept.push_back({shortcut, KeptReason::kBehindLink});
    else
      account(shortcut, RemoveFile(shortcut, nullptr, true));
  }

  for (const Installation::Value& value : installation.values) {
    std::wstring what = kMachineRoot + value.key + L", value \"" + value.name + L"\"";
    const DWORD error = DeleteValue(value);
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND)
      removal.removed.push_back(
          {std::move(what), error == ERROR_SUCCESS ? Gone::kRemoved : Gone::kAbsent});
    else
      removal.failures.push_back({std::move(what), error});
  }
  for (const std::wstring& key : DeepestFirst(installation.keys)) {
    DWORD error = ERROR_SUCCESS;
    switch (RemoveKeyIfEmpty(key, error)) {
      case KeyFate::kGone:
        removal.removed.push_back({kMachineRoot + key, Gone::kRemoved});
        break;
      case KeyFate::kAbsent:
        removal.removed.push_back({kMachineRoot + key, Gone::kAbsent});
        break;
      case KeyFate::kNotEmpty:
        removal.kept.push_back({kMachineRoot + key, KeptReason::kNotEmpty});
        break;
      case KeyFate::kFailed:
        removal.failures.push_back({kMachineRoot + key, error});
        break;
    }
  }

  bool programRecorded = false;
  for (const Installation::File& file : installation.files) {
    if (SamePath(file.path, record))
      continue;
    const bool isProgram = SamePath(file.path, program);
    programRecorded = programRecorded || isProgram;
    if (BehindLink(installation, file.path)) {
      removal.kept.push_back({file.path, KeptReason::kBehindLink});
      continue;
    }
    const Outcome outcome = RemoveFile(file.path, &file.sha256, !isProgram);
    if (isProgram)
      removal.programGoes = outcome.fate == Fate::kAsRecorded;
    account(file.path, outcome);
  }
  if (!programRecorded)
    removal.kept.push_back({program, KeptReason::kNotRecorded});

  std::vector<std::wstring> pending{record};
  if (removal.programGoes)
    pending.push_back(program);
  RemoveDirectories(installation, pending, &removal);

  if (removal.failures.empty()) {
    std::wstring what = kMachineRoot + std::wstring(kProductEntry);
    const LONG result = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductEntry);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
      removal.removed.push_back(
          {std::move(what), result == ERROR_SUCCESS ? Gone::kRemoved : Gone::kAbsent});
    else
      removal.failures.push_back({std::move(what), static_cast<DWORD>(result)});
  }
  return removal;
}

DWORD PrepareCleanup(const std::wstring& program, CleanupCopy& copy) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0)
    return ::GetLastError();
  if (length > MAX_PATH)
    return ERROR_BUFFER_OVERFLOW;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kCleanupFolderRights, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
    return ::GetLastError();
  UniqueLocalMemory<PSECURITY_DESCRIPTOR> rights(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const std::wstring base = std::wstring(temp, length) + kCleanupFolderPrefix +
                            std::to_wstring(::GetCurrentProcessId()) + L"-";
  const DWORD start = ::GetTickCount();
  // Only a folder made here and now: one that exists already may hold
  // whatever its maker put there, and carries their rights.
  for (DWORD attempt = 0;; ++attempt) {
    copy.folder = base + std::to_wstring(start + attempt);
    if (::CreateDirectoryW(copy.folder.c_str(), &attributes))
      break;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS || attempt == 1000)
      return error;
  }
  copy.program = copy.folder + L"\\uninstall.exe";
  if (!::CopyFileW(program.c_str(), copy.program.c_str(), TRUE)) {
    const DWORD error = ::GetLastError();
    DiscardCleanup(copy);
    return error;
  }
  return ERROR_SUCCESS;
}

DWORD StartCleanup(const CleanupCopy& copy, const std::wstring& program,
                   const std::wstring& record) {
  std::wstring commandLine = L"\"" + copy.program + L"\" /cleanup " +
                             std::to_wstring(::GetCurrentProcessId()) + L" \"" + record + L"\" \"" +
                             program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Started in its own folder, so that it holds no directory of the
  // installation open as its current one.
  if (!::CreateProcessW(copy.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, copy.folder.c_str(), &startup, &info)) {
    return ::GetLastError();
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  return ERROR_SUCCESS;
}

void DiscardCleanup(const CleanupCopy& copy) noexcept {
  if (!copy.program.empty())
    ::DeleteFileW(copy.program.c_str());
  if (!copy.folder.empty())
    ::RemoveDirectoryW(copy.folder.c_str());
}

void CleanUpAfter(DWORD processId, const std::wstring& record, const std::wstring& program,
                  const std::wstring& self) {
  // A process that has ended already cannot be opened: nothing to wait for.
  if (UniqueKernelHandle original(::OpenProcess(SYNCHRONIZE, FALSE, processId)); original)
    ::WaitForSingleObject(original.get(), kOriginalExitTimeoutMs);

  const RecordReading reading = ReadInstallRecord(record);
  if (reading.state == RecordState::kRead) {
    const Installation& installation = reading.installation;
    const auto entry = std::find_if(
        installation.files.begin(), installation.files.end(),
        [&program](const Installation::File& file) { return SamePath(file.path, program); });
    Outcome outcome{Fate::kChanged};
    if (entry != installation.files.end() && !BehindLink(installation, program)) {
      for (int i = 0; i < kImageReleaseTries; ++i) {
        outcome = RemoveFile(program, &entry->sha256, true);
        if (outcome.fate != Fate::kFailed)
          break;
        ::Sleep(kImageReleasePollMs);
      }
    }
    // A program that could not be deleted keeps its record, so that it can
    // be run again; one kept on purpose was named as kept already.
    if (outcome.fate != Fate::kFailed) {
      RemoveFile(record, nullptr, true);
      // A deleted file stays in its folder for as long as anyone holds it
      // open: a virus scanner looking at it, or, where the system passes
      // the original's image on to the processes it started (as the tests'
      // platform does), this very process. A folder that holds nothing
      // else goes at the next restart.
      std::vector<std::wstring> pending;
      if (outcome.fate == Fate::kRemoved) {
        pending.push_back(program);
        for (int i = 0; i < kDeletedFileTries; ++i) {
          if (::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
          ::Sleep(kImageReleasePollMs);
        }
      }
      RemoveDirectories(installation, pending, nullptr);
    }
  }

  // Run by hand from anywhere but the folder PrepareCleanup made, the
  // program must leave itself and its folder alone.
  const size_t separator = self.find_last_of(L'\\');
  if (separator == std::wstring::npos || SamePath(self, program))
    return;
  const std::wstring folder = self.substr(0, separator);
  const size_t nameAt = folder.find_last_of(L'\\') + 1;
  if (folder.compare(nameAt, std::wcslen(kCleanupFolderPrefix), kCleanupFolderPrefix) != 0)
    return;
  ::MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // Deleted after the file, in the order the two were marked.
  ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace qv::payload
