#pragma once
// The wizard window TfrmDialog: the installer's only interactive window,
// shown modally by the background window's start timer.
#include <array>
#include <string>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

namespace qv {

// What the start-up checks found about an earlier installation; the
// background window carries it and the wizard's creation handler reads it.
struct TEarlierInstallation {
  bool PreviousInstall = false;
  std::string ServiceImagePath;
};

class TfrmDialog : public TForm {
 public:
  explicit TfrmDialog(TComponent* owner);
  const char* ClassName() const noexcept override { return "TfrmDialog"; }

  // Set by the program entry before the wizard is created.
  static const TEarlierInstallation* EarlierInstallation;

  // Twelve flags, one per install step; index 1 is never used.
  std::array<bool, 12> StepFlags{};

  TButton* btnBack = nullptr;
  TButton* btnNext = nullptr;
  TButton* btnExit = nullptr;
  TEdit* editDir = nullptr;
  TButton* btnBrowse = nullptr;

  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void btnExitClick(TObject* sender);

  int PageIndex() const noexcept { return pageIndex_; }

 private:
  int pageIndex_ = 0;
};

extern TfrmDialog* frmDialog;

}  // namespace qv
