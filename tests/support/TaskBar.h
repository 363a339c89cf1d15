#pragma once
// Windows only. The windows of a process that the task bar lists as buttons.
#include <windows.h>

#include <vector>

namespace qv::test {

// Visible top-level windows of the process that get a task bar button:
// not tool windows, and either unowned or marked as application windows.
std::vector<HWND> TaskBarWindows(DWORD processId);

}  // namespace qv::test
