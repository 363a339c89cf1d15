// Program entry: start-up, the two windows, the main loop, exit code.
#include <windows.h>

#include <exception>

#include "shell/Application.h"
#include "win32/Handles.h"
#include "setup/BackgroundWindow.h"
#include "ui/MessageDialog.h"
#include "wizard/WizardDialog.h"

namespace {

// Libraries loaded at run time (ours, and those the shell and COM load for
// us) come from the system directory only: a DLL planted beside Setup.exe,
// which is often a downloads folder, must never be loaded. The libraries
// Setup.exe imports are known to the loader and never searched for.
void RestrictDllSearchToSystem() {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDefaultDllDirectoriesFunc = BOOL(WINAPI*)(DWORD);
  const auto setDefault = qv::EntryPoint<SetDefaultDllDirectoriesFunc>(
      ::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (setDefault == nullptr || setDefault(kSearchSystem32) == FALSE) {
    // Without the call (an older system), at least the current directory
    // leaves the search.
    ::SetDllDirectoryA("");
  }
}

// One installation at a time, machine-wide: two could remove each other's
// files. The name is held for the life of the process. Taken by another
// session's Setup, whose object this one may not open, counts as running.
bool AnotherSetupRuns(qv::UniqueHandle& instance) {
  instance.reset(::CreateMutexA(nullptr, FALSE, "Global\\QuolvexAntivirusSetup"));
  const DWORD error = ::GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearchToSystem();
  using namespace qv;
  std::exception_ptr failure;
  try {
    TApplication application;
    application.Startup();
    application.SetAppTitle("Installing Quolvex Antivirus");
    UniqueHandle instance;
    if (AnotherSetupRuns(instance)) {
      ShowMessageDialog("Setup is already running.", TDialogKind::dkError, ButtonBit(dbOK), 0);
      return 0;
    }
    application.InstantiateForm(frmBackground);
    TfrmDialog::EarlierInstallation = frmBackground;
    application.InstantiateForm(frmDialog);
    application.RunLoop();
    application.Shutdown();
    return 0;
  } catch (...) {
    failure = std::current_exception();
  }
  // Outside every guard: the windows are gone by now; tell the user and end.
  TApplication::ShowLastResortBox(failure);
  return 1;
}
