#pragma once
// The installation engine: the eleven flagged steps that write the payloads
// into the destination, the journal an abort undoes, and the final phase
// (configuration defaults, services, program menu). It holds no window: it
// reports through TInstallProgress and learns of Cancel through
// TInstallCancel, so that its re-entry rules can be driven and tested
// without the wizard.
#include <array>
#include <string>

#include "install/Destination.h"
#include "install/InstallJournal.h"

namespace qv {

class TCompressedBinaryData;

// Where the engine's progress goes: the wizard's status label and bar.
class TInstallProgress {
 public:
  virtual void StatusChanged(const std::string& text) = 0;
  virtual void ProgressChanged(int position) = 0;

 protected:
  ~TInstallProgress() = default;
};

// How the engine learns of Cancel: it lets the user act (handles pending
// messages, where a click on Cancel and the abort question happen), then
// asks whether the request to leave stands.
class TInstallCancel {
 public:
  virtual void LetUserAct() = 0;
  virtual bool Cancelled() const = 0;

 protected:
  ~TInstallCancel() = default;
};

// The payload components, by the file each one becomes.
struct TInstallPayloads {
  TCompressedBinaryData* qvdaemon = nullptr;
  TCompressedBinaryData* qvmanager = nullptr;
  TCompressedBinaryData* qvscanner = nullptr;
  TCompressedBinaryData* qvmonitor = nullptr;
  TCompressedBinaryData* licence = nullptr;
  TCompressedBinaryData* readme = nullptr;
  TCompressedBinaryData* register2 = nullptr;
  TCompressedBinaryData* helpfile = nullptr;
  TCompressedBinaryData* uninstall = nullptr;
};

class TInstallEngine {
 public:
  // The journal is kept in journalParent (the temp directory when empty).
  TInstallEngine(TInstallProgress& progress, TInstallCancel& cancel,
                 const std::string& journalParent = {});

  // Twelve flags, one per install step, held for the whole program run;
  // index 1 is never used.
  std::array<bool, 12> StepFlags{};
  // Nobody reads the status line: the pauses kept for a reader are skipped.
  bool Hurry = false;

  // The eleven flagged steps, each skipped when its flag is set: status
  // text, the user's turn, then (unless Cancel now stands) the step, the
  // progress and a pause. False when Cancel stopped them.
  bool WriteFiles(const TDestination& destination, const TInstallPayloads& payloads);
  // The three stages of the final phase, each announced by its status and
  // followed by the user's turn. False when Cancel then stands: an abort
  // confirmed there has removed the destination's files, so nothing may be
  // registered or started from it any more.
  bool RunFinalPhase(const TDestination& destination);

  // Only values that do not exist yet, of whatever type, are written.
  void WriteDefaultSettings();
  // The installer of each service that is not registered yet, by its full
  // path in the destination; a nested entry (a No answered while an
  // installer still runs) leaves them to the entry already running.
  void RegisterServices(const TDestination& destination);
  void CreateProgramMenu(const TDestination& destination);
  static std::string ProgramMenuFolder();
  // One shell link; the setters' and the save's results are not examined.
  static void CreateShortcut(const std::string& target, const std::string& shortcutFile,
                             const std::string& arguments, const std::string& description,
                             const std::string& workingDirectory);

  // After a successful installation, before the journal is committed: the
  // install record in the destination (what this installation made, merged
  // with an earlier installation's record) and the product's entry in the
  // system's list of installed programs. Both are journalled like every
  // other change, so a run that dies before the commit takes them back.
  void RecordInstallation(const TDestination& destination);

  // What this installation changed: its files, configuration values,
  // services and shortcuts. Everything the engine changes is recorded
  // before it is changed.
  TInstallJournal& Journal() noexcept { return journal_; }
  // Undoes the installation after a confirmed abort, once a service
  // installer still running has ended. False when something stays.
  bool RollBack();

 private:
  TInstallProgress& progress_;
  TInstallCancel& cancel_;
  TInstallJournal journal_;
  bool registeringServices_ = false;
  void* runningInstaller_ = nullptr;
};

}  // namespace qv
