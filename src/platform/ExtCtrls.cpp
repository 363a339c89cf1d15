#include "platform/ExtCtrls.h"

namespace qv {

TImage::TImage(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::SetIcon(HICON icon) {
  icon_ = icon;
  Invalidate();
}

void TImage::Paint(HDC dc) {
  if (icon_ != nullptr) ::DrawIconEx(dc, 0, 0, icon_, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

}  // namespace qv
