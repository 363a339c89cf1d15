#include "wizard/WizardDialog.h"

#include <windows.h>

#include "core/PathUtil.h"
#include "core/TypeInfoBuilder.h"
#include "shell/Application.h"
#include "ui/MessageDialog.h"
#include "controls/Timer.h"
#include "win32/FileSystem.h"
#include "win32/Log.h"
#include "win32/Security.h"
#include "wizard/FolderBrowser.h"

namespace qv {

TfrmDialog* frmDialog = nullptr;
const TEarlierInstallation* TfrmDialog::EarlierInstallation = nullptr;

namespace {
constexpr int kDestinationPage = 3;
constexpr int kInstallingPage = 4;
constexpr int kSuccessPage = 5;
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

std::string TfrmDialog::GivenDestination;
bool TfrmDialog::Passive = false;

void TfrmDialog::FormCreate(TObject*) {
  engine_.StepFlags.fill(false);
  if (EarlierInstallation == nullptr || !EarlierInstallation->PreviousInstall) {
    if (!GivenDestination.empty())
      editDir->SetText(GivenDestination);
  } else {
    editDir->SetText(DirectoryPart(EarlierInstallation->ServiceProgramPath));
    editDir->SetEnabled(false);
    btnBrowse->SetEnabled(false);
    if (!GivenDestination.empty())
      Log("The destination " + GivenDestination + " is not used: the earlier installation's " +
          editDir->Text() + " is kept");
  }
  Log("Destination: " + editDir->Text());
  if (!Passive)
    return;
  // A passive run starts installing once the wizard is on the screen, so
  // that its progress is seen: one tick after it shows.
  Notebook->SetPageIndex(kDestinationPage);
  auto* start = new TTimer(this);
  start->SetInterval(0);
  start->SetOnTimer([this, start](TObject*) {
    start->SetInterval(0);
    if (!AcceptDestination()) {
      Application->SetResultCode(ERROR_INSTALL_FAILURE);
      Application->RequestTermination();
      return;
    }
    Notebook->SetPageIndex(kInstallingPage);
    if (PageIndex() == kSuccessPage)
      Application->RequestTermination();
  });
  OnShow = [start](TObject*) { start->SetInterval(1); };
}

int TfrmDialog::InstallUnattended() {
  if (!AcceptDestination())
    return ERROR_INSTALL_FAILURE;
  engine_.Hurry = true;
  try {
    // The installing page runs the sequence as it opens; a failure is
    // reported (and logged) on the way, and leaves the page where it was.
    Notebook->SetPageIndex(kInstallingPage);
    if (PageIndex() == kSuccessPage)
      return ERROR_SUCCESS;
  } catch (const std::exception& error) {
    Log(std::string("Installation failed: ") + error.what());
  }
  Log("Undoing the installation");
  engine_.RollBack();
  return ERROR_INSTALL_FAILURE;
}

void TfrmDialog::Abandon() {
  btnExit->SetTag(1);
  if (PageIndex() == kInstallingPage) {
    Log("Undoing the installation");
    engine_.RollBack();
  }
  Application->SetResultCode(ERROR_INSTALL_FAILURE);
  Application->RequestTermination();
}

bool TfrmDialog::AcceptDestination() {
  std::string others;
  if (IsExistingDirectory(editDir->Text())) {
    // The services run as LocalSystem from here: a directory that others
    // may change would let them swap the programs.
    if (!OthersWhoMayChange(FullPath(editDir->Text()), others) || !others.empty()) {
      const std::string example =
          others.empty() ? std::string() : " (for example " + AccountName(others) + ")";
      ShowMessageDialog("Users other than administrators" + example + " can change the directory " +
                            editDir->Text() +
                            ". Choose another directory, or make it changeable by "
                            "administrators only.",
                        TDialogKind::dkWarning, ButtonBit(dbOK), 0);
      return false;
    }
    return true;
  }
  // Its own rights, never those of the parent: a drive root lets every
  // user change what is created in it, and the services run from here.
  if (!CreateProtectedDirectory(editDir->Text(), TProtection::kInstalled)) {
    ShowMessageDialog("Directory " + editDir->Text() + " cannot be created. Enter another path...",
                      TDialogKind::dkWarning, ButtonBit(dbOK), 0);
    return false;
  }
  // Made by this installation: an abort removes it again.
  engine_.Journal().DestinationCreated(editDir->Text());
  Log("Created directory " + editDir->Text());
  return true;
}

void TfrmDialog::btnNextClick(TObject*) {
  const int page = PageIndex();
  if (page == kDestinationPage) {
    if (!AcceptDestination())
      return;
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
  // The request to leave stands however it came (Cancel, or the window's
  // own close): the sequence must not carry on past this point.
  btnExit->SetTag(1);
  // Only what this installation created goes, and what it replaced comes
  // back: a destination that held the user's files stays as it was.
  if (PageIndex() == kInstallingPage)
    Log("The installation was cancelled; undoing it");
  if (PageIndex() == kInstallingPage && !engine_.RollBack()) {
    Application->SetResultCode(ERROR_INSTALL_FAILURE);
    // Said before termination is requested, which would close the box at
    // once: the user must learn where the only copies of their files are.
    const std::string kept = engine_.Journal().KeptCopiesFolder();
    if (!kept.empty()) {
      ShowMessageDialog(
          "Some of your files could not be restored. The originals are kept in " + kept + ".",
          TDialogKind::dkWarning, ButtonBit(dbOK), 0);
    }
  }
  if (PageIndex() != kSuccessPage)
    Application->SetResultCode(ERROR_INSTALL_USEREXIT);
  Application->RequestTermination();
}

TDestination TfrmDialog::Destination() const {
  return DestinationFromText(editDir->Text());
}

TInstallPayloads TfrmDialog::Payloads() const {
  return {qvdaemon, qvmanager, qvscanner, qvmonitor, licence,
          readme,   register2, helpfile,  uninstall};
}

void TfrmDialog::RunInstallSequence() {
  btnExit->SetCaption("Cancel");
  btnBack->Hide();
  btnNext->SetEnabled(false);
  const TDestination destination = Destination();
  if (!engine_.WriteFiles(destination, Payloads()))
    return;
  if (!engine_.RunFinalPhase(destination))
    return;
  // Before Success: an installation the uninstaller could not take back
  // out is not a success.
  engine_.RecordInstallation(destination);
  Notebook->SetPageIndex(PageIndex() + 1);
  if (PageIndex() == kSuccessPage)
    engine_.Journal().Commit();
}

void TfrmDialog::StatusChanged(const std::string& text) {
  lblFileName->SetCaption(text);
}

void TfrmDialog::ProgressChanged(int position) {
  pbar->SetPosition(position);
}

// Pending messages are handled here, a click on Cancel among them.
void TfrmDialog::LetUserAct() {
  Application->PumpMessages();
}

// The Cancel flag: the tag of btnExit, 1 while the request to leave stands.
bool TfrmDialog::Cancelled() const {
  return btnExit->Tag() == 1;
}

}  // namespace qv
