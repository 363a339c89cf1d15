#pragma once
// Graphic controls without a window of their own, painted by their parent.
#include <windows.h>

#include "platform/Controls.h"

namespace qv {

// A picture: for now a system icon drawn at the control's origin.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  const char* ClassName() const noexcept override { return "TImage"; }

  // A shared icon (stock or loaded with LR_SHARED): not destroyed here.
  void SetIcon(HICON icon);
  HICON Icon() const noexcept { return icon_; }

  void Paint(HDC dc) override;

 private:
  HICON icon_ = nullptr;
};

}  // namespace qv
