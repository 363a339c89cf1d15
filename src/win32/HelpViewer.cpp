#include "win32/HelpViewer.h"

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
  // By full path: a viewer planted beside Setup.exe must never be the one.
  char system[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return nullptr;
  const std::string path = std::string(system, length) + "\\hhctrl.ocx";
  HMODULE module = ::LoadLibraryA(path.c_str());
  if (module == nullptr)
    return nullptr;
  viewer = reinterpret_cast<HtmlHelpFunc>(
      reinterpret_cast<void*>(::GetProcAddress(module, "HtmlHelpA")));
  return viewer;
}
}  // namespace

bool OpenHelpContext(HWND owner, const std::string& file, int context) {
  const DWORD attributes = ::GetFileAttributesA(file.c_str());
  if (file.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
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
