#include "ui/RxLabel.h"

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

const TClassInfo& TRxCustomLabel::StaticClassInfo() {
  static const TClassInfo info =
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
          .Build();
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

void TRxCustomLabel::TextChanged() {
  Invalidate();
  AdjustBounds();
}

void TRxCustomLabel::FontChanged() {
  TControl::FontChanged();
  AdjustBounds();
}

void TRxCustomLabel::Loaded() {
  TControl::Loaded();
  AdjustBounds();
}

void TRxCustomLabel::DrawLabelText(HDC dc, RECT& rect, UINT flags) {
  std::string text = TextToDraw();
  if ((flags & DT_CALCRECT) != 0 && (text.empty() || (showAccelChar_ && text == "&"))) {
    text += ' ';
  }
  if (!showAccelChar_)
    flags |= DT_NOPREFIX;
  SelectGuard font(dc, Font().Handle());
  ::SetBkMode(dc, TRANSPARENT);
  TShadowPosition position = shadowPos_;
  int size = shadowSize_;
  COLORREF shadow = ColorToRGB(shadowColor_);
  COLORREF textColor = ColorToRGB(Font().Color());
  if (!Enabled()) {
    if (size == 0) {
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
  RECT client{0, 0, Width(), Height()};
  if (!transparent_) {
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(Color())));
    ::FillRect(dc, &client, brush.get());
  }
  RECT rect{client.left + 1, client.top, client.right - 1, client.bottom};
  UINT flags = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0);
  if (alignment_ == TAlignment::taRightJustify)
    flags |= DT_RIGHT;
  if (alignment_ == TAlignment::taCenter)
    flags |= DT_CENTER;
  if (layout_ != TTextLayout::tlTop) {
    RECT measured = rect;
    DrawLabelText(dc, measured, flags | DT_CALCRECT);
    measured.left = client.left;
    measured.right = client.right;
    const int shift = Height() - measured.bottom;
    ::OffsetRect(&rect, 0, layout_ == TTextLayout::tlBottom ? shift : shift / 2);
  }
  DrawLabelText(dc, rect, flags);
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

}  // namespace qv
