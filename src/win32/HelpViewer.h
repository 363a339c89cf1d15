#pragma once
// The system's viewer of compiled HTML help, loaded only when help is first
// asked for, and only from the system directory.
#include <windows.h>

#include <string>

namespace qv {

// Opens `file` at the topic mapped to `context`, owned by `owner`; a context
// the file does not map opens the file's default topic. False when there is
// no such file or the viewer cannot show it.
bool OpenHelpContext(HWND owner, const std::string& file, int context);

// Closes every help window the process opened (before its windows go).
void CloseHelpWindows() noexcept;

}  // namespace qv
