#pragma once
// The full-screen background window. Its creation handler runs the
// pre-install checks while no window is visible; its one-shot start timer
// then shows the wizard.
#include "platform/Forms.h"
#include "platform/Timer.h"
#include "wizard/WizardDialog.h"

namespace qv {

class TfrmBackground : public TForm, public TEarlierInstallation {
 public:
  explicit TfrmBackground(TComponent* owner);
  const char* ClassName() const noexcept override { return "TfrmBackground"; }

  TTimer* tStart = nullptr;

  void FormCreate(TObject* sender);
  void tStartTimer(TObject* sender);
};

extern TfrmBackground* frmBackground;

}  // namespace qv
