#pragma once
// TRxLabel: a windowless label that draws its caption twice, first shifted
// in a shadow colour, then in the font colour on top.
#include "controls/Controls.h"
#include "controls/StdCtrls.h"

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
  // Kept to a byte, as stored.
  void SetShadowSize(int value);
  TShadowPosition ShadowPos() const noexcept { return shadowPos_; }
  void SetShadowPos(TShadowPosition value);
  bool Transparent() const noexcept { return transparent_; }
  void SetTransparent(bool value);
  bool ShowAccelChar() const noexcept { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  TWinControl* FocusControl() const noexcept { return focusControl_; }
  void SetFocusControl(TWinControl* value);
  bool ShowFocus() const noexcept { return showFocus_; }
  void SetShowFocus(bool value);

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  void Paint(HDC dc) override;
  void Loaded() override;
  // Sizes the label to its text, shadow included; a right-aligned label
  // keeps its right edge.
  void AdjustBounds();

  // DialogChar: true when the character was the label's accelerator and the
  // focus moved to FocusControl.
  bool DialogChar(char character) override;
  void FocusChanged(TWinControl* focused) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton button) override;
  void MouseUp(TMouseButton button) override;
  bool MouseInside() const noexcept { return mouseInside_; }

 protected:
  // FocusControl is not owned: its destruction empties the property.
  void Notification(TComponent* component, Operation operation) override;
  virtual std::string TextToDraw() const { return Caption(); }
  virtual TColor TextColor() { return Font().Color(); }
  void TextChanged() override;
  void FontChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;
  void DrawLabelText(HDC dc, RECT& rect, UINT flags);

 private:
  // Sets the mouse-inside flag from where the cursor is now, firing the
  // matching event when it changes.
  void UpdateTracking();
  void SetMouseInside(bool inside);

  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool autoSize_ = true;
  TTextLayout layout_ = TTextLayout::tlTop;
  bool wordWrap_ = false;
  TColor shadowColor_ = clBtnHighlight;
  int shadowSize_ = 1;
  TShadowPosition shadowPos_ = TShadowPosition::spLeftTop;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
  bool showFocus_ = false;
  bool focused_ = false;
  bool mouseInside_ = false;
  bool dragging_ = false;
};

class TRxLabel : public TRxCustomLabel {
  QV_TYPE_INFO
 public:
  using TRxCustomLabel::TRxCustomLabel;
};

}  // namespace qv
