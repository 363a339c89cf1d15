#include "setup/BackgroundWindow.h"

namespace qv {

TfrmBackground* frmBackground = nullptr;

namespace {
constexpr uint32_t kStartDelayMs = 300;
}  // namespace

TfrmBackground::TfrmBackground(TComponent* owner) : TForm(owner) {
  SetName("frmBackground");
  SetCaption("Installing Quolvex Antivirus 5.0");
  SetBounds(192, 106, 696, 481);
  SetWindowState(TWindowState::wsMaximized);
  SetColor(clNavy);

  tStart = new TTimer(this);
  tStart->SetName("tStart");
  tStart->SetInterval(0);
  tStart->SetOnTimer([this](TObject* sender) { tStartTimer(sender); });

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

void TfrmBackground::FormCreate(TObject*) {
  PreviousInstall = false;
  ServiceImagePath.clear();
  tStart->SetInterval(kStartDelayMs);
}

void TfrmBackground::tStartTimer(TObject*) {
  // Stop first: the wizard's modal run happens inside this tick, and a
  // running timer would enter the handler again meanwhile.
  tStart->SetInterval(0);
  frmDialog->RunModal();
}

}  // namespace qv
