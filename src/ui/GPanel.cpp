#include "ui/GPanel.h"

#include "core/TypeInfoBuilder.h"
#include "ui/GradientBands.h"

namespace qv {

const TClassInfo& TGPanel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TGPanel>("TGPanel", &TPanel::StaticClassInfo())
          .Creatable()
          .Boolean("Active", &TGPanel::Active, &TGPanel::SetActive)
          .Default(1)
          .Integer("Color_1", &TGPanel::Color1, &TGPanel::SetColor1, "TColor")
          .Default(clBtnFace)
          .Integer("Color_2", &TGPanel::Color2, &TGPanel::SetColor2, "TColor")
          .Default(clWhite)
          .Integer("Color_3", &TGPanel::Color3, &TGPanel::SetColor3, "TColor")
          .Default(0xFFFF00)
          .Boolean("Horizontal", &TGPanel::Horizontal, &TGPanel::SetHorizontal)
          .Default(1)
          .Integer("Percent", &TGPanel::Percent, &TGPanel::SetPercent)
          .Default(100)
          .Build();
  return info;
}

TGPanel::TGPanel(TComponent* owner) : TPanel(owner) {}

void TGPanel::Changed() {
  if (HandleAllocated())
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TGPanel::SetActive(bool value) {
  active_ = value;
  Changed();
}
void TGPanel::SetColor1(TColor value) {
  color1_ = value;
  Changed();
}
void TGPanel::SetColor2(TColor value) {
  color2_ = value;
  Changed();
}
void TGPanel::SetColor3(TColor value) {
  color3_ = value;
  Changed();
}
void TGPanel::SetHorizontal(bool value) {
  horizontal_ = value;
  Changed();
}
void TGPanel::SetPercent(int value) {
  percent_ = ClampPercent(value);
  Changed();
}

void TGPanel::PaintWindow(HDC dc) {
  PaintPanel(dc);
  if (active_) {
    RECT client{0, 0, Width(), Height()};
    if (HandleAllocated())
      ::GetClientRect(handle_, &client);
    GradientInput input;
    input.clientWidth = client.right;
    input.clientHeight = client.bottom;
    const auto cuts = [](TBevelCut cut) {
      return cut == TBevelCut::bvLowered || cut == TBevelCut::bvRaised;
    };
    input.inset = (cuts(BevelInner()) ? BevelWidth() : 0) + (cuts(BevelOuter()) ? BevelWidth() : 0);
    input.color1 = color1_;
    input.color2 = color2_;
    input.color3 = color3_;
    input.rgb1 = ColorToRGB(color1_);
    input.rgb2 = ColorToRGB(color2_);
    input.rgb3 = ColorToRGB(color3_);
    input.horizontal = horizontal_;
    input.percent = percent_;
    for (const GradientBand& band : ComputeGradientBands(input)) {
      UniqueBrush brush(::CreateSolidBrush(band.rgb));
      RECT r{band.left, band.top, band.right, band.bottom};
      ::FillRect(dc, &r, brush.get());
    }
  }
  PaintControls(dc);
}

}  // namespace qv
