// Program entry: start-up, the two windows, the main loop, exit code.
#include <windows.h>

#include <exception>

#include "install/InstallJournal.h"
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

// An installation that died (killed, power lost) left its journal: its
// roll-back is finished before the checks look at the machine, and the
// user is told once. False when no installation may start: the journals'
// folder cannot be trusted, or a roll-back could not be finished and its
// originals must not be mixed with a new installation's.
bool FinishInterruptedInstallation() {
  using namespace qv;
  const TInstallJournal::TRecovery recovery = TInstallJournal::RecoverInterrupted();
  if (!recovery.untrusted.empty()) {
    ShowMessageDialog(recovery.untrusted, TDialogKind::dkError, ButtonBit(dbOK), 0);
    return false;
  }
  if (!recovery.found)
    return true;
  std::string kept;
  if (!recovery.kept.empty()) {
    kept = " These were changed since and were left as they are:";
    for (const std::string& what : recovery.kept)
      kept += "\n" + what;
  }
  const std::string originals =
      recovery.keptFolder.empty()
          ? std::string()
          : " The originals of your files are kept in " + recovery.keptFolder + ".";
  if (recovery.complete) {
    ShowMessageDialog(
        "Setup was interrupted during an earlier installation. Everything it changed has been "
        "undone." +
            originals + kept,
        TDialogKind::dkInformation, ButtonBit(dbOK), 0);
    return true;
  }
  ShowMessageDialog(
      "Setup was interrupted during an earlier installation and could not undo all of it." +
          originals +
          " Nothing new can be installed until it is undone: close the programs that use the "
          "installation's files, then run Setup again." +
          kept,
      TDialogKind::dkWarning, ButtonBit(dbOK), 0);
  return false;
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
    if (!FinishInterruptedInstallation())
      return ERROR_INSTALL_FAILURE;
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
