#include "wizard/WizardDialog.h"

#include <windows.h>

#include "core/PathUtil.h"
#include "core/TypeInfoBuilder.h"
#include "platform/Application.h"
#include "ui/MessageDialog.h"

namespace qv {

TfrmDialog* frmDialog = nullptr;
const TEarlierInstallation* TfrmDialog::EarlierInstallation = nullptr;

namespace {
constexpr int kDestinationPage = 3;
constexpr int kInstallingPage = 4;
constexpr int kSuccessPage = 5;

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
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
  editDir->SetText(DirectoryPart(EarlierInstallation->ServiceImagePath));
  editDir->SetEnabled(false);
  btnBrowse->SetEnabled(false);
}

void TfrmDialog::btnNextClick(TObject*) {
  const int page = PageIndex();
  if (page == kDestinationPage) {
    if (!IsExistingDirectory(editDir->Text()) &&
        ::CreateDirectoryA(editDir->Text().c_str(), nullptr) == FALSE) {
      ShowMessageDialog(
          "Directory " + editDir->Text() + " cannot be created. Enter another path...",
          TDialogKind::dkWarning, ButtonBit(dbOK), 0);
      return;
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

void TfrmDialog::btnBrowseClick(TObject*) {}

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
      btnExit->SetCaption("Cancel");
      btnBack->Hide();
      btnNext->SetEnabled(false);
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
    SilentAbort();
  }
  Application->RequestTermination();
}

}  // namespace qv
