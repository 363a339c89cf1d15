// Stands in for a DLL an attacker plants beside a downloaded Setup.exe: when
// loaded, it leaves planted-dll-loaded.txt beside itself and does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
  char* slash = path + length;
  while (slash > path && *slash != '\\')
    --slash;
  if (length == 0 || length >= MAX_PATH || slash == path)
    return TRUE;
  lstrcpynA(slash + 1, "planted-dll-loaded.txt", static_cast<int>(path + MAX_PATH - slash - 1));
  HANDLE marker =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE)
    ::CloseHandle(marker);
  return TRUE;
}
