#pragma once
// Windows only. The top-level windows of a process as the user can see
// them, and those the task bar lists as buttons.
#include <windows.h>

#include <vector>

namespace qv::test {

// Visible top-level windows of the process, top of the z-order first.
std::vector<HWND> VisibleWindowsOf(DWORD processId);

// Of those, the ones that get a task bar button: not tool windows, and
// either unowned or marked as application windows.
std::vector<HWND> TaskBarWindows(DWORD processId);

}  // namespace qv::test
