#pragma once
// Helpers for tests that drive the shell's real message loops under Wine:
// actions that run from inside whatever loop is running (posted or timed),
// window lookups, and key and click injection.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "shell/Application.h"
#include "win32/Callbacks.h"

namespace qv::test {

// The tests' side of the exception barrier, for their own callbacks (hooks,
// timer procedures, enumerations): what one throws fails the test instead of
// unwinding into Windows or opening the product's error box.
template <class Action>
bool TestGuarded(Action&& action) noexcept {
  try {
    action();
    return true;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "a test callback threw: " << e.what();
  } catch (...) {
    ADD_FAILURE() << "a test callback threw";
  }
  return false;
}

// Runs action when the next message loop (RunLoop, RunModal, PumpMessages,
// a message box) handles the posted message.
void Post(std::function<void()> action);
// Runs action once, about delayMs later, from a timer of the test's own.
void After(UINT delayMs, std::function<void()> action);
// Drops every action not yet run. A test's actions capture its locals, so
// none may run once the test body has returned, as a pending timer would in
// the teardown's message pumping.
void ForgetPendingActions();
// Posts a plain message to the helper window, for ordering tests.
void PostMarker(std::function<void()> action);

// Visible top-level windows of this thread with the class (and caption,
// when given).
std::vector<HWND> FindTopWindows(const std::string& className, const std::string& caption = {});
HWND FindTopWindow(const std::string& className, const std::string& caption = {});
HWND FindChild(HWND parent, const std::string& className, const std::string& text);
std::string WindowText(HWND window);

// A key press as the user makes it, through the system's input queue, so
// that the modifier state read by the receiver is right.
void PressKeys(std::initializer_list<WORD> keys);

// Removes every waiting message, the quit request included.
void DrainQueue();

// A value of HKEY_LOCAL_MACHINE as the system reads it, past the layer
// under test: its type and raw bytes.
struct StoredValue {
  bool exists = false;
  DWORD type = 0;
  std::string data;
  bool operator==(const StoredValue&) const = default;
};
StoredValue StoredText(const std::string& text);  // REG_SZ with its zero
StoredValue StoredNumber(DWORD number);
StoredValue ReadMachineValue(const std::string& key, const std::string& name);
bool MachineKeyExists(const std::string& key);

// A symbolic link at link to the file or directory target; false when none
// could be made. Under Wine, whose link call makes nothing, the Unix ln
// makes it in the prefix.
bool MakeLink(const std::string& link, const std::string& target);
// Removes such a link (never what it points to).
void RemoveLink(const std::string& link);

// This test program's path, and the probe program built beside it, which
// stands in for the programs the installer starts.
std::string TestProgramPath();
std::string ProbeProgramPath();

// Removes what an installation leaves outside its destination: the
// configuration key, both services, and the program-menu folder.
void ForgetInstallation();
// A machine the start-up checks pass on: the host mail server present and
// no earlier installation.
void PrepareSuitableMachine();

// One TApplication per test, and a record of every reported exception
// instead of error boxes (unless a test wants the real box).
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void UseRealErrorBox() { app->OnException = nullptr; }

  std::unique_ptr<TApplication> app;
  std::vector<std::string> reported;  // "ClassName: message"
};

// The directory of the built payload files (QV_PAYLOAD_DIR, a Unix path
// taken through drive Z:), with its "\\"; empty when it is not set.
std::wstring PayloadDir();
// For messages: ASCII kept, every other character as "?".
std::string Narrow(const std::wstring& text);

// Runs a modal loop until done() or the time-out; false on time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

}  // namespace qv::test
