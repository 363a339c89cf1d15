#pragma once
// The standard controls as real Win32 controls, so that screen readers and
// UI automation can read them: BUTTON, STATIC and EDIT.
#include "platform/Controls.h"
#include "platform/Forms.h"

namespace qv {

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  const char* ClassName() const noexcept override { return "TButton"; }

  bool Default() const noexcept { return default_; }
  void SetDefault(bool value);
  bool Cancel() const noexcept { return cancel_; }
  void SetCancel(bool value) noexcept { cancel_ = value; }
  TModalResult ModalResult() const noexcept { return modalResult_; }
  void SetModalResult(TModalResult result) noexcept { modalResult_ = result; }

  // A button with a modal result ends its window's modal run with it.
  void Click() override;
  // The "default push button" frame: on the focused button, or on the
  // default button while the focus is on something else.
  void SetActiveLook(bool active);

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  bool activeLook_ = false;
  TModalResult modalResult_ = resNone;
};

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TWinControl {
 public:
  explicit TLabel(TComponent* owner);
  const char* ClassName() const noexcept override { return "TLabel"; }

  bool WordWrap() const noexcept { return wordWrap_; }
  void SetWordWrap(bool value);
  TAlignment Alignment() const noexcept { return alignment_; }
  void SetAlignment(TAlignment value);
  bool Transparent() const noexcept { return transparent_; }
  void SetTransparent(bool value);
  // Without it, '&' is drawn as it is instead of marking an accelerator.
  bool ShowAccelChar() const noexcept { return showAccelChar_; }
  void SetShowAccelChar(bool value);

 protected:
  void CreateParams(TCreateParams& params) override;
  HBRUSH CtlColor(HDC dc) override;

 private:
  void Recreate();
  bool wordWrap_ = false;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  TAlignment alignment_ = TAlignment::taLeftJustify;
};

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  const char* ClassName() const noexcept override { return "TEdit"; }

  bool ReadOnly() const noexcept { return readOnly_; }
  void SetReadOnly(bool value);

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool readOnly_ = false;
};

}  // namespace qv
