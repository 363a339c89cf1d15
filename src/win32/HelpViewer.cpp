#include "win32/HelpViewer.h"

#include "win32/FileSystem.h"
#include "win32/Handles.h"

namespace qv {

namespace {
constexpr UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
constexpr UINT kHelpContext = 0x000F;   // HH_HELP_CONTEXT
constexpr UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL

using HtmlHelpFunc = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// Kept for the life of the process: the viewer's windows run its code.
HtmlHelpFunc viewer = nullptr;

HtmlHelpFunc LoadViewer() {
  if (viewer != nullptr)
    return viewer;
  HMODULE module = LoadSystemLibrary("hhctrl.ocx");
  if (module != nullptr)
    viewer = EntryPoint<HtmlHelpFunc>(module, "HtmlHelpA");
  return viewer;
}
}  // namespace

bool OpenHelpContext(HWND owner, const std::string& file, int context) {
  if (file.empty() || !FileExists(file))
    return false;
  const HtmlHelpFunc open = LoadViewer();
  if (open == nullptr)
    return false;
  if (open(owner, file.c_str(), kHelpContext, static_cast<DWORD_PTR>(context)) != nullptr)
    return true;
  return open(owner, file.c_str(), kDisplayTopic, 0) != nullptr;
}

void CloseHelpWindows() noexcept {
  if (viewer != nullptr)
    viewer(nullptr, nullptr, kCloseAll, 0);
}

}  // namespace qv
