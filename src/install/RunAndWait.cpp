#include "install/RunAndWait.h"

#include <windows.h>
#include <shellapi.h>

#include "core/ScopeExit.h"
#include "shell/Application.h"
#include "win32/Handles.h"

namespace qv {

int32_t RunAndWait(const std::string& program, const std::string& parameters,
                   const std::string& directory, int state, void** running) {
  static_assert(sizeof(SHELLEXECUTEINFOA) == 60 || sizeof(void*) != 4);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = Application != nullptr ? Application->Handle() : nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.c_str();
  info.nShow = RunWindowState.at(static_cast<size_t>(state));
  if (::ShellExecuteExA(&info) == FALSE)
    return -1;
  // A document opened by a program already running gives no process; there
  // is then nothing whose end could be waited for.
  UniqueHandle process(info.hProcess);
  if (!process)
    return -1;
  if (running != nullptr)
    *running = process.get();
  const ScopeExit forget([running] {
    if (running != nullptr)
      *running = nullptr;
  });

  DWORD exitCode = STILL_ACTIVE;
  for (;;) {
    // Polled rather than waited on, so the wizard repaints and its Cancel
    // button works while the program runs.
    ::Sleep(1);
    if (Application != nullptr)
      Application->PumpMessages();
    if (::GetExitCodeProcess(process.get(), &exitCode) == FALSE)
      return -1;
    if (exitCode != STILL_ACTIVE)
      break;
    if (Application != nullptr && Application->QuitReceived())
      break;
  }
  return static_cast<int32_t>(exitCode);
}

}  // namespace qv
