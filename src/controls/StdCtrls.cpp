#include "controls/StdCtrls.h"

#include "core/Filer.h"
#include "core/ShellText.h"
#include "core/TypeInfoBuilder.h"

namespace qv {

const TEnumInfo& AlignmentEnum() {
  static const TEnumInfo info{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
  return info;
}

const TEnumInfo& ScrollStyleEnum() {
  static const TEnumInfo info{"TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}};
  return info;
}

const TClassInfo& TButton::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TButton>("TButton", &TWinControl::StaticClassInfo())
          .Creatable()
          .Boolean("Default", &TButton::Default, &TButton::SetDefault)
          .Default(0)
          .Boolean("Cancel", &TButton::Cancel, &TButton::SetCancel)
          .Default(0)
          .Integer("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, "TModalResult")
          .Default(0)
          .Build();
  return info;
}

const TClassInfo& TLabel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TLabel>("TLabel", &TWinControl::StaticClassInfo())
          .Creatable()
          .Enumeration("Alignment", AlignmentEnum(), &TLabel::Alignment, &TLabel::SetAlignment)
          .Default(0)
          .Boolean("Transparent", &TLabel::Transparent, &TLabel::SetTransparent)
          .Default(0)
          .Boolean("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap)
          .Default(0)
          .Boolean("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar)
          .Default(1)
          .Build();
  return info;
}

const TClassInfo& TEdit::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TEdit>("TEdit", &TWinControl::StaticClassInfo())
                                     .Creatable()
                                     .String("Text", &TEdit::Text, &TEdit::SetText)
                                     .Boolean("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly)
                                     .Default(0)
                                     .Build();
  return info;
}

const TClassInfo& TCheckBox::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TCheckBox>("TCheckBox", &TWinControl::StaticClassInfo())
          .Creatable()
          .Boolean("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked)
          .Default(0)
          .Build();
  return info;
}

const TClassInfo& TGroupBox::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TGroupBox>("TGroupBox", &TWinControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const TClassInfo& TStrings::StaticClassInfo() {
  static const TClassInfo info("TStrings", &TPersistent::StaticClassInfo());
  return info;
}

const TClassInfo& TMemo::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TMemo>("TMemo", &TWinControl::StaticClassInfo())
          .Creatable()
          .Object("Lines", TStrings::StaticClassInfo(), [](TMemo& m) { return &m.Lines(); })
          .Enumeration("ScrollBars", ScrollStyleEnum(), &TMemo::ScrollBars, &TMemo::SetScrollBars)
          .Default(0)
          .Boolean("ReadOnly", &TMemo::ReadOnly, &TMemo::SetReadOnly)
          .Default(0)
          .Build();
  return info;
}

// ------------------------------------------------------------------ TButton

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "BUTTON";
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  params.style |= (activeLook_ || default_) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool value) {
  default_ = value;
  SetActiveLook(value);
}

void TButton::SetActiveLook(bool active) {
  if (active == activeLook_)
    return;
  activeLook_ = active;
  if (HandleAllocated()) {
    ::SendMessageA(handle_, BM_SETSTYLE, active ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

void TButton::Click() {
  if (modalResult_ != resNone) {
    if (TFormHost* form = ParentForm())
      form->SetModalResult(modalResult_);
  }
  TWinControl::Click();
}

bool TButton::DialogChar(char character) {
  if (!IsAccelerator(character, Caption()) || !CanFocus())
    return TWinControl::DialogChar(character);
  Click();
  return true;
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED)
    Click();
}

HBRUSH TButton::CtlColor(HDC) {
  // The corners around the button show the parent's background.
  return Parent() != nullptr ? Parent()->ColorBrush() : nullptr;
}

// ------------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* owner) : TWinControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 13);
}

void TLabel::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "STATIC";
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN | WS_TABSTOP);
  switch (alignment_) {
    case TAlignment::taLeftJustify:
      params.style |= wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP;
      break;
    case TAlignment::taRightJustify:
      params.style |= SS_RIGHT;
      break;
    case TAlignment::taCenter:
      params.style |= SS_CENTER;
      break;
  }
  if (!showAccelChar_)
    params.style |= SS_NOPREFIX;
  if (transparent_)
    params.exStyle |= WS_EX_TRANSPARENT;
}

void TLabel::Recreate() {
  if (!HandleAllocated())
    return;
  DestroyHandle();
  HandleNeeded();
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_)
    return;
  wordWrap_ = value;
  Recreate();
}

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_)
    return;
  alignment_ = value;
  Recreate();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_)
    return;
  transparent_ = value;
  Recreate();
}

void TLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_)
    return;
  showAccelChar_ = value;
  Recreate();
}

HBRUSH TLabel::CtlColor(HDC dc) {
  ::SetTextColor(dc, ColorToRGB(Enabled() ? Font().Color() : clGrayText));
  if (transparent_ && Parent() != nullptr) {
    // The parent's background behind the text: a system static control
    // with no brush would leave its old text standing when the text
    // changes, since the parent does not paint under its children.
    ::SetBkMode(dc, TRANSPARENT);
    return Parent()->ColorBrush();
  }
  ::SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

// -------------------------------------------------------------------- TEdit

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 121, 21);
}

void TEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "EDIT";
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  params.style |= ES_AUTOHSCROLL | ES_LEFT;
  if (readOnly_)
    params.style |= ES_READONLY;
  params.exStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  if (HandleAllocated())
    ::SendMessageA(handle_, EM_SETREADONLY, value ? TRUE : FALSE, 0);
}

// ---------------------------------------------------------------- TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetParentColor(true);
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "BUTTON";
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  // Checked state is ours: the click handler decides, as the box's owner.
  params.style |= BS_CHECKBOX;
}

void TCheckBox::HandleCreated() {
  ::SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const {
  return checked_;
}

void TCheckBox::SetChecked(bool value) {
  if (value == checked_)
    return;
  checked_ = value;
  if (HandleAllocated()) {
    ::SendMessageA(handle_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  // Loading a stored state is no click.
  if (!HasState(csLoading))
    Click();
}

void TCheckBox::CommandNotify(WORD code) {
  if (code == BN_CLICKED)
    SetChecked(!checked_);
}

HBRUSH TCheckBox::CtlColor(HDC dc) {
  ::SetTextColor(dc, ColorToRGB(Font().Color()));
  ::SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "BUTTON";
  params.systemClass = true;
  params.style |= BS_GROUPBOX;
  params.style &= ~static_cast<DWORD>(WS_TABSTOP);
}

HBRUSH TGroupBox::CtlColor(HDC dc) {
  ::SetTextColor(dc, ColorToRGB(Font().Color()));
  ::SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

LRESULT TGroupBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The system group box does not pass its children's notifications on, and
  // paints no background of its own.
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r;
      ::GetClientRect(handle_, &r);
      ::FillRect(reinterpret_cast<HDC>(wParam), &r, ColorBrush());
      return 1;
    }
    default:
      return TWinControl::WndProc(message, wParam, lParam);
  }
}

// ----------------------------------------------------------------- TStrings

void TStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings", [this](TReader& reader) { SetLines(ReadStringList(reader)); },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (const std::string& line : lines_)
          writer.WriteString(line);
        writer.WriteListEnd();
      },
      !lines_.empty());
}

void TStrings::SetLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  if (OnChange)
    OnChange();
}

void TStrings::Add(const std::string& line) {
  lines_.push_back(line);
  if (OnChange)
    OnChange();
}

void TStrings::Clear() {
  lines_.clear();
  if (OnChange)
    OnChange();
}

std::string TStrings::Text() const {
  std::string text;
  for (const std::string& line : lines_)
    text += line + "\r\n";
  return text;
}

// -------------------------------------------------------------------- TMemo

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 185, 89);
  lines_.OnChange = [this] {
    if (HandleAllocated())
      ::SetWindowTextA(handle_, lines_.Text().c_str());
  };
}

void TMemo::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "EDIT";
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  params.style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT;
  if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) {
    params.style |= WS_VSCROLL;
  }
  if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) {
    params.style |= WS_HSCROLL | ES_AUTOHSCROLL;
  }
  if (readOnly_)
    params.style |= ES_READONLY;
  params.exStyle |= WS_EX_CLIENTEDGE;
}

void TMemo::HandleCreated() {
  ::SetWindowTextA(handle_, lines_.Text().c_str());
}

void TMemo::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_)
    return;
  scrollBars_ = value;
  if (HandleAllocated()) {
    DestroyHandle();
    HandleNeeded();
  }
}

void TMemo::SetReadOnly(bool value) {
  readOnly_ = value;
  if (HandleAllocated())
    ::SendMessageA(handle_, EM_SETREADONLY, value ? TRUE : FALSE, 0);
}

HBRUSH TMemo::CtlColor(HDC dc) {
  // Read-only edits ask with WM_CTLCOLORSTATIC: both get the memo's colour.
  ::SetTextColor(dc, ColorToRGB(Font().Color()));
  ::SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

}  // namespace qv
