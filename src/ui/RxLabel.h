#pragma once
// TRxLabel: a windowless label that draws its caption twice, first shifted
// in a shadow colour, then in the font colour on top.
#include "platform/Controls.h"
#include "platform/StdCtrls.h"

namespace qv {

enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };
enum class TTextLayout { tlTop, tlCenter, tlBottom };
const TEnumInfo& ShadowPositionEnum();
const TEnumInfo& TextLayoutEnum();

// Draws text twice into rect (in and out: the union of both extents);
// returns the text height plus the shadow size when positive.
int DrawShadowText(HDC dc, const std::string& text, RECT& rect, UINT flags, int shadowSize,
                   COLORREF shadowColor, TShadowPosition position);

class TRxCustomLabel : public TControl {
  QV_TYPE_INFO
 public:
  explicit TRxCustomLabel(TComponent* owner);

  TAlignment Alignment() const noexcept { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AutoSize() const noexcept { return autoSize_; }
  void SetAutoSize(bool value);
  TTextLayout Layout() const noexcept { return layout_; }
  void SetLayout(TTextLayout value);
  bool WordWrap() const noexcept { return wordWrap_; }
  void SetWordWrap(bool value);
  TColor ShadowColor() const noexcept { return shadowColor_; }
  void SetShadowColor(TColor value);
  int ShadowSize() const noexcept { return shadowSize_; }
  void SetShadowSize(int value);
  TShadowPosition ShadowPos() const noexcept { return shadowPos_; }
  void SetShadowPos(TShadowPosition value);
  bool Transparent() const noexcept { return transparent_; }
  void SetTransparent(bool value);
  bool ShowAccelChar() const noexcept { return showAccelChar_; }
  void SetShowAccelChar(bool value);

  void Paint(HDC dc) override;
  void Loaded() override;
  // Sizes the label to its text, shadow included.
  void AdjustBounds();

 protected:
  virtual std::string TextToDraw() const { return Caption(); }
  void TextChanged() override;
  void FontChanged() override;
  void DrawLabelText(HDC dc, RECT& rect, UINT flags);

 private:
  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool autoSize_ = true;
  TTextLayout layout_ = TTextLayout::tlTop;
  bool wordWrap_ = false;
  TColor shadowColor_ = clBtnHighlight;
  int shadowSize_ = 1;
  TShadowPosition shadowPos_ = TShadowPosition::spLeftTop;
  bool transparent_ = false;
  bool showAccelChar_ = true;
};

class TRxLabel : public TRxCustomLabel {
  QV_TYPE_INFO
 public:
  using TRxCustomLabel::TRxCustomLabel;
};

}  // namespace qv
