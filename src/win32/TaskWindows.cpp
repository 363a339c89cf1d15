#include "win32/TaskWindows.h"

#include "win32/Callbacks.h"
#include "win32/Guard.h"

namespace qv {

namespace {
struct TaskWindows {
  HWND except;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTaskWindow(HWND window, LPARAM data) noexcept {
  auto* task = reinterpret_cast<TaskWindows*>(data);
  if (window != task->except && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
    return Guarded([&] { task->windows.push_back(window); }) ? TRUE : FALSE;
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> DisableTaskWindows(HWND except) {
  TaskWindows task{except, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), SystemCallback(&CollectTaskWindow),
                      reinterpret_cast<LPARAM>(&task));
  for (HWND window : task.windows)
    ::EnableWindow(window, FALSE);
  return task.windows;
}

void EnableTaskWindows(const std::vector<HWND>& windows) {
  for (HWND window : windows) {
    if (::IsWindow(window))
      ::EnableWindow(window, TRUE);
  }
}

}  // namespace qv
