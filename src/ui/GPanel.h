#pragma once
// TGPanel: a panel that paints a one- or two-segment colour gradient over
// its ordinary panel painting.
#include "controls/ExtCtrls.h"

namespace qv {

class TGPanel : public TPanel {
  QV_TYPE_INFO
 public:
  explicit TGPanel(TComponent* owner);

  bool Active() const noexcept { return active_; }
  void SetActive(bool value);
  TColor Color1() const noexcept { return color1_; }
  void SetColor1(TColor value);
  TColor Color2() const noexcept { return color2_; }
  void SetColor2(TColor value);
  TColor Color3() const noexcept { return color3_; }
  void SetColor3(TColor value);
  bool Horizontal() const noexcept { return horizontal_; }
  void SetHorizontal(bool value);
  int Percent() const noexcept { return percent_; }
  // Clamped to 1..100.
  void SetPercent(int value);

 protected:
  void PaintWindow(HDC dc) override;

 private:
  void Changed();
  bool active_ = true;
  TColor color1_ = clBtnFace;
  TColor color2_ = clWhite;
  TColor color3_ = 0xFFFF00;
  bool horizontal_ = true;
  int percent_ = 100;
};

}  // namespace qv
