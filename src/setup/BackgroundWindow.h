#pragma once
// The full-screen background window, built from its form resource. Its
// creation handler runs the pre-install checks while no window is visible;
// its one-shot start timer then shows the wizard.
#include "shell/Forms.h"
#include "controls/Timer.h"
#include "ui/GPanel.h"
#include "ui/RxLabel.h"
#include "install/EarlierInstallation.h"

namespace qv {

class TfrmBackground : public TForm, public TEarlierInstallation {
  QV_TYPE_INFO
 public:
  explicit TfrmBackground(TComponent* owner);

  TGPanel* GPanel1 = nullptr;
  TRxLabel* RxLabel4 = nullptr;
  TRxLabel* RxLabel2 = nullptr;
  TRxLabel* RxLabel3 = nullptr;
  TRxLabel* RxLabel1 = nullptr;
  TTimer* tStart = nullptr;

  void FormCreate(TObject* sender);
  void tStartTimer(TObject* sender);

  // Whether the user running the installer is in the built-in
  // Administrators group.
  bool IsAdministrator();
};

extern TfrmBackground* frmBackground;

}  // namespace qv
