#pragma once
// The standard controls as real Win32 controls, so that screen readers and
// UI automation can read them: BUTTON (push button, check box, group box),
// STATIC and EDIT (single line and memo).
#include <string>
#include <vector>

#include "controls/Controls.h"

namespace qv {

class TButton : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TButton(TComponent* owner);

  bool Default() const noexcept { return default_; }
  void SetDefault(bool value);
  bool Cancel() const noexcept { return cancel_; }
  void SetCancel(bool value) noexcept { cancel_ = value; }
  TModalResult ModalResult() const noexcept { return modalResult_; }
  void SetModalResult(TModalResult result) noexcept { modalResult_ = result; }

  // A button with a modal result ends its window's modal run with it.
  void Click() override;
  // Its caption's accelerator, in either case, clicks it while it can take
  // the focus.
  bool DialogChar(char character) override;
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
const TEnumInfo& AlignmentEnum();

class TLabel : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TLabel(TComponent* owner);

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
  QV_TYPE_INFO
 public:
  explicit TEdit(TComponent* owner);

  bool ReadOnly() const noexcept { return readOnly_; }
  void SetReadOnly(bool value);

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool readOnly_ = false;
};

class TCheckBox : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TCheckBox(TComponent* owner);

  bool Checked() const;
  // A real change fires OnClick, as a click on the box does.
  void SetChecked(bool value);

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void CommandNotify(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;

 private:
  bool checked_ = false;
};

class TGroupBox : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TGroupBox(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
  HBRUSH CtlColor(HDC dc) override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// An ordered list of text lines, stored in form streams as the defined
// property "Strings": a list of string values.
class TStrings : public TPersistent {
  QV_TYPE_INFO
 public:
  void DefineProperties(TFiler& filer) override;
  const std::vector<std::string>& Lines() const noexcept { return lines_; }
  void SetLines(std::vector<std::string> lines);
  void Add(const std::string& line);
  void Clear();
  int Count() const noexcept { return static_cast<int>(lines_.size()); }
  // The lines joined by CR LF.
  std::string Text() const;

  std::function<void()> OnChange;

 private:
  std::vector<std::string> lines_;
};

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
const TEnumInfo& ScrollStyleEnum();

class TMemo : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TMemo(TComponent* owner);

  TStrings& Lines() noexcept { return lines_; }
  TScrollStyle ScrollBars() const noexcept { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  bool ReadOnly() const noexcept { return readOnly_; }
  void SetReadOnly(bool value);

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  HBRUSH CtlColor(HDC dc) override;

 private:
  TStrings lines_;
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
  bool readOnly_ = false;
};

}  // namespace qv
