// A program that only reports how it was started: it appends one line to
// run-probe.log beside itself and ends with the exit code it was asked for.
// Tests copy it under the names of the programs the installer starts.
//
//   line:  <own file name>|<arguments>|<current directory>|<show-window>
//   /exit N    end with exit code N (otherwise 0)
//   /sleep N   wait N milliseconds before ending
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Arguments() {
  // The command line starts with the program, quoted or not.
  const char* line = ::GetCommandLineA();
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"')
      ++line;
    if (*line == '"')
      ++line;
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t')
      ++line;
  }
  while (*line == ' ' || *line == '\t')
    ++line;
  return line;
}

// The number after the switch name in the arguments, or fallback.
long Option(const std::string& arguments, const char* name, long fallback) {
  const size_t at = arguments.find(name);
  if (at == std::string::npos)
    return fallback;
  return std::strtol(arguments.c_str() + at + std::char_traits<char>::length(name), nullptr, 10);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char module[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string self = module;
  const size_t slash = self.find_last_of('\\');
  const std::string directory = self.substr(0, slash + 1);
  const std::string name = self.substr(slash + 1);

  char current[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, current);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoA(&startup);
  const int show =
      (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? static_cast<int>(startup.wShowWindow) : -1;

  const std::string arguments = Arguments();
  const std::string line =
      name + "|" + arguments + "|" + current + "|" + std::to_string(show) + "\r\n";
  const std::string log = directory + "run-probe.log";
  // Appends whole lines even when two probes of one directory overlap.
  HANDLE file = ::CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
  }
  ::Sleep(static_cast<DWORD>(Option(arguments, "/sleep ", 0)));
  return static_cast<int>(Option(arguments, "/exit ", 0));
}
