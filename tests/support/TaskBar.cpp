#include "TaskBar.h"

#include "win32/Callbacks.h"

namespace qv::test {

namespace {
struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM data) noexcept {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != search->processId || !::IsWindowVisible(window))
    return TRUE;
  try {
    search->found.push_back(window);
  } catch (...) {
    return FALSE;  // out of memory: nothing may unwind into the system
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
  Search search{processId, {}};
  ::EnumWindows(SystemCallback(&CollectVisible), reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> TaskBarWindows(DWORD processId) {
  std::vector<HWND> buttons;
  for (HWND window : VisibleWindowsOf(processId)) {
    const LONG_PTR exStyle = ::GetWindowLongPtrA(window, GWL_EXSTYLE);
    if ((exStyle & WS_EX_TOOLWINDOW) == 0 &&
        (::GetWindow(window, GW_OWNER) == nullptr || (exStyle & WS_EX_APPWINDOW) != 0)) {
      buttons.push_back(window);
    }
  }
  return buttons;
}

}  // namespace qv::test
