#include "setup/ProcessScan.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/ShellText.h"
#include "win32/Handles.h"
#include "setup/SystemChecks.h"

namespace qv {

namespace {

constexpr DWORD kMaxProcesses = 1024;
constexpr DWORD kPathBufferSize = 301;
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

using EnumProcessesFunc = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFunc = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleFileNameExAFunc = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

// The process-status library, loaded on first use and kept until the
// process ends. It is loaded from the system directory by full path: a
// library of that name beside Setup.exe (a downloads folder) is never used.
class TProcessStatusLibrary {
 public:
  static TProcessStatusLibrary& Instance() {
    static TProcessStatusLibrary library;
    return library;
  }

  bool EnumProcesses(DWORD* ids, DWORD size, DWORD* returned) {
    return Load() && enumProcesses_ != nullptr && enumProcesses_(ids, size, returned) != FALSE;
  }
  bool EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed) {
    return Load() && enumProcessModules_ != nullptr &&
           enumProcessModules_(process, modules, size, needed) != FALSE;
  }
  DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, char* path, DWORD size) {
    if (!Load() || getModuleFileNameExA_ == nullptr)
      return 0;
    return getModuleFileNameExA_(process, module, path, size);
  }

 private:
  bool Load() {
    if (module_)
      return true;
    HMODULE module = LoadSystemLibrary("PSAPI.dll");
    if (module == nullptr)
      return false;
    module_.reset(module);
    enumProcesses_ = EntryPoint<EnumProcessesFunc>(module, "EnumProcesses");
    enumProcessModules_ = EntryPoint<EnumProcessModulesFunc>(module, "EnumProcessModules");
    getModuleFileNameExA_ = EntryPoint<GetModuleFileNameExAFunc>(module, "GetModuleFileNameExA");
    return true;
  }

  UniqueModule module_;
  EnumProcessesFunc enumProcesses_ = nullptr;
  EnumProcessModulesFunc enumProcessModules_ = nullptr;
  GetModuleFileNameExAFunc getModuleFileNameExA_ = nullptr;
};

}  // namespace

const std::vector<std::string>& AddOnProgramNames() {
  static const std::vector<std::string> names = {"quolvex.exe",  "qvmonitor.exe", "qvscanner.exe",
                                                 "qvdaemon.exe", "qvmanager.exe", "qvservice.exe"};
  return names;
}

std::vector<std::string> RunningProgramMatches(const std::vector<std::string>& names,
                                               const std::vector<std::string>& runningPaths) {
  std::vector<std::string> matches;
  for (const std::string& name : names) {
    for (const std::string& path : runningPaths) {
      if (LowerAsciiLetters(path).find(name) != std::string::npos)
        matches.push_back(name);
    }
  }
  return matches;
}

std::vector<std::string> RunningProgramPaths() {
  TProcessStatusLibrary& library = TProcessStatusLibrary::Instance();
  std::vector<DWORD> ids(kMaxProcesses);
  DWORD bytes = 0;
  std::vector<std::string> paths;
  if (!library.EnumProcesses(ids.data(), kMaxProcesses * sizeof(DWORD), &bytes))
    return paths;
  const DWORD count = std::min<DWORD>(bytes / sizeof(DWORD), kMaxProcesses);
  for (DWORD i = 0; i < count; ++i) {
    UniqueHandle process(::OpenProcess(kQueryAndRead, FALSE, ids[i]));
    if (!process)
      continue;
    // The first module of a process is its executable.
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!library.EnumProcessModules(process.get(), &module, sizeof module, &needed))
      continue;
    char path[kPathBufferSize] = {};
    if (library.GetModuleFileNameExA(process.get(), module, path, kPathBufferSize) == 0)
      continue;
    paths.emplace_back(path, strnlen(path, kPathBufferSize));
  }
  return paths;
}

void CheckRunningProcesses(const std::vector<std::string>& names) {
  for (const std::string& name : RunningProgramMatches(names, RunningProgramPaths())) {
    ErrorStop("Setup has found that the following process is running: " + name +
                  "\r\nYou must stop this process to continue installation",
              ERROR_SHARING_VIOLATION);
  }
}

}  // namespace qv
