#pragma once
// TTimer: ticks every Interval milliseconds while Interval is not 0, Enabled
// is set and OnTimer is bound. Ticks arrive through a hidden utility window
// as low-priority WM_TIMER messages, so pending ticks collapse into one.
#include <windows.h>

#include "controls/Controls.h"
#include "win32/Handles.h"

namespace qv {

class TTimer : public TComponent {
  QV_TYPE_INFO
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  uint32_t Interval() const noexcept { return interval_; }
  void SetInterval(uint32_t interval);
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);
  const TNotifyEvent& OnTimer() const noexcept { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  // Whether the platform timer is running now.
  bool Running() const noexcept { return running_; }

 private:
  static LRESULT CALLBACK UtilWndProc(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept;
  void UpdateTimer();
  void Tick();

  uint32_t interval_ = 1000;
  bool enabled_ = true;
  bool running_ = false;
  TNotifyEvent onTimer_;
  UniqueWindow window_;
};

}  // namespace qv
