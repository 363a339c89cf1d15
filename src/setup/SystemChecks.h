#pragma once
// The security routines of the start-up checks: whether the user is an
// administrator, and the reboot request.
#include <windows.h>

#include <string>

namespace qv {

// The platform calls behind these decisions and the version check. Tests put
// their own in place to reach states Wine cannot be taken into (a standard
// user, a Windows 95 family system, an accepted reboot); the product never
// changes them.
struct TSystemCalls {
  // The group list of the thread's token, else the process's, into buffer;
  // false when no token could be opened or the query failed.
  bool (*QueryTokenGroups)(void* buffer, DWORD size);
  BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA info);
  BOOL(WINAPI* OpenProcessToken)(HANDLE process, DWORD access, PHANDLE token);
  BOOL(WINAPI* LookupPrivilegeValueA)(LPCSTR system, LPCSTR name, PLUID luid);
  BOOL(WINAPI* AdjustTokenPrivileges)
  (HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length, PTOKEN_PRIVILEGES previous,
   PDWORD needed);
  DWORD(WINAPI* GetLastError)();
  BOOL(WINAPI* ExitWindowsEx)(UINT flags, DWORD reason);
};

// The real calls.
TSystemCalls RealSystemCalls() noexcept;
// What the checks use; RealSystemCalls() unless a test replaced them.
TSystemCalls& SystemCalls() noexcept;

// Whether the token's groups hold the built-in Administrators group, in
// whatever state (a group kept for deny checks only counts too). Every
// failure answers false.
bool TokenIsAdministrator();

// An error the checks cannot get past: shown, then termination requested
// with resultCode, the Windows installer's code that deployment tools read.
// The checks go on; after the request every later dialog closes by itself.
void ErrorStop(const std::string& text, int resultCode = ERROR_INSTALL_FAILURE);

// Asks Windows to restart, forcing programs to close. Each failing step is
// shown with its own notice and none is skipped.
void RebootComputer();

}  // namespace qv
