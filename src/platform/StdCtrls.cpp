#include "platform/StdCtrls.h"

namespace qv {

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
  if (active == activeLook_) return;
  activeLook_ = active;
  if (HandleAllocated()) {
    ::SendMessageA(handle_, BM_SETSTYLE, active ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

void TButton::Click() {
  if (modalResult_ != resNone) {
    if (TCustomForm* form = ParentForm()) form->SetModalResult(modalResult_);
  }
  TWinControl::Click();
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
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
  if (!showAccelChar_) params.style |= SS_NOPREFIX;
  if (transparent_) params.exStyle |= WS_EX_TRANSPARENT;
}

void TLabel::Recreate() {
  if (!HandleAllocated()) return;
  DestroyHandle();
  HandleNeeded();
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  Recreate();
}

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Recreate();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Recreate();
}

void TLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_) return;
  showAccelChar_ = value;
  Recreate();
}

HBRUSH TLabel::CtlColor(HDC dc) {
  ::SetTextColor(dc, ColorToRGB(Enabled() ? Font().Color() : clGrayText));
  if (transparent_) {
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
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
  if (readOnly_) params.style |= ES_READONLY;
  params.exStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  if (HandleAllocated()) ::SendMessageA(handle_, EM_SETREADONLY, value ? TRUE : FALSE, 0);
}

}  // namespace qv
