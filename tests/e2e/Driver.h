// End-to-end driver: starts a Windows program, finds its windows by caption
// and class, reads and operates its controls the way a user (or a screen
// reader) would, and records the screen. Scenarios are written against this
// API only, so that they read as the user's steps.
//
// Error contract: a plain name throws DriverError when it cannot do what it
// says (the message names what was awaited and lists what was there instead);
// a Find... name reports "missing" as an empty result; Wait... names take a
// time-out in milliseconds and throw when it runs out.
//
// Texts cross this API as UTF-8; the driver talks to windows through the wide
// Win32 calls, so no code page of the prefix can garble them.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "ShellLinkReader.h"

namespace qv::e2e {

class DriverError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct KernelHandleCloser {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
// A kernel handle whose empty value is NULL (processes, threads).
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleCloser>;

// Exit code given to a process that the driver had to end itself, so that it
// cannot be mistaken for an exit of the program's own choosing.
inline constexpr DWORD kTerminatedExitCode = 0xE2E0DEAD;

// A started program. Move-only. A process still running when its Process is
// destroyed is terminated: a scenario that fails half-way must not leave its
// windows on the screen for the next one.
class Process {
 public:
  Process() = default;
  Process(UniqueHandle handle, DWORD id) : handle_(std::move(handle)), id_(id) {}
  Process(Process&& other) noexcept = default;
  Process& operator=(Process&& other) noexcept;
  ~Process();

  DWORD Id() const { return id_; }
  HANDLE Handle() const { return handle_.get(); }
  bool Running() const;
  // Ends the process with kTerminatedExitCode and waits (bounded) until it is gone.
  void Terminate() noexcept;

 private:
  UniqueHandle handle_;
  DWORD id_ = 0;
};

// Starts `path` (a Windows path) with CreateProcess; `arguments` are appended
// to the quoted program path. An empty working directory inherits ours.
// A start that Wine reports as ended before it was confirmed
// (ERROR_INTERNAL_ERROR: the new process died while setting itself up,
// before any of the program ran) is tried again, a few times with growing
// pauses; the error then says how many tries failed. Any other error is
// reported at once.
Process Launch(const std::string& path, const std::string& workingDir = {},
               const std::string& arguments = {});

// The exit code, or empty when the process still runs after `timeoutMs`.
std::optional<DWORD> WaitExit(Process& process, DWORD timeoutMs);

// --- Windows -------------------------------------------------------------

// Top-level windows are matched by exact caption and, when `className` is not
// empty, exact window class; only visible windows count. With `owner`, only
// that process's windows count, and a wait ends at once (with an error) when
// the process exits, instead of running into its time-out. Among several
// matches the one highest in the z-order wins.
HWND FindTopWindow(std::string_view caption, std::string_view className,
                   const Process* owner = nullptr);
HWND WaitWindow(std::string_view caption, std::string_view className, DWORD timeoutMs,
                const Process* owner = nullptr);
struct WindowQuery {
  std::string caption;
  std::string className;  // may be empty
};
// Waits until one of `candidates` is visible and returns its index and
// handle; lets a scenario fail at once when the wrong window comes up
// instead of waiting out the right one's time-out.
std::pair<size_t, HWND> WaitAnyWindow(const std::vector<WindowQuery>& candidates, DWORD timeoutMs,
                                      const Process* owner = nullptr);
// Waits until `window` is destroyed or hidden (a modal form that ends is hidden, not destroyed).
void WaitWindowGone(HWND window, DWORD timeoutMs);
void WaitWindowGone(std::string_view caption, std::string_view className, DWORD timeoutMs,
                    const Process* owner = nullptr);

// Visible top-level windows, top of the z-order first, one per line: handle,
// process, class, caption, rectangle; the text every failed wait carries.
std::string DumpTopLevelWindows();
// Handle, class and caption of one window, for messages.
std::string DescribeWindow(HWND window);
std::string ClassNameOf(HWND window);

// The top-level windows (visible ones) of one process, top of the z-order first.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);

// --- Controls ------------------------------------------------------------

struct ControlInfo {
  HWND handle = nullptr;
  std::string className;
  std::string text;  // WM_GETTEXT, as the control reports it (accelerator '&' included)
  int id = 0;
  bool enabled = false;
  bool visible = false;  // IsWindowVisible: hidden when it or any parent is hidden
  RECT rect{};           // screen coordinates
};

// Every descendant of `top` (children of children included), in the order
// the window manager enumerates them.
std::vector<ControlInfo> ListControls(HWND top);
std::string DumpControls(HWND top);

// `text` matches a control whose text equals it exactly or equals it once
// accelerator markers are removed: "Yes" and "&Yes" both find "&Yes". Hidden
// and disabled controls are found too, so that their state can be checked.
HWND FindControl(HWND top, std::string_view className, std::string_view text);
HWND RequireControl(HWND top, std::string_view className, std::string_view text);
// Removes accelerator markers the way a caption is drawn: "&&" stays as "&".
std::string StripAccelerators(std::string_view caption);

// WM_GETTEXT, bounded by a time-out so a hung program fails the read instead
// of hanging the driver.
std::string ReadText(HWND window);
// Waits until ReadText(window) equals `expected`; the error shows the last text seen.
void WaitText(HWND window, std::string_view expected, DWORD timeoutMs);
// The text stored with the window (GetWindowText). For another process's
// window it is read without a message, so it can be read while the program
// is busy and not pumping, and reading it cannot change when the program
// handles its next message.
std::string PeekText(HWND window);

// --- Input ---------------------------------------------------------------

// Posts BM_CLICK, as a click on the button would. A hidden or disabled button
// cannot be clicked by a user, so it is refused with an error.
void Click(HWND button);
// Posts WM_SYSCOMMAND SC_CLOSE: the title bar's close box (or Alt+F4). Call it
// qualified (e2e::CloseWindow): argument-dependent lookup also finds the Win32
// function of the same name, which minimises.
void CloseWindow(HWND top);

// Replaces the text of a control by WM_SETTEXT: no keystrokes, no key handlers run.
void SetText(HWND control, std::string_view text);

enum class TypingMethod {
  kKeyboard,      // SendInput keystrokes into the focused edit field
  kCharMessages,  // WM_CHAR posted to the edit field (the focus could not be set)
};
// Types `text` into an edit field, replacing what it held: selects all, then
// gives the field the focus (attaching to its thread's input) and sends real
// keystrokes with SendInput. When the focus cannot be verified (the field's
// window cannot be brought to the foreground), it falls back to WM_CHAR
// messages, which reach the field but bypass keyboard state and key handlers.
// Returns which way was used, so a test can say which it exercised.
TypingMethod TypeText(HWND edit, std::string_view text);

// Real keyboard input through SendInput to `top`, which is made the
// foreground window first (error if that fails), so that modifier state is
// seen by the program exactly as a user's would be. Syntax:
//   plain characters         typed as the keys that produce them ("a", "A" = Shift+A)
//   +  ^  %                  Shift, Ctrl, Alt held for the next key ("^c", "%{F4}", "+{TAB}")
//   {ENTER} {ESC} {TAB} {SPACE} {BS} {DEL} {INS} {HOME} {END} {PGUP} {PGDN}
//   {UP} {DOWN} {LEFT} {RIGHT} {F1}..{F12}
//   {+} {^} {%} {{} {}}      the literal character
// An unknown name or a dangling modifier throws before anything is sent.
void SendKeys(HWND top, std::string_view keys);

// Makes `top` the foreground window; false when the window manager refuses.
bool BringToForeground(HWND top);

// --- Dialogs -------------------------------------------------------------

// Waits for a dialog (caption and class), clicks the button with the caption
// `button` (accelerator markers optional) and waits until the dialog is gone.
void AnswerDialog(std::string_view caption, std::string_view className, std::string_view button,
                  DWORD timeoutMs, const Process* owner = nullptr);

// --- Clipboard and screen -------------------------------------------------

// CF_UNICODETEXT of the clipboard; empty when it holds no text. Retries while
// another program keeps the clipboard open.
std::string ReadClipboardText();

// Captures the primary screen (GetDC(nullptr) + BitBlt) and writes it as an
// uncompressed 24-bit bottom-up .bmp to `path` (a Windows path).
void Screenshot(const std::string& path);

SIZE ScreenSize();

// --- Registry --------------------------------------------------------------
// Scenarios prepare the machine state they need themselves.

void CreateRegistryKey(HKEY root, const std::string& path);
// Deletes a key without subkeys; a missing key is no error.
void DeleteRegistryKey(HKEY root, const std::string& path);
bool RegistryKeyExists(HKEY root, const std::string& path);

// A stored value: its type and raw bytes.
struct RegistryValue {
  DWORD type = REG_NONE;
  std::string data;
  bool operator==(const RegistryValue&) const = default;
};
RegistryValue TextValue(const std::string& text, DWORD type = REG_SZ);  // with its zero
RegistryValue NumberValue(DWORD number);
// The value, or nothing when the key or the value is missing.
std::optional<RegistryValue> ReadRegistryValue(HKEY root, const std::string& path,
                                               const std::string& name);
// Creates the key when missing.
void WriteRegistryValue(HKEY root, const std::string& path, const std::string& name,
                        const RegistryValue& value);
void DeleteRegistryValue(HKEY root, const std::string& path, const std::string& name);
// Deletes a key with everything below it; a missing key is no error.
void DeleteRegistryTree(HKEY root, const std::string& path);

// Everything stored below a key, for comparing before and after: an entry
// "[sub\key]" for the key and each key below it ("[]" for the key itself)
// and "[sub\key]@name" for each value, with its type and bytes. A missing
// key is empty.
using RegistryTree = std::map<std::string, RegistryValue>;
RegistryTree RegistrySnapshot(HKEY root, const std::string& path);

// --- Services ------------------------------------------------------------------

// Whether the service control manager knows the service, which is what
// decides whether it can be installed again (its registry key alone does not).
bool ServiceExists(const std::string& name);
// Deletes the service through the service control manager; a missing one is no error.
void RemoveService(const std::string& name);
// Starts the service and waits until it runs.
void StartServiceAndWait(const std::string& name, DWORD timeoutMs);

// --- Shell links --------------------------------------------------------------

using ShortcutInfo = test::ShellLink;
// Reads a .lnk file through the shell's own link object.
ShortcutInfo ReadShortcut(const std::string& path);

// --- Helpers -----------------------------------------------------------------

// How long a wait of `ms` may last here: `ms` times QV_E2E_TIME_SCALE (a
// whole number from 1 to 100, default 1), which a slow machine such as the
// emulated guest sets. WaitUntil, WaitExit and the window waits apply it.
DWORD Patience(DWORD ms);

// Polls `condition` until it holds or `timeoutMs` pass; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 25);

// "(left,top)-(right,bottom)", for messages.
std::string RectText(const RECT& rect);

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// The system's text for a Win32 error code, e.g. "Access is denied. (error 5)"
std::string ErrorText(DWORD code);

}  // namespace qv::e2e
