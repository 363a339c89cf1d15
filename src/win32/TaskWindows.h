#pragma once
// The windows of this thread that a modal run, a message box or the folder
// browser disables while it lasts, and giving them back.
#include <windows.h>

#include <vector>

namespace qv {

// Disables every visible, enabled top-level window of the thread but except,
// and returns them.
std::vector<HWND> DisableTaskWindows(HWND except);
// Enables those of windows that still exist.
void EnableTaskWindows(const std::vector<HWND>& windows);

}  // namespace qv
