#include "setup/BackgroundWindow.h"

#include <windows.h>

#include "core/PathUtil.h"
#include "core/ShellText.h"
#include "core/TypeInfoBuilder.h"
#include "shell/Application.h"
#include "win32/Registry.h"
#include "setup/ProcessScan.h"
#include "wizard/WizardDialog.h"
#include "setup/SystemChecks.h"
#include "ui/MessageDialog.h"
#include "win32/FileSystem.h"

namespace qv {

TfrmBackground* frmBackground = nullptr;

namespace {
constexpr uint32_t kStartDelayMs = 300;
// ERROR_FAIL_REBOOT_REQUIRED, which MinGW's headers lack: nothing was done,
// and a restart is what would let it be.
constexpr int kFailRebootRequired = 3017;

constexpr const char* kHostKey = "\\SOFTWARE\\Ipswitch\\IMail";
constexpr const char* kServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\Quolvex";
constexpr const char* kMonitorKey = "\\SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor";
constexpr const char* kImagePath = "ImagePath";
constexpr const char* kOldVersionProgram = "qvservice.exe";

constexpr const char* kHostMissing = "Ipswitch Imail Server not installed.";
constexpr const char* kOldVersion =
    "Setup has detected quolvex (version 4.3)\r\nYou must uninstall previous version and repeat "
    "again";
constexpr const char* kAlreadyInstalled =
    "Setup has detected that you have already installed quolvex 5.0 services.\r\nPress \"No\" to "
    "uninstall current version and repeat again.\r\nPress \"Yes\" to overwrite existing files.";
constexpr const char* kFilesMissing =
    "Setup has detected previously installed services but no files detected on the disk to "
    "update.\r\nWould you like to reboot the computer?";
constexpr const char* kNotNt = "Only NT Platform supported";
constexpr const char* kNotAdministrator =
    "You must be logged in as administrator to install this software";

// The service control manager expands the environment variables of an image
// path stored as REG_EXPAND_SZ; one stored as REG_SZ is the program's text as
// it stands, a "%" included.
std::string AsTheServiceManagerReadsIt(const TRegistry& registry, const std::string& imagePath) {
  DWORD type = REG_NONE;
  if (::RegQueryValueExA(registry.CurrentHandle(), kImagePath, nullptr, &type, nullptr, nullptr) !=
          ERROR_SUCCESS ||
      DataTypeOf(type) != TRegDataType::rdExpandString) {
    return imagePath;
  }
  std::string expanded(imagePath.size() + 1, '\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsA(imagePath.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0)
      return imagePath;
    if (needed <= expanded.size())
      return expanded.substr(0, expanded.find('\0'));
    expanded.resize(needed);
  }
}

}  // namespace

const TClassInfo& TfrmBackground::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TfrmBackground>("TfrmBackground", &TForm::StaticClassInfo())
          .Creatable()
          .Field("GPanel1", &TfrmBackground::GPanel1)
          .Field("RxLabel4", &TfrmBackground::RxLabel4)
          .Field("RxLabel2", &TfrmBackground::RxLabel2)
          .Field("RxLabel3", &TfrmBackground::RxLabel3)
          .Field("RxLabel1", &TfrmBackground::RxLabel1)
          .Field("tStart", &TfrmBackground::tStart)
          .Method("FormCreate", &TfrmBackground::FormCreate)
          .Method("tStartTimer", &TfrmBackground::tStartTimer)
          .Build();
  return info;
}

TfrmBackground::TfrmBackground(TComponent* owner) : TForm(owner) {}

// Every check runs, whatever an earlier one found: a refusal only requests
// termination, which the dialogs and the main loop then honour.
void TfrmBackground::FormCreate(TObject*) {
  {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    if (!registry.PathExists(kHostKey))
      ErrorStop(kHostMissing);

    PreviousInstall = false;
    bool oldVersion = false;
    bool programMissing = false;
    const auto readImagePath = [&](const char* key) {
      if (registry.OpenPath(key, false) && registry.HasValue(kImagePath)) {
        ServiceImagePath = registry.ReadText(kImagePath);
        ServiceProgramPath =
            ResolveImagePath(AsTheServiceManagerReadsIt(registry, ServiceImagePath), FileExists);
        if (!FileExists(ServiceProgramPath))
          programMissing = true;
      }
    };
    if (registry.PathExists(kServiceKey)) {
      PreviousInstall = true;
      readImagePath(kServiceKey);
      // Lower-cased for the version test only: the program's path, and so
      // the destination, keep the spelling stored in the registry.
      ServiceImagePath = LowerAsciiLetters(ServiceImagePath);
      oldVersion = ServiceImagePath.find(kOldVersionProgram) != std::string::npos;
    }
    if (registry.PathExists(kMonitorKey)) {
      PreviousInstall = true;
      if (ServiceImagePath.empty())
        readImagePath(kMonitorKey);
    }

    if (oldVersion)
      ErrorStop(kOldVersion, ERROR_PRODUCT_VERSION);
    if (PreviousInstall) {
      if (ShowMessageDialog(kAlreadyInstalled, TDialogKind::dkWarning,
                            ButtonBit(dbYes) | ButtonBit(dbNo), 0) == resNo) {
        Application->SetResultCode(ERROR_INSTALL_USEREXIT);
        Application->RequestTermination();
      }
    }
    if (programMissing) {
      // Nothing is installed either way; the code tells whether the restart
      // that would let an installation go on was started.
      if (ShowMessageDialog(kFilesMissing, TDialogKind::dkError, ButtonBit(dbYes) | ButtonBit(dbNo),
                            0) == resYes) {
        RebootComputer();
        Application->SetResultCode(ERROR_SUCCESS_REBOOT_INITIATED);
      }
      Application->SetResultCode(kFailRebootRequired);
      Application->RequestTermination();
    }
  }

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof(OSVERSIONINFOA) == 148);
  if (SystemCalls().GetVersionExA(&version) != FALSE) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
      ErrorStop(kNotNt, ERROR_INSTALL_PLATFORM_UNSUPPORTED);
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
      CheckRunningProcesses(AddOnProgramNames());
  }

  if (!IsAdministrator())
    ErrorStop(kNotAdministrator, ERROR_INSTALL_PACKAGE_REJECTED);

  tStart->SetInterval(kStartDelayMs);
}

bool TfrmBackground::IsAdministrator() {
  return TokenIsAdministrator();
}

void TfrmBackground::tStartTimer(TObject*) {
  // Stop first: the wizard's modal run happens inside this tick, and a
  // running timer would enter the handler again meanwhile.
  tStart->SetInterval(0);
  frmDialog->RunModal();
}

}  // namespace qv
