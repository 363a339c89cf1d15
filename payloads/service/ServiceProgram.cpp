// Entry of the two service stand-ins, qvdaemon.exe and qvmonitor.exe; the
// generated ServiceIdentity.h decides which one is built.
//
//   (no arguments)        run as the service (only the control manager does)
//   /install [/silent]    register the service; an existing one stays as it is
//   /uninstall [/silent]  stop and delete the service
//
// Exit code 0 when the service is in the asked state afterwards, otherwise
// the Win32 error of what failed: ERROR_INVALID_PARAMETER for unknown
// arguments, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when started without
// arguments by anyone but the control manager. With /silent nothing is ever
// shown: the installer runs us hidden and nobody could answer a window.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../common/Handles.h"
#include "../common/SystemMessage.h"
#include "ServiceIdentity.h"
#include "ServiceInstaller.h"
#include "ServiceRunner.h"

namespace qv::payload {
namespace {

constexpr ServiceDefinition kService{kServiceName, kServiceDisplayName, kServiceDescription};

enum class Action { kRunService, kInstall, kUninstall, kUsage };

struct Command {
  Action action = Action::kRunService;
  bool silent = false;
};

bool IsSwitch(const wchar_t* argument, const wchar_t* name) {
  return (argument[0] == L'/' || argument[0] == L'-') && ::lstrcmpiW(argument + 1, name) == 0;
}

Command ParseCommand(int count, wchar_t** arguments) {
  Command command;
  if (count <= 1)
    return command;
  command.action = Action::kUsage;
  bool install = false;
  bool uninstall = false;
  bool unknown = false;
  for (int i = 1; i < count; ++i) {
    if (IsSwitch(arguments[i], L"install")) {
      install = true;
    } else if (IsSwitch(arguments[i], L"uninstall")) {
      uninstall = true;
    } else if (IsSwitch(arguments[i], L"silent")) {
      command.silent = true;
    } else {
      unknown = true;
    }
  }
  if (!unknown && install != uninstall)
    command.action = install ? Action::kInstall : Action::kUninstall;
  return command;
}

Command ReadCommandLine() {
  int count = 0;
  UniqueLocalMemory<wchar_t**> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  // Without a parsed command line we cannot know that /silent was not asked
  // for, so the failure is reported the silent way.
  if (!arguments)
    return {Action::kUsage, true};
  return ParseCommand(count, arguments.get());
}

// The installer waits for our exit code to differ from STILL_ACTIVE (259),
// so that value must never be the one we end with.
DWORD ExitCodeFor(DWORD error) {
  return error == STILL_ACTIVE ? ERROR_GEN_FAILURE : error;
}

std::wstring Describe(const Command& command, const ServiceResult& result) {
  const std::wstring service =
      std::wstring(L"The service \"") + kService.displayName + L"\" (" + kService.name + L")";
  switch (result.outcome) {
    case ServiceOutcome::kInstalled:
      return service + L" has been installed.";
    case ServiceOutcome::kAlreadyInstalled:
      return service + L" is already installed; nothing was changed.";
    case ServiceOutcome::kRemoved:
      return service + L" has been removed.";
    case ServiceOutcome::kNotInstalled:
      return service + L" is not installed; nothing was changed.";
    case ServiceOutcome::kFailed:
      break;
  }
  return service +
         (command.action == Action::kInstall ? L" could not be installed:\r\n"
                                             : L" could not be removed:\r\n") +
         SystemMessage(result.error);
}

void Show(const std::wstring& text, UINT icon) {
  ::MessageBoxW(nullptr, text.c_str(), kService.displayName, MB_OK | icon | MB_SETFOREGROUND);
}

DWORD Run() {
  const Command command = ReadCommandLine();
  switch (command.action) {
    case Action::kRunService:
      return RunAsService(kService);
    case Action::kUsage:
      if (!command.silent) {
        Show(std::wstring(L"Usage: ") + kProgramFileName +
                 L" /install [/silent] | /uninstall [/silent]\r\n\r\n"
                 L"Without arguments the program runs as the service and is started by "
                 L"the service control manager.",
             MB_ICONINFORMATION);
      }
      return ERROR_INVALID_PARAMETER;
    case Action::kInstall:
    case Action::kUninstall:
      break;
  }

  ServiceResult result{ServiceOutcome::kFailed, ERROR_SUCCESS};
  if (command.action == Action::kInstall) {
    DWORD error = ERROR_SUCCESS;
    const std::wstring path = OwnProgramPath(error);
    result = path.empty() ? ServiceResult{ServiceOutcome::kFailed, error}
                          : InstallService(kService, path);
  } else {
    result = UninstallService(kService);
  }
  const bool failed = result.outcome == ServiceOutcome::kFailed;
  if (!command.silent)
    Show(Describe(command, result), failed ? MB_ICONERROR : MB_ICONINFORMATION);
  return failed ? result.error : ERROR_SUCCESS;
}

}  // namespace
}  // namespace qv::payload

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No system box either (a missing disk, a crash report): the hidden and
  // the service runs have nobody to click it away.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // An exception escaping WinMain ends in the runtime's abort box; end with
  // an error code instead.
  try {
    return static_cast<int>(qv::payload::ExitCodeFor(qv::payload::Run()));
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}
