#pragma once
// Message dialogs: every question and error the installer puts to the user.
// A small modal window built at run time: optional system icon, the message
// text as a real STATIC control, and a row of push buttons.
#include <memory>
#include <string>
#include <vector>

#include "controls/ExtCtrls.h"
#include "shell/Forms.h"
#include "controls/StdCtrls.h"
#include "ui/MessageDialogLayout.h"

namespace qv {

class TMessageForm : public TForm {
 public:
  explicit TMessageForm(TComponent* owner);
  const char* ClassName() const noexcept override { return "TMessageForm"; }

  int HelpContext = 0;
  std::string HelpFile;

  // Ctrl+C copies the dialog's text to the clipboard.
  bool PreviewKeyDown(WORD key, TShiftState shift) override;
  // The text Ctrl+C puts on the clipboard.
  std::string CopyText() const;
  void CopyToClipboard() const;

 private:
  friend std::unique_ptr<TMessageForm> BuildMessageDialog(const std::string&, TDialogKind,
                                                          TDialogButtons);
  TLabel* message_ = nullptr;
  std::vector<TButton*> buttons_;
};

// Builds the dialog (not shown). It is owned by the application until the
// returned pointer destroys it.
std::unique_ptr<TMessageForm> BuildMessageDialog(const std::string& text, TDialogKind kind,
                                                 TDialogButtons buttons);

TModalResult ShowMessageDialog(const std::string& text, TDialogKind kind, TDialogButtons buttons,
                               int helpContext);
// Where nobody is at the screen, the answer a dialog gets without being
// shown; resNone shows it after all. Null: every dialog is shown.
using TUnattendedAnswer = TModalResult (*)(const std::string& text, TDialogKind kind,
                                           TDialogButtons buttons);
void SetUnattendedAnswer(TUnattendedAnswer answer) noexcept;
// X or Y negative keeps the built position on that axis; only when both are
// negative is the dialog centred when shown.
TModalResult ShowMessageDialogAt(const std::string& text, TDialogKind kind, TDialogButtons buttons,
                                 int helpContext, int x, int y, const std::string& helpFile);
// A plain text with the application title as caption and one OK button.
void ShowNotice(const std::string& text);

// The per-process button width cache (0 until the kind was first needed).
int CachedButtonWidth(TDialogButton button);

}  // namespace qv
