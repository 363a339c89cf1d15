#pragma once
// The wizard window TfrmDialog: the installer's only interactive window,
// built from its form resource and shown modally by the background window's
// start timer.
#include <array>
#include <string>

#include "payload/CompressedBinaryData.h"
#include "wizard/InstallJournal.h"
#include "platform/ExtCtrls.h"
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
  QV_TYPE_INFO
 public:
  explicit TfrmDialog(TComponent* owner);

  // Set by the program entry before the wizard is created.
  static const TEarlierInstallation* EarlierInstallation;

  // Twelve flags, one per install step; index 1 is never used.
  std::array<bool, 12> StepFlags{};

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
  // The final phase: configuration defaults, services, program menu.
  void WriteDefaultSettings();
  void RegisterServices();
  void CreateProgramMenu();
  // One shell link; the setters' and the save's results are not examined.
  void CreateShortcut(const std::string& target, const std::string& shortcutFile,
                      const std::string& arguments, const std::string& description,
                      const std::string& workingDirectory);

  // What this installation changed in the destination.
  TInstallJournal& Journal() noexcept { return journal_; }

 private:
  // The destination prefix: editDir's text, with "\" unless empty or
  // already ending in one.
  std::string DestinationPrefix() const;

  TInstallJournal journal_;
  bool registeringServices_ = false;
};

extern TfrmDialog* frmDialog;

}  // namespace qv
