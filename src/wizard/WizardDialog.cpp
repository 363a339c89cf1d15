#include "wizard/WizardDialog.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "core/PathDelimiters.h"
#include "core/PathUtil.h"
#include "core/TypeInfoBuilder.h"
#include "payload/TextEncoding.h"
#include "platform/Application.h"
#include "platform/ComSupport.h"
#include "platform/Registry.h"
#include "platform/Handles.h"
#include "ui/MessageDialog.h"
#include "wizard/FileUtil.h"
#include "wizard/RunAndWait.h"

namespace qv {

TfrmDialog* frmDialog = nullptr;
const TEarlierInstallation* TfrmDialog::EarlierInstallation = nullptr;

namespace {
constexpr int kDestinationPage = 3;
constexpr int kInstallingPage = 4;
constexpr int kSuccessPage = 5;
constexpr DWORD kStepPauseMs = 100;

// One flagged step: a payload written to a file, or (no payload) the empty
// sms.txt; the logs directory is step 0's own.
struct InstallStep {
  int flag;
  const char* fileName;
  TCompressedBinaryData* TfrmDialog::*payload;
  int position;
};

constexpr InstallStep kFileSteps[] = {
    {2, "qvdaemon.exe", &TfrmDialog::qvdaemon, 3},
    {3, "qvmanager.exe", &TfrmDialog::qvmanager, 4},
    {4, "qvscanner.exe", &TfrmDialog::qvscanner, 5},
    {5, "qvmonitor.exe", &TfrmDialog::qvmonitor, 6},
    {6, "licence.txt", &TfrmDialog::licence, 7},
    {7, "readme.txt", &TfrmDialog::readme, 8},
    {8, "register.txt", &TfrmDialog::register2, 9},
    {9, "sms.txt", nullptr, 10},
    {10, "quolvex.chm", &TfrmDialog::helpfile, 11},
    {11, "uninstall.exe", &TfrmDialog::uninstall, 12},
};

// The configuration values and their defaults, in the order written.
struct DefaultSetting {
  const char* name;
  const char* text;  // null for a number
  int32_t number;
};
constexpr const char* kSettingsKey = "\\SOFTWARE\\Quolvex";
constexpr DefaultSetting kDefaultSettings[] = {
    {"Codepage", "windows-1251", 0},
    {"Trusted", "", 0},
    {"TrustedIP", "", 0},
    {"MailboxList", "main.mbx", 0},
    {"WebPath", "", 0},
    {"KillFile", "", 0},
    {"ScannerHost", "127.0.0.1", 0},
    {"WapPath", "", 0},
    {"Codeword", "", 0},
    {"Keywords", "failed, invalid, bogus, rdeliver, ERR", 0},
    {"MonitorExecPath", "", 0},
    {"IgnoreMbxAfter", nullptr, 2048},
    {"ScannerPort", nullptr, 3385},
    {"WholeLimit", nullptr, 131072},
    {"Base64Limit", nullptr, 65536},
    {"EventReload", nullptr, 5000},
    {"DSizeLimit", nullptr, 2097152},
    {"ViewKeyLog", nullptr, 0},
    {"MbxEnabled", nullptr, 0},
    {"RestrictBulk", nullptr, 0},
    {"BulkMax", nullptr, 10},
    {"BulkInterval", nullptr, 0},
    {"BulkPause", nullptr, 2},
    {"MinThreads", nullptr, 1},
    {"MaxThreads", nullptr, 0},
    {"MaxQueue", nullptr, 2},
    {"CPULimit", nullptr, 10},
    {"PurgeLogsAfterDays", nullptr, 131072},
    {"MonitorInterval", nullptr, 60000},
};

// The two services, registered in this order by their own programs.
struct ServiceEntry {
  const char* key;
  const char* program;
};
constexpr ServiceEntry kServices[] = {
    {"\\SYSTEM\\CurrentControlSet\\Services\\Quolvex", "qvdaemon.exe"},
    {"\\SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor", "qvmonitor.exe"},
};
constexpr const char* kServiceInstallArguments = "/install /silent";
constexpr const char* kStartValue = "Start";
constexpr int32_t kStartOnDemand = 3;

// The program menu and its shortcuts, in creation order.
constexpr const char* kShellFoldersKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCommonProgramsValue = "Common Programs";
struct MenuShortcut {
  const char* fileName;
  const char* target;
  const char* description;
};
constexpr MenuShortcut kMenuShortcuts[] = {
    {"Quolvex Manager.lnk", "qvmanager.exe", "Quolvex Manager"},
    {"License agreement.lnk", "licence.txt", "Lincense agreement"},
    {"Readme.lnk", "readme.txt", "Readme"},
    {"How to register.lnk", "register.txt", "How to register"},
    {"Uninstall program.lnk", "uninstall.exe", "Uninstall program"},
};

}  // namespace

const TClassInfo& TfrmDialog::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TfrmDialog>("TfrmDialog", &TForm::StaticClassInfo())
          .Creatable()
          .Field("Bevel1", &TfrmDialog::Bevel1)
          .Field("Panel1", &TfrmDialog::Panel1)
          .Field("btnBack", &TfrmDialog::btnBack)
          .Field("btnNext", &TfrmDialog::btnNext)
          .Field("btnExit", &TfrmDialog::btnExit)
          .Field("Notebook", &TfrmDialog::Notebook)
          .Field("Memo1", &TfrmDialog::Memo1)
          .Field("cbAgree", &TfrmDialog::cbAgree)
          .Field("Memo2", &TfrmDialog::Memo2)
          .Field("GroupBox1", &TfrmDialog::GroupBox1)
          .Field("editDir", &TfrmDialog::editDir)
          .Field("btnBrowse", &TfrmDialog::btnBrowse)
          .Field("lblFileName", &TfrmDialog::lblFileName)
          .Field("pbar", &TfrmDialog::pbar)
          .Field("qvdaemon", &TfrmDialog::qvdaemon)
          .Field("qvmanager", &TfrmDialog::qvmanager)
          .Field("qvscanner", &TfrmDialog::qvscanner)
          .Field("licence", &TfrmDialog::licence)
          .Field("readme", &TfrmDialog::readme)
          .Field("register2", &TfrmDialog::register2)
          .Field("uninstall", &TfrmDialog::uninstall)
          .Field("qvmonitor", &TfrmDialog::qvmonitor)
          .Field("helpfile", &TfrmDialog::helpfile)
          .Method("FormCreate", &TfrmDialog::FormCreate)
          .Method("FormClose", &TfrmDialog::FormClose)
          .Method("btnNextClick", &TfrmDialog::btnNextClick)
          .Method("btnBackClick", &TfrmDialog::btnBackClick)
          .Method("btnExitClick", &TfrmDialog::btnExitClick)
          .Method("cbAgreeClick", &TfrmDialog::cbAgreeClick)
          .Method("btnBrowseClick", &TfrmDialog::btnBrowseClick)
          .Method("NotebookPageChanged", &TfrmDialog::NotebookPageChanged)
          .Build();
  return info;
}

TfrmDialog::TfrmDialog(TComponent* owner) : TForm(owner) {}

void TfrmDialog::FormCreate(TObject*) {
  StepFlags.fill(false);
  if (EarlierInstallation == nullptr || !EarlierInstallation->PreviousInstall)
    return;
  // A quoted image path names its program inside the quotes.
  editDir->SetText(DirectoryPart(UnquotedProgramPath(EarlierInstallation->ServiceImagePath)));
  editDir->SetEnabled(false);
  btnBrowse->SetEnabled(false);
}

void TfrmDialog::btnNextClick(TObject*) {
  const int page = PageIndex();
  if (page == kDestinationPage) {
    if (!IsExistingDirectory(editDir->Text())) {
      if (::CreateDirectoryA(editDir->Text().c_str(), nullptr) == FALSE) {
        ShowMessageDialog(
            "Directory " + editDir->Text() + " cannot be created. Enter another path...",
            TDialogKind::dkWarning, ButtonBit(dbOK), 0);
        return;
      }
      // Made by this installation: an abort removes it again.
      journal_.DestinationCreated(editDir->Text());
    }
  } else if (page == kSuccessPage) {
    return;
  }
  Notebook->SetPageIndex(page + 1);
}

void TfrmDialog::btnBackClick(TObject*) {
  if (PageIndex() > 0)
    Notebook->SetPageIndex(PageIndex() - 1);
}

void TfrmDialog::cbAgreeClick(TObject*) {
  btnNext->SetEnabled(cbAgree->Checked());
}

void TfrmDialog::btnBrowseClick(TObject*) {
  BrowseForDestination(*editDir);
}

void TfrmDialog::NotebookPageChanged(TObject*) {
  switch (PageIndex()) {
    case 0:
      btnBack->Hide();
      btnNext->SetEnabled(true);
      break;
    case 1:
      cbAgree->SetChecked(false);
      btnBack->Show();
      btnNext->SetEnabled(false);
      break;
    case kInstallingPage:
      RunInstallSequence();
      break;
    case kSuccessPage:
      btnBack->Hide();
      btnNext->Hide();
      btnExit->SetCaption("Finish");
      break;
    default:
      break;
  }
}

void TfrmDialog::btnExitClick(TObject* sender) {
  if (PageIndex() == kInstallingPage) {
    TCloseAction action = TCloseAction::caHide;
    FormClose(sender, action);
  }
  if (PageIndex() == kSuccessPage)
    Application->RequestTermination();
  btnExit->SetTag(1);
  RequestClose();
}

void TfrmDialog::FormClose(TObject*, TCloseAction&) {
  const TModalResult answer =
      ShowMessageDialog("Are you sure you want to abort the installation?",
                        TDialogKind::dkInformation, ButtonBit(dbYes) | ButtonBit(dbNo), 0);
  if (answer == resNo) {
    btnExit->SetTag(0);
    if (PageIndex() == kInstallingPage)
      RunInstallSequence();
    SilentAbort();
  }
  // Only what this installation created goes, and what it replaced comes
  // back: a destination that held the user's files stays as it was.
  if (PageIndex() == kInstallingPage)
    journal_.RollBack();
  Application->RequestTermination();
}

std::string TfrmDialog::DestinationPrefix() const {
  const std::string text = editDir->Text();
  return text.empty() ? text : AddTrailingDelimiter(text);
}

void TfrmDialog::RunInstallSequence() {
  btnExit->SetCaption("Cancel");
  btnBack->Hide();
  btnNext->SetEnabled(false);
  const std::string prefix = DestinationPrefix();
  const auto cancelled = [this] { return btnExit->Tag() == 1; };
  // Status text, messages, then - unless the abort was just confirmed
  // there - the action, the progress and the pause.
  const auto step = [&](int flag, const std::string& status, int position, auto action) {
    if (cancelled())
      return false;
    if (StepFlags[static_cast<size_t>(flag)])
      return true;
    lblFileName->SetCaption(status);
    Application->PumpMessages();
    if (cancelled())
      return false;
    action();
    pbar->SetPosition(position);
    ::Sleep(kStepPauseMs);
    StepFlags[static_cast<size_t>(flag)] = true;
    return true;
  };

  const bool logsStep = step(0, "Creating directory: \\logs", 1, [&] {
    const std::string logs = prefix + "logs";
    if (::CreateDirectoryA(logs.c_str(), nullptr) != FALSE)
      journal_.DirectoryCreated(logs);
  });
  if (!logsStep)
    return;
  for (const InstallStep& s : kFileSteps) {
    const std::string path = prefix + s.fileName;
    const bool done = step(s.flag, "Copying file: " + path, s.position, [&] {
      if (s.payload == nullptr) {
        // sms.txt is filled in by hand: an existing one is kept as it is.
        if (FileExists(path))
          return;
        UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
          journal_.FileCreated(path);
        return;
      }
      journal_.BeforeWrite(path);
      (this->*s.payload)->SaveToFile(path);
    });
    if (!done)
      return;
  }
  if (cancelled())
    return;

  const auto stage = [&](const char* status, void (TfrmDialog::*action)()) {
    lblFileName->SetCaption(status);
    Application->PumpMessages();
    ::Sleep(kStepPauseMs);
    (this->*action)();
  };
  stage("Writing registry settings", &TfrmDialog::WriteDefaultSettings);
  stage("Registering services", &TfrmDialog::RegisterServices);
  stage("Creating program menu", &TfrmDialog::CreateProgramMenu);
  Notebook->SetPageIndex(PageIndex() + 1);
  if (PageIndex() == kSuccessPage)
    journal_.Commit();
}

void TfrmDialog::WriteDefaultSettings() {
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  for (const DefaultSetting& setting : kDefaultSettings) {
    // Opened afresh for every value; a key that cannot be opened or made
    // (no rights) leaves the defaults unwritten without a word.
    if (!registry.OpenPath(kSettingsKey, true))
      continue;
    // Whatever the administrator set before, of whatever type, stays.
    if (registry.HasValue(setting.name))
      continue;
    if (setting.text != nullptr)
      registry.WriteText(setting.name, setting.text);
    else
      registry.WriteNumber(setting.name, setting.number);
  }
}

void TfrmDialog::RegisterServices() {
  // A nested entry (a No answered while an installer still runs) leaves the
  // services to the entry already registering them, so that no installer
  // is started twice.
  if (registeringServices_)
    return;
  registeringServices_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{registeringServices_};

  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  const std::string directory = editDir->Text();
  for (const ServiceEntry& service : kServices) {
    if (!registry.PathExists(service.key)) {
      // By full path inside the destination: a bare name would let the
      // shell find a program of that name somewhere else.
      RunAndWait(FullPath(DestinationPrefix() + service.program), kServiceInstallArguments,
                 directory, kRunHidden);
    }
    if (registry.OpenPath(service.key, false) && registry.HasValue(kStartValue))
      registry.WriteNumber(kStartValue, kStartOnDemand);
  }
}

void TfrmDialog::CreateProgramMenu() {
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  std::string programs;
  if (registry.OpenPath(kShellFoldersKey, false))
    programs = registry.ReadText(kCommonProgramsValue);
  // Targets and working directory are full paths even for a destination
  // typed relative to where Setup was started: a shortcut is resolved from
  // wherever it is opened.
  std::string destination = DestinationPrefix();
  if (!destination.empty())
    destination = AddTrailingDelimiter(FullPath(destination));
  if (!IsExistingDirectory(programs))
    return;
  const std::string folder = programs + "\\Quolvex";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const MenuShortcut& shortcut : kMenuShortcuts) {
    CreateShortcut(destination + shortcut.target, folder + "\\" + shortcut.fileName, "",
                   shortcut.description, destination);
  }
}

void TfrmDialog::CreateShortcut(const std::string& target, const std::string& shortcutFile,
                                const std::string& arguments, const std::string& description,
                                const std::string& workingDirectory) {
  ComPtr<IUnknown> object;
  OleCheck(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, reinterpret_cast<void**>(object.put())));
  const ComPtr<IShellLinkA> link = object.As<IShellLinkA>(IID_IShellLinkA);
  const ComPtr<IPersistFile> file = object.As<IPersistFile>(IID_IPersistFile);
  // A setter or save that fails costs this shortcut only; the next is
  // still attempted.
  link->SetPath(target.c_str());
  link->SetArguments(arguments.c_str());
  link->SetDescription(description.c_str());
  link->SetWorkingDirectory(workingDirectory.c_str());
  // Shell paths are in the system's ANSI code page; the file-persistence
  // interface takes UTF-16 (the framework installs the system's conversion).
  const std::u16string path = AnsiToWide(shortcutFile);
  file->Save(reinterpret_cast<LPCOLESTR>(path.c_str()), FALSE);
}

}  // namespace qv
