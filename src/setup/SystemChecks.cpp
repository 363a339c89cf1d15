#include "setup/SystemChecks.h"

#include <cstddef>
#include <vector>

#include "shell/Application.h"
#include "win32/Handles.h"
#include "ui/MessageDialog.h"

namespace qv {

namespace {

constexpr DWORD kGroupBufferSize = 1024;
// The group list is read in the platform's own layout; on the shipped
// 32-bit build that is a 4-byte count and 8-byte entries, so the buffer
// holds at most 127 groups.
static_assert(sizeof(void*) != 4 ||
              (offsetof(TOKEN_GROUPS, Groups) == 4 && sizeof(SID_AND_ATTRIBUTES) == 8));
// Programs that still answer are asked to close and may save their work;
// only hung ones are ended. The reason marks a planned installation.
constexpr UINT kRebootFlags = EWX_REBOOT | EWX_FORCEIFHUNG;
constexpr DWORD kRebootReason =
    SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION | SHTDN_REASON_FLAG_PLANNED;

bool QueryOwnTokenGroups(void* buffer, DWORD size) {
  HANDLE raw = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &raw) == FALSE) {
    if (::GetLastError() != ERROR_NO_TOKEN)
      return false;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw) == FALSE)
      return false;
  }
  UniqueHandle token(raw);
  DWORD returned = 0;
  return ::GetTokenInformation(token.get(), TokenGroups, buffer, size, &returned) != FALSE;
}

}  // namespace

TSystemCalls RealSystemCalls() noexcept {
  return {&QueryOwnTokenGroups,     &::GetVersionExA, &::OpenProcessToken, &::LookupPrivilegeValueA,
          &::AdjustTokenPrivileges, &::GetLastError,  &::ExitWindowsEx};
}

TSystemCalls& SystemCalls() noexcept {
  static TSystemCalls calls = RealSystemCalls();
  return calls;
}

void ErrorStop(const std::string& text, int resultCode) {
  ShowMessageDialog(text, TDialogKind::dkError, ButtonBit(dbOK), 0);
  Application->SetResultCode(resultCode);
  Application->RequestTermination();
}

bool TokenIsAdministrator() {
  // Elements of the entries' own type keep the list aligned for their
  // pointers on either architecture.
  std::vector<SID_AND_ATTRIBUTES> buffer(kGroupBufferSize / sizeof(SID_AND_ATTRIBUTES));
  if (!SystemCalls().QueryTokenGroups(buffer.data(), kGroupBufferSize))
    return false;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID raw = nullptr;
  if (::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                 DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw) == FALSE) {
    return false;
  }
  UniqueSid administrators(raw);
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  // A count that could not fit the buffer is no group list.
  const DWORD fits =
      (kGroupBufferSize - offsetof(TOKEN_GROUPS, Groups)) / sizeof(SID_AND_ATTRIBUTES);
  const DWORD count = groups->GroupCount <= fits ? groups->GroupCount : 0;
  for (DWORD i = 0; i < count; ++i) {
    const PSID sid = groups->Groups[i].Sid;
    if (sid != nullptr && ::IsValidSid(sid) && ::EqualSid(sid, administrators.get()))
      return true;
  }
  return false;
}

void RebootComputer() {
  const TSystemCalls& calls = SystemCalls();
  HANDLE raw = nullptr;
  const bool tokenOpened =
      calls.OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw) !=
      FALSE;
  UniqueHandle token(tokenOpened ? raw : nullptr);
  if (!tokenOpened)
    ShowNotice("OpenProcessToken failed, please reboot manually");

  TOKEN_PRIVILEGES request{};
  request.PrivilegeCount = 1;
  request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool privilegeFound = calls.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege",
                                                          &request.Privileges[0].Luid) != FALSE;
  if (!privilegeFound)
    ShowNotice("LookupPrivilegeValue failed, please reboot manually");

  // Success of the call is not enough: "not all assigned" comes back as the
  // last error of a call that succeeded.
  bool adjusted = false;
  if (tokenOpened && privilegeFound) {
    ::SetLastError(ERROR_SUCCESS);  // a stale error must not read as "not all assigned"
    calls.AdjustTokenPrivileges(token.get(), FALSE, &request, 0, nullptr, nullptr);
    adjusted = calls.GetLastError() == ERROR_SUCCESS;
  }
  if (!adjusted)
    ShowNotice("AdjustTokenPrivileges failed, please reboot manually");

  if (calls.ExitWindowsEx(kRebootFlags, kRebootReason) == FALSE)
    ShowNotice("ExitWindowsEx failed, please reboot manually");
}

}  // namespace qv
