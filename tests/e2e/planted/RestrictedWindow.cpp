// A window program as careful as Setup.exe about where its DLLs come from:
// Setup's load configuration, the search restricted to System32 before
// anything else, and common controls 6 like Setup's. A planted DLL that
// still ends up in it was loaded by the platform whatever a program does,
// which the hardening scenario cannot hold Setup.exe to. Exit code 0 once
// its window has been shown and is gone.
#include <windows.h>
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return 1;
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  if (!::InitCommonControlsEx(&controls))
    return 1;
  HWND window = ::CreateWindowExA(0, WC_BUTTONA, "Restricted", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr,
                                  instance, nullptr);
  if (window == nullptr)
    return 1;
  // Painted and its first messages handled: what showing a window loads is
  // loaded. Bounded, as a planted DLL can make every painting fail and recur.
  ::UpdateWindow(window);
  MSG message;
  for (int i = 0; i < 100 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i)
    ::DispatchMessageA(&message);
  ::DestroyWindow(window);
  return 0;
}
