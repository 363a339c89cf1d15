#include "ui/RxLabel.h"

#include "core/ShellText.h"
#include "core/TypeInfoBuilder.h"

namespace qv {

const TEnumInfo& ShadowPositionEnum() {
  static const TEnumInfo info{"TShadowPosition",
                              {"spLeftTop", "spLeftBottom", "spRightBottom", "spRightTop"}};
  return info;
}

const TEnumInfo& TextLayoutEnum() {
  static const TEnumInfo info{"TTextLayout", {"tlTop", "tlCenter", "tlBottom"}};
  return info;
}

int DrawShadowText(HDC dc, const std::string& text, RECT& rect, UINT flags, int shadowSize,
                   COLORREF shadowColor, TShadowPosition position) {
  RECT textRect = rect;
  RECT shadowRect = rect;
  const COLORREF previous = ::SetTextColor(dc, shadowColor);
  const int s = shadowSize;
  switch (position) {
    case TShadowPosition::spLeftTop:
      ::OffsetRect(&shadowRect, -s, -s);
      break;
    case TShadowPosition::spLeftBottom:
      ::OffsetRect(&shadowRect, -s, s);
      break;
    case TShadowPosition::spRightBottom:
      ::OffsetRect(&shadowRect, s, s);
      break;
    case TShadowPosition::spRightTop:
      ::OffsetRect(&shadowRect, s, -s);
      break;
  }
  int result = ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &shadowRect, flags);
  if (result > 0)
    result += s;
  ::SetTextColor(dc, previous);
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect, flags);
  ::UnionRect(&rect, &textRect, &shadowRect);
  return result;
}

namespace {
// A reference to another control of the window, resolved by name once the
// whole window has been read.
TPropInfo FocusControlProperty() {
  TPropInfo focus;
  focus.Name = "FocusControl";
  focus.Kind = TTypeKind::tkClass;
  focus.TypeName = "TWinControl";
  focus.ObjectClass = &TWinControl::StaticClassInfo();
  focus.GetObj = [](TObject& o) -> TObject* {
    return static_cast<TRxCustomLabel&>(o).FocusControl();
  };
  focus.SetObj = [](TObject& o, TObject* value) {
    static_cast<TRxCustomLabel&>(o).SetFocusControl(dynamic_cast<TWinControl*>(value));
  };
  return focus;
}
}  // namespace

const TClassInfo& TRxCustomLabel::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo built =
        ClassInfoBuilder<TRxCustomLabel>("TRxCustomLabel", &TControl::StaticClassInfo())
            .Enumeration("Alignment", AlignmentEnum(), &TRxCustomLabel::Alignment,
                         &TRxCustomLabel::SetAlignment)
            .Default(0)
            .Boolean("AutoSize", &TRxCustomLabel::AutoSize, &TRxCustomLabel::SetAutoSize)
            .Default(1)
            .Enumeration("Layout", TextLayoutEnum(), &TRxCustomLabel::Layout,
                         &TRxCustomLabel::SetLayout)
            .Default(0)
            .Boolean("WordWrap", &TRxCustomLabel::WordWrap, &TRxCustomLabel::SetWordWrap)
            .Default(0)
            .Integer("ShadowColor", &TRxCustomLabel::ShadowColor, &TRxCustomLabel::SetShadowColor,
                     "TColor")
            .Default(clBtnHighlight)
            .Integer("ShadowSize", &TRxCustomLabel::ShadowSize, &TRxCustomLabel::SetShadowSize,
                     "Byte")
            .Default(1)
            .Enumeration("ShadowPos", ShadowPositionEnum(), &TRxCustomLabel::ShadowPos,
                         &TRxCustomLabel::SetShadowPos)
            .Default(0)
            .Boolean("Transparent", &TRxCustomLabel::Transparent, &TRxCustomLabel::SetTransparent)
            .Default(0)
            .Boolean("ShowAccelChar", &TRxCustomLabel::ShowAccelChar,
                     &TRxCustomLabel::SetShowAccelChar)
            .Default(1)
            .Boolean("ShowFocus", &TRxCustomLabel::ShowFocus, &TRxCustomLabel::SetShowFocus)
            .Default(0)
            .EventField("OnMouseEnter", &TRxCustomLabel::OnMouseEnter)
            .EventField("OnMouseLeave", &TRxCustomLabel::OnMouseLeave)
            .Build();
    built.Properties.push_back(FocusControlProperty());
    return built;
  }();
  return info;
}

const TClassInfo& TRxLabel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TRxLabel>("TRxLabel", &TRxCustomLabel::StaticClassInfo())
          .Creatable()
          .Build();
  return info;
}

TRxCustomLabel::TRxCustomLabel(TComponent* owner) : TControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
}

void TRxCustomLabel::SetAlignment(TAlignment value) {
  if (value == alignment_)
    return;
  alignment_ = value;
  Invalidate();
}
void TRxCustomLabel::SetAutoSize(bool value) {
  if (value == autoSize_)
    return;
  autoSize_ = value;
  AdjustBounds();
}
void TRxCustomLabel::SetLayout(TTextLayout value) {
  if (value == layout_)
    return;
  layout_ = value;
  Invalidate();
}
void TRxCustomLabel::SetWordWrap(bool value) {
  if (value == wordWrap_)
    return;
  wordWrap_ = value;
  AdjustBounds();
}
void TRxCustomLabel::SetShadowColor(TColor value) {
  if (value == shadowColor_)
    return;
  shadowColor_ = value;
  Invalidate();
}
void TRxCustomLabel::SetShadowSize(int value) {
  value &= 0xFF;
  if (value == shadowSize_)
    return;
  shadowSize_ = value;
  AdjustBounds();
  Invalidate();
}
void TRxCustomLabel::SetShadowPos(TShadowPosition value) {
  if (value == shadowPos_)
    return;
  shadowPos_ = value;
  Invalidate();
}
void TRxCustomLabel::SetTransparent(bool value) {
  if (value == transparent_)
    return;
  transparent_ = value;
  Invalidate();
}
void TRxCustomLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_)
    return;
  showAccelChar_ = value;
  Invalidate();
}

void TRxCustomLabel::SetFocusControl(TWinControl* value) {
  if (value != focusControl_) {
    RemoveFreeNotification(focusControl_);
    FreeNotification(value);
  }
  focusControl_ = value;
  if (showFocus_)
    Invalidate();
}

void TRxCustomLabel::Notification(TComponent* component, Operation operation) {
  TControl::Notification(component, operation);
  // The link is already undone on both sides; only the property is left.
  if (operation == Operation::Remove && component != nullptr && component == focusControl_) {
    focusControl_ = nullptr;
    focused_ = false;
    if (showFocus_)
      Invalidate();
  }
}

void TRxCustomLabel::SetShowFocus(bool value) {
  if (value == showFocus_)
    return;
  showFocus_ = value;
  Invalidate();
}

void TRxCustomLabel::TextChanged() {
  Invalidate();
  AdjustBounds();
}

void TRxCustomLabel::FontChanged() {
  TControl::FontChanged();
  AdjustBounds();
}

void TRxCustomLabel::EnabledChanged() {
  TControl::EnabledChanged();
  UpdateTracking();
}

void TRxCustomLabel::VisibleChanged() {
  TControl::VisibleChanged();
  UpdateTracking();
}

void TRxCustomLabel::Loaded() {
  TControl::Loaded();
  AdjustBounds();
}

namespace {
// Controls with the flat, new-style look: the engraved disabled text then
// needs a shadow even when the label has none.
bool NewStyleControls() {
  return LOBYTE(LOWORD(::GetVersion())) >= 4;
}
}  // namespace

void TRxCustomLabel::DrawLabelText(HDC dc, RECT& rect, UINT flags) {
  std::string text = TextToDraw();
  // An empty label still measures one line.
  if ((flags & DT_CALCRECT) != 0 && (text.empty() || (showAccelChar_ && text == "&"))) {
    text += ' ';
  }
  if (!showAccelChar_) {
    flags |= DT_NOPREFIX;
  } else {
    // A trailing ampersand marks no character; some text renderers would
    // draw it as it is instead of drawing nothing.
    const size_t last = text.find_last_not_of('&');
    const size_t run = text.size() - (last == std::string::npos ? 0 : last + 1);
    if (run % 2 == 1)
      text.pop_back();
  }
  SelectGuard font(dc, Font().Handle());
  COLORREF textColor = ColorToRGB(TextColor());
  TShadowPosition position = shadowPos_;
  int size = shadowSize_;
  COLORREF shadow = ColorToRGB(shadowColor_);
  if (!Enabled()) {
    if (size == 0 && NewStyleControls()) {
      position = TShadowPosition::spRightBottom;
      size = 1;
    }
    textColor = ColorToRGB(clGrayText);
    shadow = ColorToRGB(clBtnHighlight);
  }
  ::SetTextColor(dc, textColor);
  DrawShadowText(dc, text, rect, flags, size, shadow, position);
}

void TRxCustomLabel::Paint(HDC dc) {
  if (!Enabled())
    dragging_ = false;
  const RECT client{0, 0, Width(), Height()};
  if (!transparent_) {
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(Color())));
    ::FillRect(dc, &client, brush.get());
  }
  ::SetBkMode(dc, TRANSPARENT);
  RECT rect{client.left + 1, client.top, client.right - 1, client.bottom};
  UINT flags = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0);
  if (alignment_ == TAlignment::taRightJustify)
    flags |= DT_RIGHT;
  if (alignment_ == TAlignment::taCenter)
    flags |= DT_CENTER;
  if (layout_ != TTextLayout::tlTop) {
    DrawLabelText(dc, rect, flags | DT_CALCRECT);
    rect.left = client.left;
    rect.right = client.right;
    const int shift = Height() - rect.bottom;
    ::OffsetRect(&rect, 0, layout_ == TTextLayout::tlBottom ? shift : shift / 2);
  }
  DrawLabelText(dc, rect, flags);
  if (showFocus_ && focusControl_ != nullptr && focused_) {
    ::InflateRect(&rect, 1, 0);
    ::SetBkColor(dc, ColorToRGB(Color()));
    ::DrawFocusRect(dc, &rect);
  }
}

void TRxCustomLabel::AdjustBounds() {
  if (!autoSize_ || HasState(csLoading))
    return;
  RECT rect{1, 0, Width() - 1, Height()};
  {
    WindowDc screen(nullptr);
    DrawLabelText(screen.get(), rect, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
  }
  rect.left -= 1;
  rect.right += 1;
  int left = Left();
  if (alignment_ == TAlignment::taRightJustify)
    left += Width() - rect.right;
  SetBounds(left, Top(), rect.right, rect.bottom);
}

bool TRxCustomLabel::DialogChar(char character) {
  if (focusControl_ == nullptr || !Enabled() || !showAccelChar_)
    return false;
  if (!IsAccelerator(character, Caption()) || !focusControl_->CanFocus())
    return false;
  focusControl_->SetFocus();
  return true;
}

void TRxCustomLabel::FocusChanged(TWinControl* focused) {
  const bool active = focused != nullptr && focused == focusControl_;
  if (active == focused_)
    return;
  focused_ = active;
  if (showFocus_)
    Invalidate();
}

void TRxCustomLabel::SetMouseInside(bool inside) {
  if (inside == mouseInside_)
    return;
  mouseInside_ = inside;
  const TNotifyEvent& event = inside ? OnMouseEnter : OnMouseLeave;
  if (event)
    event(this);
}

void TRxCustomLabel::MouseEnter() {
  // Hovering counts only while one of the installer's windows is active.
  if (Enabled() && ::GetActiveWindow() != nullptr)
    SetMouseInside(true);
}

void TRxCustomLabel::MouseLeave() {
  // A press that started on the label holds it until the release.
  if (Enabled() && !dragging_)
    SetMouseInside(false);
}

void TRxCustomLabel::MouseDown(TMouseButton button) {
  if (button == TMouseButton::mbLeft)
    dragging_ = true;
  else if (button == TMouseButton::mbRight)
    UpdateTracking();
}

void TRxCustomLabel::MouseUp(TMouseButton button) {
  if (button == TMouseButton::mbLeft)
    dragging_ = false;
  if (button != TMouseButton::mbMiddle)
    UpdateTracking();
}

void TRxCustomLabel::UpdateTracking() {
  if (!Enabled())
    return;
  bool inside = false;
  if (Showing() && Parent() != nullptr && Parent()->HandleAllocated()) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(Parent()->Handle(), &cursor);
    const RECT bounds = BoundsRect();
    inside = ::PtInRect(&bounds, cursor) != FALSE;
  }
  SetMouseInside(inside);
}

}  // namespace qv
