#include "setup/BackgroundWindow.h"

#include "core/TypeInfoBuilder.h"

namespace qv {

TfrmBackground* frmBackground = nullptr;

namespace {
constexpr uint32_t kStartDelayMs = 300;
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
