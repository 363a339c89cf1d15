#include "Driver.h"

#include "win32/Callbacks.h"

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <map>
#include <utility>

namespace qv::e2e {
namespace {

constexpr DWORD kPollMs = 25;
// A program that does not answer a window message within this time is hung
// for our purposes; the driver reports it instead of waiting with it.
constexpr UINT kMessageTimeoutMs = 5000;

// --- Owning types for the handles used here ---------------------------------

// File handles are empty as INVALID_HANDLE_VALUE, not NULL, so they get their
// own owner that never sees the invalid value.
class UniqueFile {
 public:
  explicit UniqueFile(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  HANDLE get() const { return handle_.get(); }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  UniqueHandle handle_;
};

struct DcDeleter {
  void operator()(HDC dc) const noexcept { ::DeleteDC(dc); }
};
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const noexcept { ::DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// The screen's DC is borrowed with GetDC and must go back with ReleaseDC.
class ScreenDc {
 public:
  ScreenDc() : dc_(::GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) {
      ::ReleaseDC(nullptr, dc_);
    }
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class SelectionGuard {
 public:
  SelectionGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectionGuard() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) {
      ::SelectObject(dc_, previous_);
    }
  }
  SelectionGuard(const SelectionGuard&) = delete;
  SelectionGuard& operator=(const SelectionGuard&) = delete;
  bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

struct RegistryKeyCloser {
  void operator()(HKEY key) const noexcept { ::RegCloseKey(key); }
};
using UniqueRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

class ClipboardSession {
 public:
  ClipboardSession() {
    // Another program (the one under test, or Wine's clipboard manager) may
    // hold the clipboard for a moment; that is not a failure.
    for (int attempt = 0; attempt < 40 && !open_; ++attempt) {
      open_ = ::OpenClipboard(nullptr) != FALSE;
      if (!open_) {
        ::Sleep(50);
      }
    }
  }
  ~ClipboardSession() {
    if (open_) {
      ::CloseClipboard();
    }
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  bool open() const { return open_; }

 private:
  bool open_ = false;
};

class GlobalMemoryLock {
 public:
  explicit GlobalMemoryLock(HGLOBAL memory) : memory_(memory), data_(::GlobalLock(memory)) {}
  ~GlobalMemoryLock() {
    if (data_ != nullptr) {
      ::GlobalUnlock(memory_);
    }
  }
  GlobalMemoryLock(const GlobalMemoryLock&) = delete;
  GlobalMemoryLock& operator=(const GlobalMemoryLock&) = delete;
  const void* data() const { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// Joins our thread's input state to another thread's, which is what lets
// SetFocus reach a window of another process.
class InputAttachment {
 public:
  explicit InputAttachment(DWORD otherThread) : self_(::GetCurrentThreadId()), other_(otherThread) {
    attached_ = other_ != 0 && other_ != self_ && ::AttachThreadInput(self_, other_, TRUE);
  }
  ~InputAttachment() {
    if (attached_) {
      ::AttachThreadInput(self_, other_, FALSE);
    }
  }
  InputAttachment(const InputAttachment&) = delete;
  InputAttachment& operator=(const InputAttachment&) = delete;

 private:
  DWORD self_;
  DWORD other_;
  bool attached_ = false;
};

// --- Small helpers ---------------------------------------------------------

std::string Quote(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string Hex(const void* value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%08lx",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(value)));
  return buffer;
}

// The caption a window keeps for itself. For a window of another process this
// is read without sending it a message, so it cannot hang on a busy program.
std::string StoredText(HWND window) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(window, buffer, static_cast<int>(std::size(buffer)));
  return Narrow(buffer);
}

std::optional<std::string> TryReadText(HWND window) {
  DWORD_PTR length = 0;
  if (::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &length) == 0) {
    return std::nullopt;
  }
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (::SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                            reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                            kMessageTimeoutMs, &copied) == 0) {
    return std::nullopt;
  }
  buffer.resize(static_cast<size_t>(copied) < buffer.size() ? static_cast<size_t>(copied)
                                                            : buffer.size() - 1);
  return Narrow(buffer);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) noexcept {
  // Runs inside a Windows frame: nothing may be thrown through it.
  try {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

std::vector<HWND> AllTopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(qv::SystemCallback(&CollectWindow), reinterpret_cast<LPARAM>(&windows));
  return windows;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// "visible top-level window with caption ..." for messages.
std::string QueryText(std::string_view caption, std::string_view className, const Process* owner) {
  std::string text = "visible top-level window with caption " + Quote(caption);
  if (!className.empty()) {
    text += " and class " + Quote(className);
  }
  if (owner != nullptr) {
    text += " of process " + std::to_string(owner->Id());
  }
  return text;
}

std::string ExitText(const Process& process) {
  DWORD code = 0;
  ::GetExitCodeProcess(process.Handle(), &code);
  return "process " + std::to_string(process.Id()) + " exited with code " + std::to_string(code);
}

void RequireWindow(HWND window, std::string_view operation) {
  if (window == nullptr || !::IsWindow(window)) {
    throw DriverError(std::string(operation) + ": " + Hex(window) + " is not a window (any more)");
  }
}

// --- Keyboard ------------------------------------------------------------------

struct KeyStroke {
  WORD vk = 0;
  wchar_t unicode = 0;  // set: typed as a character with KEYEVENTF_UNICODE
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

const std::map<std::wstring, WORD>& NamedKeys() {
  static const std::map<std::wstring, WORD> keys = [] {
    std::map<std::wstring, WORD> k = {
        {L"ENTER", VK_RETURN},  {L"ESC", VK_ESCAPE}, {L"ESCAPE", VK_ESCAPE},  {L"TAB", VK_TAB},
        {L"SPACE", VK_SPACE},   {L"BS", VK_BACK},    {L"BACKSPACE", VK_BACK}, {L"DEL", VK_DELETE},
        {L"DELETE", VK_DELETE}, {L"INS", VK_INSERT}, {L"INSERT", VK_INSERT},  {L"HOME", VK_HOME},
        {L"END", VK_END},       {L"PGUP", VK_PRIOR}, {L"PGDN", VK_NEXT},      {L"UP", VK_UP},
        {L"DOWN", VK_DOWN},     {L"LEFT", VK_LEFT},  {L"RIGHT", VK_RIGHT},
    };
    for (int n = 1; n <= 12; ++n) {
      k.emplace(L"F" + std::to_wstring(n), static_cast<WORD>(VK_F1 + n - 1));
    }
    return k;
  }();
  return keys;
}

bool IsExtendedKey(WORD vk) {
  switch (vk) {
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
      return true;
    default:
      return false;
  }
}

KeyStroke CharacterStroke(wchar_t c) {
  KeyStroke stroke;
  const SHORT scan = ::VkKeyScanW(c);
  if (scan == -1) {
    stroke.unicode = c;
    return stroke;
  }
  stroke.vk = LOBYTE(scan);
  stroke.shift = (HIBYTE(scan) & 1) != 0;
  stroke.ctrl = (HIBYTE(scan) & 2) != 0;
  stroke.alt = (HIBYTE(scan) & 4) != 0;
  return stroke;
}

std::vector<KeyStroke> ParseKeys(std::string_view keys) {
  const std::wstring text = Widen(keys);
  std::vector<KeyStroke> strokes;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  auto fail = [&](const std::string& why) {
    throw DriverError("SendKeys " + Quote(keys) + ": " + why);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'+' || c == L'^' || c == L'%') {
      (c == L'+' ? shift : c == L'^' ? ctrl : alt) = true;
      continue;
    }
    KeyStroke stroke;
    if (c == L'{') {
      // "{}}" is the literal closing brace, so the name may itself be "}".
      const size_t close = text.find(L'}', i + 2);
      if (close == std::wstring::npos) {
        fail("unclosed '{'");
      }
      const std::wstring name = text.substr(i + 1, close - i - 1);
      i = close;
      if (name.size() == 1) {
        stroke = CharacterStroke(name[0]);
      } else {
        std::wstring upper;
        for (wchar_t n : name) {
          upper += static_cast<wchar_t>(std::towupper(n));
        }
        const auto found = NamedKeys().find(upper);
        if (found == NamedKeys().end()) {
          fail("unknown key {" + Narrow(name) + "}");
        }
        stroke.vk = found->second;
      }
    } else {
      stroke = CharacterStroke(c);
    }
    if (stroke.unicode != 0 && (shift || ctrl || alt)) {
      fail("no key produces '" + Narrow(std::wstring(1, stroke.unicode)) +
           "', so it cannot be pressed with modifiers");
    }
    stroke.shift |= shift;
    stroke.ctrl |= ctrl;
    stroke.alt |= alt;
    shift = ctrl = alt = false;
    strokes.push_back(stroke);
  }
  if (shift || ctrl || alt) {
    fail("a modifier is not followed by a key");
  }
  return strokes;
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
  return input;
}

INPUT UnicodeInput(wchar_t c, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = c;
  input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

std::vector<INPUT> ToInputs(const std::vector<KeyStroke>& strokes) {
  std::vector<INPUT> inputs;
  // A modifier left down by an earlier run (or a test that died between
  // press and release) would silently change every key below.
  for (WORD modifier : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
    if ((::GetAsyncKeyState(modifier) & 0x8000) != 0) {
      inputs.push_back(KeyInput(modifier, true));
    }
  }
  for (const KeyStroke& s : strokes) {
    if (s.unicode != 0) {
      inputs.push_back(UnicodeInput(s.unicode, false));
      inputs.push_back(UnicodeInput(s.unicode, true));
      continue;
    }
    std::vector<WORD> held;
    if (s.ctrl) {
      held.push_back(VK_CONTROL);
    }
    if (s.alt) {
      held.push_back(VK_MENU);
    }
    if (s.shift) {
      held.push_back(VK_SHIFT);
    }
    for (WORD m : held) {
      inputs.push_back(KeyInput(m, false));
    }
    inputs.push_back(KeyInput(s.vk, false));
    inputs.push_back(KeyInput(s.vk, true));
    for (auto m = held.rbegin(); m != held.rend(); ++m) {
      inputs.push_back(KeyInput(*m, true));
    }
  }
  return inputs;
}

void Send(std::vector<INPUT>& inputs, std::string_view what) {
  if (inputs.empty()) {
    return;
  }
  const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    throw DriverError(std::string(what) + ": SendInput delivered " + std::to_string(sent) + " of " +
                      std::to_string(inputs.size()) +
                      " key events: " + ErrorText(::GetLastError()));
  }
}

bool HasFocus(HWND control) {
  const DWORD thread = ::GetWindowThreadProcessId(control, nullptr);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(thread, &info) && info.hwndFocus == control;
}

bool FocusControl(HWND control) {
  if (HasFocus(control)) {
    return true;
  }
  {
    InputAttachment attachment(::GetWindowThreadProcessId(control, nullptr));
    ::SetFocus(control);
  }
  return WaitUntil([&] { return HasFocus(control); }, 1000);
}

}  // namespace

// --- Process -----------------------------------------------------------------

namespace {

// Wine confirms a start once the new process has connected to its server
// and set itself up, before any DLL of the program (its own imports
// included) is loaded. A process that ends before that point without an
// exit status of its own (its Unix process killed or gone while starting,
// which a loaded machine makes more likely) fails CreateProcess with this
// error; nothing of the program has run yet, so starting it again is safe.
// A program that dies later, in its DLLs' initialisation, starts
// successfully and shows its own exit code.
constexpr DWORD kStartEndedUnconfirmed = ERROR_INTERNAL_ERROR;
constexpr int kLaunchTries = 5;
// Grows with each try (0.25 + 0.5 + 0.75 + 1 s at most), so that a machine
// busy for a moment gets the time to settle.
constexpr DWORD kLaunchRetryPauseMs = 250;

}  // namespace

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Terminate();
    handle_ = std::move(other.handle_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

Process::~Process() {
  Terminate();
}

bool Process::Running() const {
  return handle_ != nullptr && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

void Process::Terminate() noexcept {
  if (Running()) {
    ::TerminateProcess(handle_.get(), kTerminatedExitCode);
    ::WaitForSingleObject(handle_.get(), 5000);
  }
}

Process Launch(const std::string& path, const std::string& workingDir,
               const std::string& arguments) {
  const std::wstring program = Widen(path);
  const std::wstring directory = Widen(workingDir);
  const std::string started = Quote(path) + (workingDir.empty() ? "" : " in " + Quote(workingDir));
  DWORD error = ERROR_SUCCESS;
  int tries = 0;
  while (true) {
    ++tries;
    // CreateProcessW may write into the command line, so each try gets a fresh one.
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) {
      commandLine += L" " + Widen(arguments);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
      UniqueHandle thread(info.hThread);
      return Process(UniqueHandle(info.hProcess), info.dwProcessId);
    }
    error = ::GetLastError();
    if (error != kStartEndedUnconfirmed || tries == kLaunchTries) {
      break;
    }
    // Left in the log: a start that needed another try says the machine was
    // struggling, which helps to read whatever else went slowly in the run.
    std::fprintf(stderr, "Launch: %s ended before its start was confirmed, %s; trying again\n",
                 started.c_str(), ErrorText(error).c_str());
    std::fflush(stderr);
    ::Sleep(kLaunchRetryPauseMs * static_cast<DWORD>(tries));
  }
  std::string message = "Launch: cannot start " + started + ": " + ErrorText(error);
  if (tries > 1) {
    message += " on each of " + std::to_string(tries) +
               " tries: every time the process ended before its start was confirmed";
  }
  throw DriverError(message);
}

std::optional<DWORD> WaitExit(Process& process, DWORD timeoutMs) {
  if (process.Handle() == nullptr) {
    throw DriverError("WaitExit: no process was started");
  }
  if (::WaitForSingleObject(process.Handle(), Patience(timeoutMs)) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.Handle(), &code)) {
    throw DriverError("WaitExit: cannot read the exit code of process " +
                      std::to_string(process.Id()) + ": " + ErrorText(::GetLastError()));
  }
  return code;
}

// --- Windows -----------------------------------------------------------------

std::string ClassNameOf(HWND window) {
  wchar_t buffer[256] = {};
  ::GetClassNameW(window, buffer, static_cast<int>(std::size(buffer)));
  return Narrow(buffer);
}

std::string DescribeWindow(HWND window) {
  if (window == nullptr || !::IsWindow(window)) {
    return "window " + Hex(window) + " (gone)";
  }
  return "window " + Hex(window) + " class " + Quote(ClassNameOf(window)) + " text " +
         Quote(StoredText(window));
}

std::string DumpTopLevelWindows() {
  std::string dump = "Visible top-level windows (top of the z-order first):\n";
  int count = 0;
  for (HWND window : AllTopLevelWindows()) {
    if (!::IsWindowVisible(window)) {
      continue;
    }
    RECT rect{};
    ::GetWindowRect(window, &rect);
    dump += "  " + Hex(window) + " pid " + std::to_string(ProcessOf(window)) + " class " +
            Quote(ClassNameOf(window)) + " caption " + Quote(StoredText(window)) + " at " +
            RectText(rect) + (::IsWindowEnabled(window) ? "" : " disabled") +
            (::IsZoomed(window) ? " maximized" : "") + "\n";
    ++count;
  }
  if (count == 0) {
    dump += "  (none)\n";
  }
  return dump;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
  std::vector<HWND> result;
  for (HWND window : AllTopLevelWindows()) {
    if (::IsWindowVisible(window) && ProcessOf(window) == processId) {
      result.push_back(window);
    }
  }
  return result;
}

HWND FindTopWindow(std::string_view caption, std::string_view className, const Process* owner) {
  for (HWND window : AllTopLevelWindows()) {
    if (!::IsWindowVisible(window)) {
      continue;
    }
    if (owner != nullptr && ProcessOf(window) != owner->Id()) {
      continue;
    }
    if (!className.empty() && ClassNameOf(window) != className) {
      continue;
    }
    if (StoredText(window) == caption) {
      return window;
    }
  }
  return nullptr;
}

std::pair<size_t, HWND> WaitAnyWindow(const std::vector<WindowQuery>& candidates, DWORD timeoutMs,
                                      const Process* owner) {
  auto awaited = [&] {
    std::string text;
    for (const WindowQuery& c : candidates) {
      text += (text.empty() ? "" : " or ") + QueryText(c.caption, c.className, owner);
    }
    return text;
  };
  timeoutMs = Patience(timeoutMs);
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    for (size_t i = 0; i < candidates.size(); ++i) {
      if (HWND window = FindTopWindow(candidates[i].caption, candidates[i].className, owner)) {
        return {i, window};
      }
    }
    if (owner != nullptr && !owner->Running()) {
      throw DriverError("WaitWindow: waited for a " + awaited() + ", but the " + ExitText(*owner) +
                        " first.\n" + DumpTopLevelWindows());
    }
    if (::GetTickCount64() >= deadline) {
      throw DriverError("WaitWindow: no " + awaited() + " within " + std::to_string(timeoutMs) +
                        " ms.\n" + DumpTopLevelWindows());
    }
    ::Sleep(kPollMs);
  }
}

HWND WaitWindow(std::string_view caption, std::string_view className, DWORD timeoutMs,
                const Process* owner) {
  return WaitAnyWindow({{std::string(caption), std::string(className)}}, timeoutMs, owner).second;
}

void WaitWindowGone(HWND window, DWORD timeoutMs) {
  const std::string description = DescribeWindow(window);
  if (!WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeoutMs)) {
    throw DriverError("WaitWindowGone: " + description + " is still visible after " +
                      std::to_string(timeoutMs) + " ms.\n" + DumpTopLevelWindows());
  }
}

void WaitWindowGone(std::string_view caption, std::string_view className, DWORD timeoutMs,
                    const Process* owner) {
  if (!WaitUntil([&] { return FindTopWindow(caption, className, owner) == nullptr; }, timeoutMs)) {
    throw DriverError("WaitWindowGone: " + QueryText(caption, className, owner) +
                      " is still there after " + std::to_string(timeoutMs) + " ms.\n" +
                      DumpTopLevelWindows());
  }
}

// --- Controls ----------------------------------------------------------------

std::vector<ControlInfo> ListControls(HWND top) {
  RequireWindow(top, "ListControls");
  std::vector<HWND> children;
  ::EnumChildWindows(top, qv::SystemCallback(&CollectWindow), reinterpret_cast<LPARAM>(&children));
  std::vector<ControlInfo> controls;
  controls.reserve(children.size());
  for (HWND child : children) {
    ControlInfo info;
    info.handle = child;
    info.className = ClassNameOf(child);
    info.text = TryReadText(child).value_or(StoredText(child));
    info.id = ::GetDlgCtrlID(child);
    info.enabled = ::IsWindowEnabled(child) != FALSE;
    info.visible = ::IsWindowVisible(child) != FALSE;
    ::GetWindowRect(child, &info.rect);
    controls.push_back(std::move(info));
  }
  return controls;
}

std::string DumpControls(HWND top) {
  std::string dump = "Controls of " + DescribeWindow(top) + ":\n";
  if (!::IsWindow(top)) {
    return dump;
  }
  const auto controls = ListControls(top);
  for (const ControlInfo& c : controls) {
    dump += "  " + Hex(c.handle) + " id " + std::to_string(c.id) + " class " + Quote(c.className) +
            " text " + Quote(c.text) + " at " + RectText(c.rect) + (c.visible ? "" : " hidden") +
            (c.enabled ? "" : " disabled") + "\n";
  }
  if (controls.empty()) {
    dump += "  (none)\n";
  }
  return dump;
}

std::string StripAccelerators(std::string_view caption) {
  std::string result;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        result += '&';
        ++i;
      }
      continue;
    }
    result += caption[i];
  }
  return result;
}

HWND FindControl(HWND top, std::string_view className, std::string_view text) {
  for (const ControlInfo& c : ListControls(top)) {
    if (!className.empty() && c.className != className) {
      continue;
    }
    if (c.text == text || StripAccelerators(c.text) == text) {
      return c.handle;
    }
  }
  return nullptr;
}

HWND RequireControl(HWND top, std::string_view className, std::string_view text) {
  if (HWND control = FindControl(top, className, text)) {
    return control;
  }
  throw DriverError("RequireControl: no control of class " + Quote(className) + " with text " +
                    Quote(text) + ".\n" + DumpControls(top));
}

std::string ReadText(HWND window) {
  RequireWindow(window, "ReadText");
  if (auto text = TryReadText(window)) {
    return *text;
  }
  throw DriverError("ReadText: " + DescribeWindow(window) + " did not answer WM_GETTEXT within " +
                    std::to_string(kMessageTimeoutMs) + " ms");
}

void WaitText(HWND window, std::string_view expected, DWORD timeoutMs) {
  std::string last;
  const bool matched = WaitUntil(
      [&] {
        last = ReadText(window);
        return last == expected;
      },
      timeoutMs);
  if (!matched) {
    throw DriverError("WaitText: " + DescribeWindow(window) + " still reads " + Quote(last) +
                      " after " + std::to_string(timeoutMs) + " ms, expected " + Quote(expected));
  }
}

std::string PeekText(HWND window) {
  RequireWindow(window, "PeekText");
  return StoredText(window);
}

// --- Input -------------------------------------------------------------------

void Click(HWND button) {
  RequireWindow(button, "Click");
  // A user can click neither a hidden or disabled button nor one in a
  // disabled window (behind a modal dialog); BM_CLICK could, so refuse.
  const HWND top = ::GetAncestor(button, GA_ROOT);
  if (!::IsWindowVisible(button)) {
    throw DriverError("Click: " + DescribeWindow(button) + " is hidden");
  }
  if (!::IsWindowEnabled(button)) {
    throw DriverError("Click: " + DescribeWindow(button) + " is disabled");
  }
  if (!::IsWindowEnabled(top)) {
    throw DriverError("Click: the window of " + DescribeWindow(button) + ", " +
                      DescribeWindow(top) + ", is disabled (a modal window is in front?)\n" +
                      DumpTopLevelWindows());
  }
  if (!::PostMessageW(button, BM_CLICK, 0, 0)) {
    throw DriverError("Click: cannot post to " + DescribeWindow(button) + ": " +
                      ErrorText(::GetLastError()));
  }
}

void CloseWindow(HWND top) {
  RequireWindow(top, "CloseWindow");
  if (!::IsWindowEnabled(top)) {
    throw DriverError("CloseWindow: " + DescribeWindow(top) +
                      " is disabled; its close box does not respond\n" + DumpTopLevelWindows());
  }
  if (!::PostMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0)) {
    throw DriverError("CloseWindow: cannot post to " + DescribeWindow(top) + ": " +
                      ErrorText(::GetLastError()));
  }
}

void SetText(HWND control, std::string_view text) {
  RequireWindow(control, "SetText");
  const std::wstring wide = Widen(text);
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                            SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result) == 0 ||
      result == FALSE) {
    throw DriverError("SetText: " + DescribeWindow(control) + " did not take the text " +
                      Quote(text));
  }
}

bool BringToForeground(HWND top) {
  if (::GetForegroundWindow() == top) {
    return true;
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    {
      // Windows lets the thread that owns the foreground hand it on; joining
      // that thread's input makes us count as it.
      InputAttachment attachment(::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr));
      ::SetForegroundWindow(top);
    }
    if (WaitUntil([&] { return ::GetForegroundWindow() == top; }, 500)) {
      return true;
    }
  }
  return false;
}

TypingMethod TypeText(HWND edit, std::string_view text) {
  RequireWindow(edit, "TypeText");
  const std::wstring wide = Widen(text);
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
  if (BringToForeground(::GetAncestor(edit, GA_ROOT)) && FocusControl(edit)) {
    std::vector<KeyStroke> strokes;
    for (wchar_t c : wide) {
      strokes.push_back(CharacterStroke(c));
    }
    auto inputs = ToInputs(strokes);
    Send(inputs, "TypeText");
    return TypingMethod::kKeyboard;
  }
  // An empty text must still replace the selection, as typing over it and
  // deleting would.
  if (wide.empty()) {
    ::PostMessageW(edit, WM_CHAR, VK_BACK, 1);
  }
  for (wchar_t c : wide) {
    if (!::PostMessageW(edit, WM_CHAR, c, 1)) {
      throw DriverError("TypeText: cannot post to " + DescribeWindow(edit) + ": " +
                        ErrorText(::GetLastError()));
    }
  }
  return TypingMethod::kCharMessages;
}

void SendKeys(HWND top, std::string_view keys) {
  RequireWindow(top, "SendKeys");
  auto inputs = ToInputs(ParseKeys(keys));
  if (!BringToForeground(top)) {
    throw DriverError("SendKeys " + Quote(keys) + ": cannot make " + DescribeWindow(top) +
                      " the foreground window; the foreground is " +
                      DescribeWindow(::GetForegroundWindow()) + "\n" + DumpTopLevelWindows());
  }
  Send(inputs, "SendKeys");
}

// --- Dialogs -----------------------------------------------------------------

void AnswerDialog(std::string_view caption, std::string_view className, std::string_view button,
                  DWORD timeoutMs, const Process* owner) {
  const HWND dialog = WaitWindow(caption, className, timeoutMs, owner);
  Click(RequireControl(dialog, "Button", button));
  WaitWindowGone(dialog, timeoutMs);
}

// --- Clipboard and screen ----------------------------------------------------------

std::string ReadClipboardText() {
  ClipboardSession clipboard;
  if (!clipboard.open()) {
    throw DriverError("ReadClipboardText: the clipboard stayed open in another program: " +
                      ErrorText(::GetLastError()));
  }
  const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
  if (data == nullptr) {
    return {};
  }
  GlobalMemoryLock lock(data);
  if (lock.data() == nullptr) {
    throw DriverError("ReadClipboardText: cannot lock the clipboard text: " +
                      ErrorText(::GetLastError()));
  }
  const auto* chars = static_cast<const wchar_t*>(lock.data());
  const size_t capacity = ::GlobalSize(data) / sizeof(wchar_t);
  size_t length = 0;
  while (length < capacity && chars[length] != L'\0') {
    ++length;
  }
  return Narrow(std::wstring_view(chars, length));
}

SIZE ScreenSize() {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void Screenshot(const std::string& path) {
  const SIZE size = ScreenSize();
  ScreenDc screen;
  if (screen.get() == nullptr) {
    throw DriverError("Screenshot: GetDC(nullptr) failed");
  }
  UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
  if (!memory) {
    throw DriverError("Screenshot: CreateCompatibleDC failed");
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = size.cy;  // positive: bottom-up rows, as .bmp files store them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) {
    throw DriverError("Screenshot: CreateDIBSection " + std::to_string(size.cx) + "x" +
                      std::to_string(size.cy) + " failed");
  }
  {
    SelectionGuard selection(memory.get(), bitmap.get());
    if (!selection.ok() ||
        !::BitBlt(memory.get(), 0, 0, size.cx, size.cy, screen.get(), 0, 0, SRCCOPY | CAPTUREBLT)) {
      throw DriverError("Screenshot: BitBlt from the screen failed: " +
                        ErrorText(::GetLastError()));
    }
    ::GdiFlush();
  }
  const DWORD stride = (static_cast<DWORD>(size.cx) * 3 + 3) & ~3u;
  const DWORD imageSize = stride * static_cast<DWORD>(size.cy);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;

  UniqueFile out(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) {
    throw DriverError("Screenshot: cannot create " + Quote(path) + ": " +
                      ErrorText(::GetLastError()));
  }
  auto write = [&](const void* data, DWORD count) {
    DWORD written = 0;
    if (!::WriteFile(out.get(), data, count, &written, nullptr) || written != count) {
      throw DriverError("Screenshot: cannot write " + Quote(path) + ": " +
                        ErrorText(::GetLastError()));
    }
  };
  write(&file, sizeof file);
  write(&info.bmiHeader, sizeof info.bmiHeader);
  write(bits, imageSize);
}

// --- Registry ------------------------------------------------------------------

void CreateRegistryKey(HKEY root, const std::string& path) {
  HKEY raw = nullptr;
  const LONG status = ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_WRITE, nullptr, &raw, nullptr);
  UniqueRegistryKey key(raw);
  if (status != ERROR_SUCCESS) {
    throw DriverError("CreateRegistryKey " + Quote(path) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
}

void DeleteRegistryKey(HKEY root, const std::string& path) {
  const LONG status = ::RegDeleteKeyA(root, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw DriverError("DeleteRegistryKey " + Quote(path) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
}

bool RegistryKeyExists(HKEY root, const std::string& path) {
  HKEY raw = nullptr;
  const LONG status = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &raw);
  UniqueRegistryKey key(raw);
  return status == ERROR_SUCCESS;
}

RegistryValue TextValue(const std::string& text, DWORD type) {
  RegistryValue value{type, text};
  value.data.push_back('\0');
  return value;
}

RegistryValue NumberValue(DWORD number) {
  return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

std::optional<RegistryValue> ReadRegistryValue(HKEY root, const std::string& path,
                                               const std::string& name) {
  HKEY raw = nullptr;
  const LONG status = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &raw);
  UniqueRegistryKey key(raw);
  if (status != ERROR_SUCCESS)
    return std::nullopt;
  RegistryValue value;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type,
                     reinterpret_cast<BYTE*>(value.data.data()), &size);
  value.data.resize(size);
  return value;
}

void WriteRegistryValue(HKEY root, const std::string& path, const std::string& name,
                        const RegistryValue& value) {
  HKEY raw = nullptr;
  LONG status = ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, &raw, nullptr);
  UniqueRegistryKey key(raw);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExA(key.get(), name.c_str(), 0, value.type,
                              reinterpret_cast<const BYTE*>(value.data.data()),
                              static_cast<DWORD>(value.data.size()));
  }
  if (status != ERROR_SUCCESS) {
    throw DriverError("WriteRegistryValue " + Quote(path + "\\" + name) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
}

void DeleteRegistryValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
    return;
  UniqueRegistryKey key(raw);
  ::RegDeleteValueA(key.get(), name.c_str());
}

void DeleteRegistryTree(HKEY root, const std::string& path) {
  const LONG status = ::RegDeleteTreeA(root, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw DriverError("DeleteRegistryTree " + Quote(path) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
}

namespace {

void CollectKey(HKEY key, const std::string& path, const std::string& relative,
                RegistryTree& tree) {
  const std::string entry = "[" + relative + "]";
  tree[entry] = {};
  DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
  LONG status = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr,
                                   &values, &maxName, &maxData, nullptr, nullptr);
  // The performance-text keys below Perflib are no stored keys (Wine
  // answers them with an invalid handle): they count as there, unread.
  if (status == ERROR_INVALID_HANDLE && !relative.empty() &&
      relative.find("\\Perflib\\") != std::string::npos) {
    tree[entry] = TextValue("(not stored)");
    return;
  }
  for (DWORD i = 0; status == ERROR_SUCCESS && i < values; ++i) {
    std::string name(maxName + 1, '\0');
    DWORD nameLength = maxName + 1;
    RegistryValue value;
    value.data.resize(maxData);
    DWORD size = maxData;
    status = ::RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &value.type,
                             reinterpret_cast<BYTE*>(value.data.data()), &size);
    name.resize(nameLength);
    value.data.resize(size);
    tree[entry + "@" + name] = value;
  }
  for (DWORD i = 0; status == ERROR_SUCCESS && i < subkeys; ++i) {
    std::string name(maxSubkey + 1, '\0');
    DWORD nameLength = maxSubkey + 1;
    status = ::RegEnumKeyExA(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
    name.resize(nameLength);
    HKEY raw = nullptr;
    if (status == ERROR_SUCCESS)
      status = ::RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &raw);
    UniqueRegistryKey child(raw);
    if (status == ERROR_SUCCESS)
      CollectKey(child.get(), path, relative.empty() ? name : relative + "\\" + name, tree);
  }
  // A half-read key would compare as a changed one; say why instead.
  if (status != ERROR_SUCCESS) {
    throw DriverError("RegistrySnapshot " + Quote(path + "\\" + relative) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
}

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const noexcept { ::CloseServiceHandle(handle); }
};
using UniqueServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

UniqueServiceHandle OpenServiceByName(const std::string& name, DWORD access) {
  UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    throw DriverError("OpenSCManager: " + ErrorText(::GetLastError()));
  }
  UniqueServiceHandle service(::OpenServiceA(manager.get(), name.c_str(), access));
  if (!service && ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
    throw DriverError("OpenService " + Quote(name) + ": " + ErrorText(::GetLastError()));
  }
  return service;
}

}  // namespace

RegistryTree RegistrySnapshot(HKEY root, const std::string& path) {
  RegistryTree tree;
  HKEY raw = nullptr;
  const LONG status = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &raw);
  UniqueRegistryKey key(raw);
  if (status == ERROR_FILE_NOT_FOUND)
    return tree;
  if (status != ERROR_SUCCESS) {
    throw DriverError("RegistrySnapshot " + Quote(path) + ": " +
                      ErrorText(static_cast<DWORD>(status)));
  }
  CollectKey(key.get(), path, "", tree);
  return tree;
}

// --- Services ------------------------------------------------------------------

bool ServiceExists(const std::string& name) {
  return OpenServiceByName(name, SERVICE_QUERY_STATUS) != nullptr;
}

void RemoveService(const std::string& name) {
  const UniqueServiceHandle service = OpenServiceByName(name, DELETE);
  if (service && !::DeleteService(service.get()) &&
      ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    throw DriverError("RemoveService " + Quote(name) + ": " + ErrorText(::GetLastError()));
  }
}

void StartServiceAndWait(const std::string& name, DWORD timeoutMs) {
  const UniqueServiceHandle service = OpenServiceByName(name, SERVICE_START | SERVICE_QUERY_STATUS);
  if (!service || !::StartServiceA(service.get(), 0, nullptr)) {
    throw DriverError("StartService " + Quote(name) + ": " + ErrorText(::GetLastError()));
  }
  SERVICE_STATUS status{};
  const bool running = WaitUntil(
      [&] {
        return ::QueryServiceStatus(service.get(), &status) != FALSE &&
               status.dwCurrentState == SERVICE_RUNNING;
      },
      timeoutMs);
  if (!running) {
    throw DriverError("the service " + Quote(name) + " does not reach RUNNING");
  }
}

// --- Shell links -----------------------------------------------------------------

ShortcutInfo ReadShortcut(const std::string& path) {
  try {
    return test::ReadShellLink(Widen(path));
  } catch (const std::runtime_error& e) {
    throw DriverError(std::string("ReadShortcut: ") + e.what());
  }
}

// --- Helpers -------------------------------------------------------------------

std::string RectText(const RECT& r) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
  return buffer;
}

DWORD Patience(DWORD ms) {
  static const DWORD scale = [] {
    const char* text = std::getenv("QV_E2E_TIME_SCALE");
    const unsigned long value = text == nullptr ? 1 : std::strtoul(text, nullptr, 10);
    return static_cast<DWORD>(value >= 1 && value <= 100 ? value : 1);
  }();
  return ms == INFINITE || ms > INFINITE / scale ? ms : ms * scale;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
  const ULONGLONG deadline = ::GetTickCount64() + Patience(timeoutMs);
  for (;;) {
    if (condition()) {
      return true;
    }
    if (::GetTickCount64() >= deadline) {
      return false;
    }
    ::Sleep(pollMs);
  }
}

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) {
    return {};
  }
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) {
    return {};
  }
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                        nullptr, nullptr);
  return utf8;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  // FormatMessage allocates with LocalAlloc; the owner frees it with LocalFree.
  std::unique_ptr<wchar_t, decltype(&::LocalFree)> owned(buffer, &::LocalFree);
  std::string text = length != 0 ? Narrow(std::wstring_view(buffer, length)) : std::string();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text + " (error " + std::to_string(code) + ")";
}

}  // namespace qv::e2e
