// Stands in for a DLL an attacker plants beside a downloaded Setup.exe, under
// whatever name it was copied to: when loaded, it leaves NAME.dll.loaded
// beside itself, which tells which of the planted names was picked up, and
// does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  constexpr char kSuffix[] = ".loaded";
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
  if (length == 0 || length + sizeof kSuffix > MAX_PATH)
    return TRUE;
  lstrcpyA(path + length, kSuffix);
  HANDLE marker =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE)
    ::CloseHandle(marker);
  return TRUE;
}
