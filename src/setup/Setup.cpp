// Program entry: start-up, the two windows, the main loop, exit code.
#include <windows.h>

#include <exception>

#include <string>
#include <vector>

#include "core/SetupOptions.h"
#include "install/InstallJournal.h"
#include "shell/Application.h"
#include "win32/Handles.h"
#include "setup/BackgroundWindow.h"
#include "setup/Unattended.h"
#include "win32/Log.h"
#include "win32/WindowsFileLayer.h"
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

// The whole run but for the last-resort report. With arguments, the
// result is the Windows installer's code that deployment tools read;
// without, the program ends as it always did, with 0 but where the
// journals forbid any installation.
int RunSetup(qv::TApplication& application, const qv::TSetupOptions& options, bool arguments) {
  using namespace qv;
  const bool quiet = options.mode == TSetupOptions::TMode::kQuiet;
  if (options.help || !options.wrong.empty()) {
    std::string text = kSetupUsage;
    for (const std::string& wrong : options.wrong)
      Log("Not a switch of Setup's: " + wrong);
    if (!options.wrong.empty())
      text = "Not a switch of Setup's: " + options.wrong.front() + "\r\n\r\n" + text;
    if (!quiet) {
      ShowMessageDialog(text,
                        options.wrong.empty() ? TDialogKind::dkInformation : TDialogKind::dkError,
                        ButtonBit(dbOK), 0);
    }
    return ERROR_INVALID_PARAMETER;
  }
  // Before anything could change the machine.
  if (options.Unattended() && !options.acceptEula) {
    Log("Nothing is installed: /quiet and /passive need /accepteula, which accepts the licence "
        "agreement");
    return ERROR_INVALID_PARAMETER;
  }
  if (options.Unattended() || options.noRestart || options.hasLog)
    AnswerUnattended(options);
  // An error nobody can click away is logged instead of shown; a passive
  // installation it stopped is undone, not left waiting for a Cancel.
  if (options.Unattended()) {
    const bool passive = options.mode == TSetupOptions::TMode::kPassive;
    application.OnException = [passive](TObject*, const Exception& error) {
      Log("Error: " + error.Message());
      if (passive && frmDialog != nullptr)
        frmDialog->Abandon();
    };
  }
  UniqueHandle instance;
  if (AnotherSetupRuns(instance)) {
    ShowMessageDialog("Setup is already running.", TDialogKind::dkError, ButtonBit(dbOK), 0);
    return arguments ? ERROR_INSTALL_ALREADY_RUNNING : 0;
  }
  if (!FinishInterruptedInstallation())
    return ERROR_INSTALL_FAILURE;
  application.InstantiateForm(frmBackground);
  TfrmDialog::EarlierInstallation = frmBackground;
  TfrmDialog::GivenDestination = options.dir;
  TfrmDialog::Passive = options.mode == TSetupOptions::TMode::kPassive;
  if (quiet) {
    // No window comes up: not the background, whose timer would show the
    // wizard, nor the wizard, whose components are all the installation
    // needs.
    frmBackground->tStart->SetInterval(0);
    if (!application.TerminationRequested()) {
      application.InstantiateForm(frmDialog);
      application.SetResultCode(frmDialog->InstallUnattended());
    }
  } else {
    application.InstantiateForm(frmDialog);
    application.RunLoop();
  }
  application.Shutdown();
  return arguments ? application.ResultCode() : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearchToSystem();
  using namespace qv;
  std::exception_ptr failure;
  const std::vector<std::string> arguments = CommandLineArguments();
  const TSetupOptions options = ParseSetupOptions(arguments);
  TSetupLog log;
  uint32_t error = 0;
  // A log asked for and not to be had: nothing is done that it could not
  // tell of.
  if (!OpenSetupLog(log, options, error))
    return static_cast<int>(error == kLinkRefused ? ERROR_ACCESS_DENIED : error);
  SetLog(&log);
  Log("Quolvex Antivirus 5.0 Setup, version 5.0");
  Log(std::string("Command line: ") + ::GetCommandLineA());
  int code = 1;
  try {
    TApplication application(options.mode != TSetupOptions::TMode::kQuiet);
    application.Startup();
    application.SetAppTitle("Installing Quolvex Antivirus");
    code = RunSetup(application, options, !arguments.empty());
    Log("Exit code " + std::to_string(code));
    return code;
  } catch (...) {
    failure = std::current_exception();
  }
  Log("Setup failed unexpectedly");
  Log("Exit code " + std::to_string(arguments.empty() ? 1 : ERROR_INSTALL_FAILURE));
  // Outside every guard: the windows are gone by now; tell the user and end.
  if (options.mode != TSetupOptions::TMode::kQuiet)
    TApplication::ShowLastResortBox(failure);
  return arguments.empty() ? 1 : ERROR_INSTALL_FAILURE;
}
