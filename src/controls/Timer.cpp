#include "controls/Timer.h"

#include "core/Exceptions.h"
#include "win32/Callbacks.h"
#include "win32/Guard.h"

#include "core/TypeInfoBuilder.h"

namespace qv {

const TClassInfo& TTimer::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TTimer>("TTimer", &TComponent::StaticClassInfo())
          .Creatable()
          .Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled)
          .Default(1)
          .Integer("Interval", &TTimer::Interval,
                   [](TTimer& t, int64_t v) { t.SetInterval(static_cast<uint32_t>(v)); })
          .Default(1000)
          .EventProperty<TNotifyEvent>("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer)
          .Build();
  return info;
}

namespace {
constexpr UINT_PTR kTimerId = 1;
constexpr const char* kUtilClass = "TPUtilWindow";

void RegisterUtilClass(WindowProcedure proc) {
  static bool registered = false;
  if (registered)
    return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = SystemCallback(proc);
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kUtilClass;
  if (::RegisterClassExA(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw EOutOfResources("Error creating window class");
  }
  registered = true;
}
}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  RegisterUtilClass(&TTimer::UtilWndProc);
  window_.reset(::CreateWindowExA(0, kUtilClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr));
  if (!window_)
    throw EOutOfResources("Error creating window for TTimer");
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTimer::~TTimer() {
  if (running_)
    ::KillTimer(window_.get(), kTimerId);
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
}

void TTimer::SetInterval(uint32_t interval) {
  if (interval == interval_)
    return;
  interval_ = interval;
  UpdateTimer();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (running_) {
    ::KillTimer(window_.get(), kTimerId);
    running_ = false;
  }
  if (interval_ != 0 && enabled_ && onTimer_) {
    if (::SetTimer(window_.get(), kTimerId, interval_, nullptr) == 0) {
      throw EOutOfResources("Not enough timers available");
    }
    running_ = true;
  }
}

void TTimer::Tick() {
  if (onTimer_)
    onTimer_(this);
}

LRESULT CALLBACK TTimer::UtilWndProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
  if (message == WM_TIMER && wParam == kTimerId) {
    auto* timer = reinterpret_cast<TTimer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (timer != nullptr)
      Guarded([timer] { timer->Tick(); });
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace qv
