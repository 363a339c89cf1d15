#pragma once
// The wizard window TfrmDialog: the installer's only interactive window,
// built from its form resource and shown modally by the background window's
// start timer.
#include <string>

#include "formstream/CompressedBinaryData.h"
#include "install/EarlierInstallation.h"
#include "install/InstallEngine.h"
#include "controls/ExtCtrls.h"
#include "shell/Forms.h"
#include "controls/StdCtrls.h"

namespace qv {

class TfrmDialog : public TForm, private TInstallProgress, private TInstallCancel {
  QV_TYPE_INFO
 public:
  explicit TfrmDialog(TComponent* owner);

  // Set by the program entry before the wizard is created.
  static const TEarlierInstallation* EarlierInstallation;

  // Bound by the form resource to its components of the same names.
  TBevel* Bevel1 = nullptr;
  TPanel* Panel1 = nullptr;
  TButton* btnBack = nullptr;
  TButton* btnNext = nullptr;
  TButton* btnExit = nullptr;
  TNotebook* Notebook = nullptr;
  TMemo* Memo1 = nullptr;
  TCheckBox* cbAgree = nullptr;
  TMemo* Memo2 = nullptr;
  TGroupBox* GroupBox1 = nullptr;
  TEdit* editDir = nullptr;
  TButton* btnBrowse = nullptr;
  TLabel* lblFileName = nullptr;
  TProgressBar* pbar = nullptr;
  TCompressedBinaryData* qvdaemon = nullptr;
  TCompressedBinaryData* qvmanager = nullptr;
  TCompressedBinaryData* qvscanner = nullptr;
  TCompressedBinaryData* licence = nullptr;
  TCompressedBinaryData* readme = nullptr;
  TCompressedBinaryData* register2 = nullptr;
  TCompressedBinaryData* uninstall = nullptr;
  TCompressedBinaryData* qvmonitor = nullptr;
  TCompressedBinaryData* helpfile = nullptr;

  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void btnNextClick(TObject* sender);
  void btnBackClick(TObject* sender);
  void btnExitClick(TObject* sender);
  void cbAgreeClick(TObject* sender);
  void btnBrowseClick(TObject* sender);
  void NotebookPageChanged(TObject* sender);

  int PageIndex() const { return Notebook != nullptr ? Notebook->PageIndex() : 0; }

  // The page-4 work: the eleven flagged steps, then the final phase, then
  // the next page. Entered again (nested) by a No to the abort question.
  void RunInstallSequence();

  // The installation engine the page-4 work drives: its step flags and its
  // journal live for the whole program run.
  TInstallEngine& Engine() noexcept { return engine_; }

  // Set before the wizard is created when nobody is to be asked: the
  // destination given on the command line (empty: as the page has it; an
  // earlier installation's folder wins either way), and, for a passive run,
  // whether the wizard goes straight to the installing page and closes
  // itself at the end.
  static std::string GivenDestination;
  static bool Passive;

  // The whole installation without a window: the destination as the page
  // would accept it, the sequence, the commit. The Windows installer's
  // result: 0, or ERROR_INSTALL_FAILURE once whatever was done is undone.
  int InstallUnattended();
  // Ends a passive run that failed: what the installation did is undone
  // and the program ends with ERROR_INSTALL_FAILURE.
  void Abandon();

 private:
  // The destination as editDir gives it now.
  TDestination Destination() const;
  TInstallPayloads Payloads() const;
  // The destination page's Next: an existing directory must be the
  // administrators' own, a new one is made with protected rights. False,
  // the user told why, when it cannot be used.
  bool AcceptDestination();

  void StatusChanged(const std::string& text) override;
  void ProgressChanged(int position) override;
  void LetUserAct() override;
  bool Cancelled() const override;

  TInstallEngine engine_{*this, *this};
};

extern TfrmDialog* frmDialog;

}  // namespace qv
