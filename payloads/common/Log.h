#pragma once
// The log a payload program writes when an administrator asks for one
// (uninstall.exe /log=PATH): deployment tools run it with nobody at the
// screen, and the log is all they have besides the exit code. UTF-8 without
// a byte order mark, one CR LF line per event, each starting with the local
// time, so that any editor and any line-based tool reads it.
//
// Header-only, like the rest of what the payload programs share.
#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "Handles.h"
#include "core/LogLine.h"

namespace qv::payload {

namespace log_detail {

// Unpaired surrogates become U+FFFD: a line is for reading, and a name the
// system allows must not cost the line.
inline std::string Utf8(const std::wstring& text) {
  if (text.empty())
    return {};
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0)
    return {};
  std::string bytes(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

// Who may have left a file under the log's name: SYSTEM, the Administrators
// (an elevated administrator's files belong to them) or the account this
// process runs as. Anyone else's file may be a trap laid for a run as
// LocalSystem, so it is neither written nor deleted.
inline DWORD CheckOwner(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                        nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS)
    return error;
  UniqueLocalMemory<PSECURITY_DESCRIPTOR> ownedDescriptor(descriptor);
  if (owner == nullptr)
    return ERROR_ACCESS_DENIED;
  if (::IsWellKnownSid(owner, WinLocalSystemSid) ||
      ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
    return ERROR_SUCCESS;
  }
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened))
    return ::GetLastError();
  UniqueKernelHandle token(opened);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0)
    return ::GetLastError();
  std::vector<BYTE> user(size);
  if (!::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
    return ::GetLastError();
  return ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid)
             ? ERROR_SUCCESS
             : ERROR_ACCESS_DENIED;
}

// A path as the system spells it for anyone, without the "\\?\" that
// GetFinalPathNameByHandle puts in front.
inline std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
    return L"\\" + path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0)
    return path.substr(4);
  return path;
}

// Whether the handle reaches the file at the name itself. Where the system
// follows a link despite FILE_FLAG_OPEN_REPARSE_POINT and shows none at the
// name (Wine does, for a link to a file), it reaches a file elsewhere, and
// deleting through it would delete that one. A name under a linked folder
// or a substituted drive is refused as well; that costs the administrator
// a fresh name, never a file.
inline bool ReachesTheName(HANDLE file, const std::wstring& path) {
  std::wstring reached(32768, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(file, reached.data(),
                                             static_cast<DWORD>(reached.size()), VOLUME_NAME_DOS);
  if (length == 0 || length >= reached.size())
    return false;
  reached.resize(length);
  std::wstring full(32768, L'\0');
  length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size())
    return false;
  full.resize(length);
  // The reached path has each name in full, where the caller may have used
  // a short one.
  std::wstring named(32768, L'\0');
  length = ::GetLongPathNameW(full.c_str(), named.data(), static_cast<DWORD>(named.size()));
  if (length == 0 || length >= named.size())
    return false;
  named.resize(length);
  reached = WithoutLongPrefix(reached);
  named = WithoutLongPrefix(named);
  return ::CompareStringOrdinal(reached.data(), static_cast<int>(reached.size()), named.data(),
                                static_cast<int>(named.size()), TRUE) == CSTR_EQUAL;
}

// Deletes a file found under the log's name, unless it is a link, a folder
// or someone else's: those are refused with ERROR_ACCESS_DENIED.
inline DWORD DeleteExisting(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    // Gone since: the next CREATE_NEW finds out what is there now.
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    return ERROR_ACCESS_DENIED;
  // Sharing reading only: nobody may write to it while its owner is looked
  // at; and it is deleted through this very handle, so what goes is what
  // was looked at.
  UniqueFileHandle file(::CreateFileW(path.c_str(), READ_CONTROL | DELETE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file)
    return ::GetLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info))
    return ::GetLastError();
  // A link put there since the name was looked at.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      !ReachesTheName(file.get(), path)) {
    return ERROR_ACCESS_DENIED;
  }
  if (const DWORD error = CheckOwner(file.get()); error != ERROR_SUCCESS)
    return error;
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

}  // namespace log_detail

class Log {
 public:
  // Until Create succeeds, lines go nowhere: a run without a log takes the
  // same path as one with it.
  Log() = default;

  // Creates the file new, never through a link and never into a file that
  // is there already: a file left under that name by SYSTEM, the
  // Administrators or this account (an earlier run's log) is deleted first;
  // a link, a folder or anyone else's file is refused (ERROR_ACCESS_DENIED).
  // Returns the Win32 error.
  DWORD Create(const std::wstring& path) {
    DWORD error = CreateNew(path);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return error;
    error = log_detail::DeleteExisting(path);
    // Once only: a file that is back at once was put there by someone.
    return error != ERROR_SUCCESS ? error : CreateNew(path);
  }

  // A line that cannot be written is lost and nothing else: the log must
  // never change what the program does, and the exit code still tells.
  void Line(const std::wstring& text) noexcept {
    if (!file_)
      return;
    try {
      SYSTEMTIME now{};
      ::GetLocalTime(&now);
      const std::string line = LogLine(
          {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds},
          log_detail::Utf8(text));
      DWORD written = 0;
      ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
    }
  }

 private:
  DWORD CreateNew(const std::wstring& path) {
    file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file_ ? ERROR_SUCCESS : ::GetLastError();
  }

  UniqueFileHandle file_;
};

}  // namespace qv::payload
