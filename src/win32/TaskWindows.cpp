#include "win32/TaskWindows.h"

namespace qv {

namespace {
struct TaskWindows {
  HWND except;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTaskWindow(HWND window, LPARAM data) {
  auto* task = reinterpret_cast<TaskWindows*>(data);
  if (window != task->except && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
    task->windows.push_back(window);
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> DisableTaskWindows(HWND except) {
  TaskWindows task{except, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectTaskWindow, reinterpret_cast<LPARAM>(&task));
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
