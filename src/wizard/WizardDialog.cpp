#include "wizard/WizardDialog.h"

#include "core/PathUtil.h"
#include "platform/Application.h"
#include "ui/MessageDialog.h"

namespace qv {

TfrmDialog* frmDialog = nullptr;
const TEarlierInstallation* TfrmDialog::EarlierInstallation = nullptr;

namespace {
constexpr int kInstallingPage = 4;
constexpr int kSuccessPage = 5;
}  // namespace

TfrmDialog::TfrmDialog(TComponent* owner) : TForm(owner) {
  SetName("frmDialog");
  SetCaption("Installing Quolvex Antivirus 5.0");
  SetBorderStyle(TFormBorderStyle::bsSingle);
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poScreenCenter);
  SetColor(clWhite);
  Font().SetName("MS Sans Serif");
  Font().SetHeight(-11);
  SetClientSize(447, 357);

  const auto makeButton = [this](const char* name, const char* caption, int left) {
    auto* button = new TButton(this);
    button->SetName(name);
    button->SetParent(this);
    button->SetCaption(caption);
    button->SetBounds(left, 309 + 2 + 11, 75, 23);
    return button;
  };
  btnBack = makeButton("btnBack", "< Back", 194);
  btnBack->SetVisible(false);
  btnNext = makeButton("btnNext", "Next >", 275);
  btnExit = makeButton("btnExit", "Exit", 362);
  btnExit->OnClick = [this](TObject* sender) { btnExitClick(sender); };

  editDir = new TEdit(this);
  editDir->SetName("editDir");
  editDir->SetParent(this);
  editDir->SetBounds(48, 192, 271, 21);
  editDir->SetCaption("C:\\Program Files\\QuolvexAntivirus");
  btnBrowse = makeButton("btnBrowse", "Browse...", 326);
  btnBrowse->SetTop(191);

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

void TfrmDialog::FormCreate(TObject*) {
  StepFlags.fill(false);
  if (EarlierInstallation == nullptr || !EarlierInstallation->PreviousInstall) return;
  editDir->SetText(DirectoryPart(EarlierInstallation->ServiceImagePath));
  editDir->SetEnabled(false);
  btnBrowse->SetEnabled(false);
}

void TfrmDialog::btnExitClick(TObject* sender) {
  if (pageIndex_ == kInstallingPage) {
    TCloseAction action = TCloseAction::caHide;
    FormClose(sender, action);
  }
  if (pageIndex_ == kSuccessPage) Application->RequestTermination();
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
