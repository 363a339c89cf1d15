#include "TestSupport.h"
#include "win32/Handles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

namespace qv::test {

namespace {
constexpr UINT kRunAction = WM_APP + 1;

class HelperWindow {
 public:
  static HelperWindow& Instance() {
    static HelperWindow instance;
    return instance;
  }
  HWND Handle() const { return window_; }
  UINT_PTR Store(std::function<void()> action) {
    const UINT_PTR id = ++next_;
    actions_[id] = std::move(action);
    return id;
  }
  void Forget() {
    for (const auto& [id, action] : actions_)
      ::KillTimer(window_, id);
    actions_.clear();
  }
  void Run(UINT_PTR id) {
    auto it = actions_.find(id);
    if (it == actions_.end())
      return;
    std::function<void()> action = std::move(it->second);
    actions_.erase(it);
    // Test actions run inside the shell's loops: keep their failures inside
    // the test instead of unwinding through Windows frames.
    try {
      action();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "test action threw: " << e.what();
    } catch (...) {
      ADD_FAILURE() << "test action threw";
    }
  }

 private:
  HelperWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = SystemCallback(&Proc);
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QvTestHelper";
    ::RegisterClassA(&wc);
    window_ = ::CreateWindowExA(0, "QvTestHelper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
  }
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message != kRunAction && message != WM_TIMER)
      return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_TIMER)
      ::KillTimer(window, wParam);
    TestGuarded([wParam] { Instance().Run(static_cast<UINT_PTR>(wParam)); });
    return 0;
  }

  HWND window_ = nullptr;
  UINT_PTR next_ = 100;
  std::map<UINT_PTR, std::function<void()>> actions_;
};

struct FindData {
  std::string className;
  std::string caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param) noexcept {
  return TestGuarded([&] {
    auto* data = reinterpret_cast<FindData*>(param);
    char cls[256] = {};
    ::GetClassNameA(window, cls, sizeof cls);
    if (::IsWindowVisible(window) && data->className == cls &&
        (data->caption.empty() || WindowText(window) == data->caption)) {
      data->found.push_back(window);
    }
  });
}
}  // namespace

void Post(std::function<void()> action) {
  HelperWindow& helper = HelperWindow::Instance();
  ::PostMessageA(helper.Handle(), kRunAction, helper.Store(std::move(action)), 0);
}

void PostMarker(std::function<void()> action) {
  Post(std::move(action));
}

void After(UINT delayMs, std::function<void()> action) {
  HelperWindow& helper = HelperWindow::Instance();
  const UINT_PTR id = helper.Store(std::move(action));
  ::SetTimer(helper.Handle(), id, delayMs, nullptr);
}

void ForgetPendingActions() {
  HelperWindow::Instance().Forget();
}

std::string WindowText(HWND window) {
  char buffer[4096] = {};
  ::GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

std::vector<HWND> FindTopWindows(const std::string& className, const std::string& caption) {
  FindData data{className, caption, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), SystemCallback(&CollectTop),
                      reinterpret_cast<LPARAM>(&data));
  return data.found;
}

HWND FindTopWindow(const std::string& className, const std::string& caption) {
  const std::vector<HWND> found = FindTopWindows(className, caption);
  return found.empty() ? nullptr : found.front();
}

HWND FindChild(HWND parent, const std::string& className, const std::string& text) {
  for (HWND child = ::FindWindowExA(parent, nullptr, className.c_str(), nullptr); child != nullptr;
       child = ::FindWindowExA(parent, child, className.c_str(), nullptr)) {
    if (WindowText(child) == text)
      return child;
  }
  return nullptr;
}

void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    inputs.push_back(in);
  }
  for (auto it = keys.end(); it != keys.begin();) {
    --it;
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = *it;
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(in);
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void DrainQueue() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message != WM_QUIT)
      ::DispatchMessageA(&message);
  }
}

void ShellTest::SetUp() {
  DrainQueue();
  app = std::make_unique<TApplication>();
  app->OnException = [this](TObject*, const Exception& error) {
    reported.push_back(std::string(error.ClassName()) + ": " + error.Message());
  };
}

void ShellTest::TearDown() {
  ForgetPendingActions();
  app.reset();
  DrainQueue();
}

namespace {
// From the control manager if it knows the service, and the key in any case
// (a key a test made itself is unknown to the manager).
void RemoveService(const char* name, const char* key) {
  if (SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) {
    if (SC_HANDLE service = ::OpenServiceA(manager, name, DELETE)) {
      ::DeleteService(service);
      ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
  }
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
}
}  // namespace

StoredValue StoredText(const std::string& text) {
  StoredValue value{true, REG_SZ, text};
  value.data.push_back('\0');
  return value;
}

StoredValue StoredNumber(DWORD number) {
  return {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

StoredValue ReadMachineValue(const std::string& key, const std::string& name) {
  StoredValue value;
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return value;
  DWORD size = 0;
  if (::RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, nullptr, &size) ==
      ERROR_SUCCESS) {
    value.exists = true;
    value.data.resize(size);
    ::RegQueryValueExA(handle, name.c_str(), nullptr, &value.type,
                       reinterpret_cast<BYTE*>(value.data.data()), &size);
    value.data.resize(size);
  }
  ::RegCloseKey(handle);
  return value;
}

bool MachineKeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(handle);
  return true;
}

namespace {

// Drive C: of a Wine prefix is its drive_c directory; empty elsewhere.
std::string UnixPath(const std::string& path) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || path.rfind("C:\\", 0) != 0)
    return {};
  std::string result = std::string(prefix) + "/drive_c/" + path.substr(3);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

// Runs a Unix program of Wine's host on the paths, then waits until path
// exists (or no longer does): the process handle of a Unix program tells
// nothing of its end.
bool RunUnixUntil(const char* program, const std::string& arguments, const std::string& path,
                  bool exists) {
  const auto done = [&] {
    return (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists;
  };
  std::string command = std::string(program) + " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA((std::string("Z:\\bin\\") + program).c_str(), command.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return done();
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  for (int i = 0; i < 200 && !done(); ++i)
    ::Sleep(25);
  return done();
}

}  // namespace

bool MakeLink(const std::string& link, const std::string& target) {
  const DWORD attributes = ::GetFileAttributesA(target.c_str());
  const bool directory =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  ::CreateSymbolicLinkA(link.c_str(), target.c_str(), directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  if (::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  const std::string unixTarget = UnixPath(target);
  const std::string unixLink = UnixPath(link);
  return !unixTarget.empty() && !unixLink.empty() &&
         RunUnixUntil("ln", "-s \"" + unixTarget + "\" \"" + unixLink + "\"", link, true);
}

void RemoveLink(const std::string& link) {
  if (::RemoveDirectoryA(link.c_str()) || ::DeleteFileA(link.c_str()) || UnixPath(link).empty())
    return;
  RunUnixUntil("rm", "-f \"" + UnixPath(link) + "\"", link, false);
}

std::string TestProgramPath() {
  char module[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  return module;
}

std::string ProbeProgramPath() {
  return (std::filesystem::path(TestProgramPath()).parent_path() / "run_probe.exe").string();
}

void ForgetInstallation() {
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quolvex");
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus");
  RemoveService("Quolvex", "SYSTEM\\CurrentControlSet\\Services\\Quolvex");
  RemoveService("QuolvexMonitor", "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor");
  char programs[MAX_PATH] = {};
  DWORD size = sizeof programs - 1;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE,
                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                     "Common Programs", RRF_RT_REG_SZ, nullptr, programs, &size) == ERROR_SUCCESS) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(programs) / "Quolvex", ignored);
  }
}

void PrepareSuitableMachine() {
  ForgetInstallation();
  HKEY host = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ipswitch\\IMail", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &host, nullptr) == ERROR_SUCCESS) {
    ::RegCloseKey(host);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs)
      return false;
    MSG message;
    if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT)
        continue;
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    } else {
      ::Sleep(1);
    }
  }
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text)
    result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

std::wstring PayloadDir() {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"QV_PAYLOAD_DIR", buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2)
    return {};
  std::wstring dir(buffer, length);
  if (dir[0] == L'/') {
    for (wchar_t& c : dir) {
      if (c == L'/')
        c = L'\\';
    }
    dir = L"Z:" + dir;
  }
  if (dir.back() != L'\\')
    dir += L'\\';
  return dir;
}

}  // namespace qv::test
