// Message dialogs built and run for real inside the shell's modal loop, and
// answered with the messages that a user's keys, clicks and close commands
// produce.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "shell/Application.h"
#include "controls/ExtCtrls.h"
#include "shell/Forms.h"
#include "controls/StdCtrls.h"
#include "ui/MessageDialog.h"

namespace qv::test {
namespace {

constexpr TDialogButtons kYesNo = ButtonBit(dbYes) | ButtonBit(dbNo);
constexpr TDialogButtons kOkOnly = ButtonBit(dbOK);
constexpr TDialogButtons kYesNoCancel = kYesNo | ButtonBit(dbCancel);
constexpr const char* kQuestion = "Proceed?";
constexpr const char* kAppTitle = "Installing Quolvex Antivirus";
constexpr DWORD kInputWaitMs = 3000;

HWND RunningDialog() {
  return FindTopWindow("TMessageForm");
}
HWND DialogButton(const std::string& caption) {
  return FindChild(RunningDialog(), "Button", caption);
}
std::string ClassOf(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// Key data as the input queue fills it in; Alt is bit 29.
LPARAM KeyData(WORD key, bool altHeld, bool release = false) {
  const UINT scan = ::MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  LPARAM data = static_cast<LPARAM>(1u | (scan << 16));
  if (altHeld) {
    data |= static_cast<LPARAM>(KF_ALTDOWN) << 16;
  }
  if (release) {
    data |= static_cast<LPARAM>(KF_REPEAT | KF_UP) << 16;
  }
  return data;
}

// Keyboard messages go to the window with the focus, as the system routes
// them; the shell's pre-processing sees them exactly as it would see typed
// keys.
void PostKey(UINT message, WORD key, bool altHeld = false) {
  const bool release = message == WM_KEYUP || message == WM_SYSKEYUP;
  ::PostMessageA(::GetFocus(), message, key, KeyData(key, altHeld, release));
}
void PostChar(UINT message, char character) {
  const auto key = static_cast<WORD>(::VkKeyScanA(character) & 0xFF);
  ::PostMessageA(::GetFocus(), message, static_cast<unsigned char>(character),
                 KeyData(key, message == WM_SYSCHAR));
}

// Posted key messages do not change the key state the receiver reads, so
// a held modifier is put into the thread's key state directly.
void SetHeld(BYTE key, bool held) {
  BYTE state[256] = {};
  ::GetKeyboardState(state);
  state[key] = held ? 0x80 : 0;
  ::SetKeyboardState(state);
}
void ReleaseModifiers() {
  for (BYTE key : {VK_SHIFT, VK_LSHIFT, VK_RSHIFT, VK_CONTROL, VK_LCONTROL, VK_RCONTROL, VK_MENU,
                   VK_LMENU, VK_RMENU}) {
    SetHeld(key, false);
  }
}

void CloseBox(HWND dialog) {
  ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}
void Click(HWND button) {
  ::SendMessageA(button, BM_CLICK, 0, 0);
}

std::string ClipboardText() {
  if (!::OpenClipboard(nullptr)) {
    return "<clipboard busy>";
  }
  std::string text;
  if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
    if (const auto* bytes = static_cast<const char*>(::GlobalLock(data))) {
      text = bytes;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}
void EmptyTheClipboard() {
  if (::OpenClipboard(nullptr)) {
    ::EmptyClipboard();
    ::CloseClipboard();
  }
}

// Ends a modal run that the test's own input failed to end, so that a
// broken dialog fails its test instead of hanging the whole run. A thread
// timer of its own, killed on destruction, so it never reaches a later test.
class Watchdog {
 public:
  explicit Watchdog(UINT timeoutMs = 8000) {
    current_ = this;
    id_ = ::SetTimer(nullptr, 0, timeoutMs, SystemCallback(&Fire));
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    ::KillTimer(nullptr, id_);
    current_ = nullptr;
  }
  bool Fired() const noexcept { return fired_; }

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    ::KillTimer(nullptr, id);
    if (current_ == nullptr || current_->id_ != id) {
      return;
    }
    current_->fired_ = true;
    // Taken by the innermost loop, it ends every modal run with 2.
    ::PostQuitMessage(0);
  }
  static inline Watchdog* current_ = nullptr;
  UINT_PTR id_ = 0;
  bool fired_ = false;
};

// Keeps the clipboard open from another thread, as another program would,
// until released.
class ClipboardHeldElsewhere {
 public:
  ClipboardHeldElsewhere()
      : opened_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_([this] { Hold(); }) {
    ::WaitForSingleObject(opened_.get(), 5000);
  }
  ClipboardHeldElsewhere(const ClipboardHeldElsewhere&) = delete;
  ClipboardHeldElsewhere& operator=(const ClipboardHeldElsewhere&) = delete;
  ~ClipboardHeldElsewhere() {
    Release();
    thread_.join();
  }
  bool Holding() const noexcept { return holding_; }
  void Release() { ::SetEvent(release_.get()); }

 private:
  void Hold() noexcept {
    HWND window = ::CreateWindowExA(0, "STATIC", "clipboard holder", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
    holding_ = ::OpenClipboard(window) != FALSE;
    ::SetEvent(opened_.get());
    ::WaitForSingleObject(release_.get(), INFINITE);
    if (holding_) {
      ::CloseClipboard();
    }
    if (window != nullptr) {
      ::DestroyWindow(window);
    }
  }

  UniqueHandle opened_;
  UniqueHandle release_;
  bool holding_ = false;
  std::thread thread_;
};

using Steps = std::vector<std::function<void()>>;

class MessageDialogTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ReleaseModifiers();
    app->SetAppTitle(kAppTitle);
  }
  void TearDown() override {
    // Steps still queued when a dialog ended early must not run against
    // this test's objects while the queue is drained.
    *live_ = false;
    ReleaseModifiers();
    ShellTest::TearDown();
  }

  // Runs each step from inside the dialog's loop; a step runs only after
  // every message the previous one posted has been handled.
  void Schedule(Steps steps) {
    PostStep(live_, std::make_shared<const Steps>(std::move(steps)), 0);
  }

  // Runs action from a timer once done() holds (or kInputWaitMs passed):
  // input that SendInput queued is handled before timers, not before posted
  // messages.
  void WhenInputHandled(std::function<bool()> done, std::function<void()> action) {
    WaitStep(live_, ::GetTickCount() + kInputWaitMs, std::move(done), std::move(action));
  }

  TModalResult Show(TDialogKind kind, TDialogButtons buttons, Steps steps,
                    const std::string& text = kQuestion) {
    Schedule(std::move(steps));
    Watchdog watchdog;
    const TModalResult result = ShowMessageDialog(text, kind, buttons, 0);
    EXPECT_FALSE(watchdog.Fired()) << "the dialog did not end from the test's input";
    return result;
  }

  // The window that has the focus after key() was handled in a running
  // Yes/No/Cancel question, and the button expected to have it.
  struct FocusProbe {
    HWND focused = nullptr;
    HWND expected = nullptr;
  };
  FocusProbe FocusAfter(Steps keys, const std::string& expectedCaption) {
    FocusProbe probe;
    keys.push_back([&] {
      ReleaseModifiers();
      probe.focused = ::GetFocus();
      probe.expected = DialogButton(expectedCaption);
      CloseBox(RunningDialog());
    });
    Show(TDialogKind::dkConfirmation, kYesNoCancel, std::move(keys));
    return probe;
  }

  std::unique_ptr<TMessageForm> Build(const std::string& text, TDialogKind kind,
                                      TDialogButtons buttons) {
    std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, kind, buttons);
    form->HandleNeeded();
    return form;
  }

 private:
  static void PostStep(std::shared_ptr<bool> live, std::shared_ptr<const Steps> steps,
                       size_t index) {
    if (index >= steps->size()) {
      return;
    }
    Post([live, steps, index] {
      if (!*live) {
        return;
      }
      (*steps)[index]();
      PostStep(live, steps, index + 1);
    });
  }
  static void WaitStep(std::shared_ptr<bool> live, DWORD deadline, std::function<bool()> done,
                       std::function<void()> action) {
    After(20, [live, deadline, done, action] {
      if (!*live) {
        return;
      }
      if (done() || static_cast<LONG>(::GetTickCount() - deadline) > 0) {
        action();
      } else {
        WaitStep(live, deadline, done, action);
      }
    });
  }

  std::shared_ptr<bool> live_ = std::make_shared<bool>(true);
};

// ------------------------------------------------------------- dialog keys

using MessageDialogKeys = MessageDialogTest;

TEST_F(MessageDialogKeys, FocusStartsOnTheLeftmostButton) {
  HWND focused = nullptr;
  HWND yes = nullptr;
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         focused = ::GetFocus();
         yes = DialogButton("&Yes");
         CloseBox(RunningDialog());
       }});
  ASSERT_NE(yes, nullptr);
  EXPECT_EQ(focused, yes);
}

TEST_F(MessageDialogKeys, EnterRightAfterOpeningAnswersYes) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { PostKey(WM_KEYDOWN, VK_RETURN); }}), resYes);
}

TEST_F(MessageDialogKeys, TabThenEnterAnswersNo) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo,
                 {[] { PostKey(WM_KEYDOWN, VK_TAB); }, [] { PostKey(WM_KEYDOWN, VK_RETURN); }}),
            resNo);
}

TEST_F(MessageDialogKeys, TabMovesFocusToTheNextButton) {
  const FocusProbe probe = FocusAfter({[] { PostKey(WM_KEYDOWN, VK_TAB); }}, "&No");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, ShiftTabFromTheFirstButtonWrapsToTheLast) {
  const FocusProbe probe = FocusAfter({[] {
                                        SetHeld(VK_SHIFT, true);
                                        PostKey(WM_KEYDOWN, VK_TAB);
                                      }},
                                      "Cancel");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, RightArrowMovesFocusForward) {
  const FocusProbe probe = FocusAfter({[] { PostKey(WM_KEYDOWN, VK_RIGHT); }}, "&No");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, DownArrowMovesFocusForward) {
  const FocusProbe probe = FocusAfter({[] { PostKey(WM_KEYDOWN, VK_DOWN); }}, "&No");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, LeftArrowFromTheFirstButtonWrapsToTheLast) {
  const FocusProbe probe = FocusAfter({[] { PostKey(WM_KEYDOWN, VK_LEFT); }}, "Cancel");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, UpArrowMovesFocusBack) {
  // One key per step: each goes to the button that has the focus by then.
  const FocusProbe probe =
      FocusAfter({[] { PostKey(WM_KEYDOWN, VK_TAB); }, [] { PostKey(WM_KEYDOWN, VK_TAB); },
                  [] { PostKey(WM_KEYDOWN, VK_UP); }},
                 "&No");
  ASSERT_NE(probe.expected, nullptr);
  EXPECT_EQ(probe.focused, probe.expected);
}

TEST_F(MessageDialogKeys, SpaceClicksTheFocusedButton) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo,
                 {[] { PostKey(WM_KEYDOWN, VK_TAB); },
                  [] {
                    PostKey(WM_KEYDOWN, VK_SPACE);
                    PostKey(WM_KEYUP, VK_SPACE);
                  }}),
            resNo);
}

TEST_F(MessageDialogKeys, EnterWithCtrlHeldClicksNothing) {
  bool openAfterCtrlEnter = false;
  const TModalResult result = Show(TDialogKind::dkWarning, kYesNo,
                                   {[] {
                                      SetHeld(VK_CONTROL, true);
                                      PostKey(WM_KEYDOWN, VK_RETURN);
                                    },
                                    [&] {
                                      ReleaseModifiers();
                                      openAfterCtrlEnter = ::IsWindowVisible(RunningDialog());
                                      CloseBox(RunningDialog());
                                    }});
  EXPECT_TRUE(openAfterCtrlEnter);
  EXPECT_EQ(result, resCancel);
}

TEST_F(MessageDialogKeys, EscapeOnYesNoAnswersNo) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { PostKey(WM_KEYDOWN, VK_ESCAPE); }}), resNo);
}

TEST_F(MessageDialogKeys, EscapeOnOkOnlyAnswersOk) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly, {[] { PostKey(WM_KEYDOWN, VK_ESCAPE); }}), resOK);
}

TEST_F(MessageDialogKeys, EnterOnOkOnlyAnswersOk) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly, {[] { PostKey(WM_KEYDOWN, VK_RETURN); }}), resOK);
}

TEST_F(MessageDialogKeys, EscapeWithoutCancelButtonDoesNothing) {
  bool openAfterEscape = false;
  const TModalResult result = Show(TDialogKind::dkError, ButtonBit(dbAbort) | ButtonBit(dbIgnore),
                                   {[] { PostKey(WM_KEYDOWN, VK_ESCAPE); },
                                    [&] {
                                      openAfterEscape = ::IsWindowVisible(RunningDialog());
                                      Click(DialogButton("&Ignore"));
                                    }});
  EXPECT_TRUE(openAfterEscape);
  EXPECT_EQ(result, resIgnore);
}

// ------------------------------------------------------------ accelerators

using MessageDialogAccelerators = MessageDialogTest;

TEST_F(MessageDialogAccelerators, LowerCaseYAnswersYes) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo,
                 {[] { PostKey(WM_KEYDOWN, VK_TAB); }, [] { PostChar(WM_CHAR, 'y'); }}),
            resYes);
}

TEST_F(MessageDialogAccelerators, UpperCaseYAnswersYes) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo,
                 {[] { PostKey(WM_KEYDOWN, VK_TAB); }, [] { PostChar(WM_CHAR, 'Y'); }}),
            resYes);
}

TEST_F(MessageDialogAccelerators, LowerCaseNAnswersNo) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { PostChar(WM_CHAR, 'n'); }}), resNo);
}

TEST_F(MessageDialogAccelerators, AltNAnswersNo) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { PostChar(WM_SYSCHAR, 'n'); }}), resNo);
}

TEST_F(MessageDialogAccelerators, AcceleratorOfALaterButtonInTheRowClicksIt) {
  EXPECT_EQ(
      Show(TDialogKind::dkWarning, ButtonBit(dbAbort) | ButtonBit(dbRetry) | ButtonBit(dbIgnore),
           {[] { PostChar(WM_CHAR, 'i'); }}),
      resIgnore);
}

TEST_F(MessageDialogAccelerators, OkHasNoAccelerator) {
  bool openAfterO = false;
  const TModalResult result = Show(TDialogKind::dkError, kOkOnly,
                                   {[] { PostChar(WM_CHAR, 'o'); },
                                    [&] {
                                      openAfterO = ::IsWindowVisible(RunningDialog());
                                      CloseBox(RunningDialog());
                                    }});
  EXPECT_TRUE(openAfterO);
  EXPECT_EQ(result, resCancel);
}

// ------------------------------------------------------------ closing

using MessageDialogClose = MessageDialogTest;

TEST_F(MessageDialogClose, CloseBoxOnYesNoReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { CloseBox(RunningDialog()); }}), resCancel);
}

TEST_F(MessageDialogClose, CloseBoxOnOkOnlyReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly, {[] { CloseBox(RunningDialog()); }}), resCancel);
}

TEST_F(MessageDialogClose, AltF4AsTheSystemSendsItOnYesNoReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo,
                 {[] { PostKey(WM_SYSKEYDOWN, VK_F4, /*altHeld=*/true); }}),
            resCancel);
}

TEST_F(MessageDialogClose, AltF4AsTheSystemSendsItOnOkOnlyReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly,
                 {[] { PostKey(WM_SYSKEYDOWN, VK_F4, /*altHeld=*/true); }}),
            resCancel);
}

TEST_F(MessageDialogClose, AltF4TypedOnYesNoReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { PressKeys({VK_MENU, VK_F4}); }}), resCancel);
}

TEST_F(MessageDialogClose, AltF4TypedOnOkOnlyReturnsCancel) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly, {[] { PressKeys({VK_MENU, VK_F4}); }}), resCancel);
}

TEST_F(MessageDialogClose, DialogIsDestroyedAfterTheRun) {
  const int componentsBefore = app->ComponentCount();
  HWND dialog = nullptr;
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         dialog = RunningDialog();
         Click(DialogButton("&Yes"));
       }});
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(app->ComponentCount(), componentsBefore);
}

// ------------------------------------------------------------ clicks

using MessageDialogClicks = MessageDialogTest;

TEST_F(MessageDialogClicks, ClickOnNoReturnsNo) {
  EXPECT_EQ(Show(TDialogKind::dkWarning, kYesNo, {[] { Click(DialogButton("&No")); }}), resNo);
}

TEST_F(MessageDialogClicks, ClickOnOkReturnsOk) {
  EXPECT_EQ(Show(TDialogKind::dkError, kOkOnly, {[] { Click(DialogButton("OK")); }}), resOK);
}

TEST_F(MessageDialogClicks, ClickOnYesToAllReturnsYesToAll) {
  EXPECT_EQ(Show(TDialogKind::dkConfirmation,
                 ButtonBit(dbYes) | ButtonBit(dbNoToAll) | ButtonBit(dbYesToAll),
                 {[] { Click(DialogButton("Yes to &All")); }}),
            resYesToAll);
}

// Help never ends the dialog. Without a help file it shows nothing; with
// one (the installer's own compiled help serves) it opens the viewer.
TEST_F(MessageDialogClicks, HelpClickKeepsTheDialogOpenAndOpensHelpOnlyWithAFile) {
  char payloads[MAX_PATH] = {};
  const bool haveHelpFile = ::GetEnvironmentVariableA("QV_PAYLOAD_DIR", payloads, MAX_PATH) != 0;
  for (const bool withFile : {false, true}) {
    if (withFile && !haveHelpFile)
      GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
    app->HelpFile = withFile ? std::string(payloads) + "\\quolvex.chm" : std::string();
    bool openAfterHelp = false;
    std::vector<std::string> viewers;  // their captions
    Schedule(
        {[] { Click(DialogButton("&Help")); },
         [&] {
           // The viewer's caption, from the file, comes after its window.
           WhenInputHandled(
               [] { return FindTopWindow("HH Parent", "Quolvex Antivirus 5.0 Help") != nullptr; },
               [&] {
                 for (HWND viewer : FindTopWindows("HH Parent"))
                   viewers.push_back(WindowText(viewer));
                 openAfterHelp = ::IsWindowVisible(RunningDialog());
                 Click(DialogButton("OK"));
               });
         }});
    Watchdog watchdog;
    EXPECT_EQ(ShowMessageDialogAt(kQuestion, TDialogKind::dkInformation,
                                  kOkOnly | ButtonBit(dbHelp), 7, -1, -1, ""),
              resOK);
    EXPECT_TRUE(openAfterHelp);
    EXPECT_EQ(viewers, withFile ? std::vector<std::string>{"Quolvex Antivirus 5.0 Help"}
                                : std::vector<std::string>{});
  }
}

// ------------------------------------------------------------ termination

using MessageDialogTermination = MessageDialogTest;

TEST_F(MessageDialogTermination, TakenBeforeTheDialogEndsItWithCancelWithoutInput) {
  app->RequestTermination();
  app->PumpMessages();
  ASSERT_TRUE(app->QuitReceived());
  EXPECT_EQ(Show(TDialogKind::dkError, kYesNo, {}), resCancel);
}

TEST_F(MessageDialogTermination, RequestedWhileTheDialogRunsEndsItWithCancel) {
  EXPECT_EQ(Show(TDialogKind::dkInformation, kYesNo, {[this] { app->RequestTermination(); }}),
            resCancel);
}

// ------------------------------------------------------------ Ctrl+C

using MessageDialogCopy = MessageDialogTest;

constexpr const char* kDivider = "---------------------------\r\n";

TEST_F(MessageDialogCopy, CtrlCCopiesTheFramedText) {
  EmptyTheClipboard();
  std::string copied;
  Show(TDialogKind::dkConfirmation, kYesNo, {[&] {
         PressKeys({VK_CONTROL, 'C'});
         WhenInputHandled([] { return ::IsClipboardFormatAvailable(CF_TEXT) != FALSE; },
                          [&] {
                            copied = ClipboardText();
                            CloseBox(RunningDialog());
                          });
       }},
       "Overwrite the files in C:\\A&B?");
  EXPECT_EQ(copied, std::string(kDivider) + "Confirm\r\n" + kDivider +
                        "Overwrite the files in C:\\A&B?\r\n" + kDivider + "Yes   No   \r\n" +
                        kDivider);
}

TEST_F(MessageDialogCopy, CtrlCKeepsTheDialogOpen) {
  EmptyTheClipboard();
  bool openAfterCopy = false;
  const TModalResult result =
      Show(TDialogKind::dkConfirmation, kYesNo, {[&] {
             PressKeys({VK_CONTROL, 'C'});
             WhenInputHandled([] { return ::IsClipboardFormatAvailable(CF_TEXT) != FALSE; },
                              [&] {
                                openAfterCopy = ::IsWindowVisible(RunningDialog());
                                Click(DialogButton("&No"));
                              });
           }});
  EXPECT_TRUE(openAfterCopy);
  EXPECT_EQ(result, resNo);
}

TEST_F(MessageDialogCopy, CtrlShiftCCopiesNothing) {
  EmptyTheClipboard();
  bool textOnClipboard = true;
  Show(TDialogKind::dkConfirmation, kYesNo,
       {[] {
          SetHeld(VK_CONTROL, true);
          SetHeld(VK_SHIFT, true);
          PostKey(WM_KEYDOWN, 'C');
        },
        [&] {
          ReleaseModifiers();
          textOnClipboard = ::IsClipboardFormatAvailable(CF_TEXT) != FALSE;
          CloseBox(RunningDialog());
        }});
  EXPECT_FALSE(textOnClipboard);
}

TEST_F(MessageDialogCopy, BusyClipboardIsReported) {
  ClipboardHeldElsewhere holder;
  ASSERT_TRUE(holder.Holding());
  Show(TDialogKind::dkConfirmation, kYesNo, {[&] {
         PressKeys({VK_CONTROL, 'C'});
         WhenInputHandled([&] { return !reported.empty(); }, [] { CloseBox(RunningDialog()); });
       }});
  EXPECT_EQ(reported, std::vector<std::string>{"Exception: Cannot open clipboard"});
}

TEST_F(MessageDialogCopy, BusyClipboardKeepsTheDialogOpen) {
  ClipboardHeldElsewhere holder;
  ASSERT_TRUE(holder.Holding());
  bool openAfterFailure = false;
  const TModalResult result = Show(TDialogKind::dkConfirmation, kYesNo, {[&] {
                                     PressKeys({VK_CONTROL, 'C'});
                                     WhenInputHandled([&] { return !reported.empty(); },
                                                      [&] {
                                                        openAfterFailure =
                                                            ::IsWindowVisible(RunningDialog());
                                                        Click(DialogButton("&Yes"));
                                                      });
                                   }});
  EXPECT_TRUE(openAfterFailure);
  EXPECT_EQ(result, resYes);
}

// The real error box of the shell, shown over the running dialog: the
// dialog is disabled under it and usable again once it is answered.
struct ErrorBoxProbe {
  std::string text;
  bool dialogEnabledUnderBox = true;
  bool dialogEnabledAfterBox = false;
  bool focusInDialogAfterBox = false;
};

TEST_F(MessageDialogCopy, BusyClipboardShowsTheErrorBoxOverTheDialog) {
  UseRealErrorBox();
  ClipboardHeldElsewhere holder;
  ASSERT_TRUE(holder.Holding());
  ErrorBoxProbe probe;
  const auto errorBox = [] { return FindTopWindow("#32770", kAppTitle); };
  const TModalResult result =
      Show(TDialogKind::dkConfirmation, kYesNo, {[&] {
             PressKeys({VK_CONTROL, 'C'});
             WhenInputHandled([&] { return errorBox() != nullptr; },
                              [&] {
                                HWND box = errorBox();
                                char text[256] = {};
                                ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                                probe.text = text;
                                probe.dialogEnabledUnderBox = ::IsWindowEnabled(RunningDialog());
                                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
                                WhenInputHandled(
                                    [&] { return errorBox() == nullptr; },
                                    [&] {
                                      HWND dialog = RunningDialog();
                                      probe.dialogEnabledAfterBox = ::IsWindowEnabled(dialog);
                                      probe.focusInDialogAfterBox = ::IsChild(dialog, ::GetFocus());
                                      Click(DialogButton("&Yes"));
                                    });
                              });
           }});
  EXPECT_EQ(probe.text, "Cannot open clipboard.");
  EXPECT_FALSE(probe.dialogEnabledUnderBox);
  EXPECT_TRUE(probe.dialogEnabledAfterBox);
  EXPECT_TRUE(probe.focusInDialogAfterBox);
  EXPECT_EQ(result, resYes);
}

// ------------------------------------------------------------ structure

using MessageDialogBuild = MessageDialogTest;

TEST_F(MessageDialogBuild, CaptionFollowsTheKind) {
  const std::pair<TDialogKind, std::string> cases[] = {
      {TDialogKind::dkWarning, "Warning"},         {TDialogKind::dkError, "Error"},
      {TDialogKind::dkInformation, "Information"}, {TDialogKind::dkConfirmation, "Confirm"},
      {TDialogKind::dkCustom, kAppTitle},
  };
  for (const auto& [kind, caption] : cases) {
    SCOPED_TRACE(caption);
    auto form = Build(kQuestion, kind, kOkOnly);
    EXPECT_EQ(WindowText(form->Handle()), caption);
  }
}

TEST_F(MessageDialogBuild, DialogIsOwnedByTheApplication) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kOkOnly);
  EXPECT_EQ(form->Owner(), app.get());
}

LONG StyleOf(TMessageForm& form) {
  return ::GetWindowLongA(form.Handle(), GWL_STYLE);
}

TEST_F(MessageDialogBuild, FrameHasACloseBox) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  EXPECT_NE(StyleOf(*form) & WS_SYSMENU, 0);
}

TEST_F(MessageDialogBuild, FrameHasNoMinimiseBox) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  EXPECT_EQ(StyleOf(*form) & WS_MINIMIZEBOX, 0);
}

TEST_F(MessageDialogBuild, FrameHasNoMaximiseBox) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  EXPECT_EQ(StyleOf(*form) & WS_MAXIMIZEBOX, 0);
}

TEST_F(MessageDialogBuild, FrameIsNotSizeable) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  EXPECT_EQ(StyleOf(*form) & WS_THICKFRAME, 0);
}

TEST_F(MessageDialogBuild, ShowNoticeIsCaptionedWithTheAppTitleAndHasOnlyOk) {
  std::string caption;
  HWND ok = nullptr;
  HWND firstButton = nullptr;
  Schedule({[&] {
    HWND dialog = RunningDialog();
    caption = WindowText(dialog);
    ok = DialogButton("OK");
    firstButton = ::FindWindowExA(dialog, nullptr, "Button", nullptr);
    Click(ok);
  }});
  Watchdog watchdog;
  ShowNotice("Reboot failed.");
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_EQ(caption, kAppTitle);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(::FindWindowExA(::GetParent(ok), firstButton, "Button", nullptr), nullptr);
}

TEST_F(MessageDialogBuild, ImageShowsTheStockIconOfTheKind) {
  const std::pair<TDialogKind, LPCSTR> cases[] = {
      {TDialogKind::dkWarning, IDI_EXCLAMATION},
      {TDialogKind::dkError, IDI_HAND},
      {TDialogKind::dkInformation, IDI_ASTERISK},
      {TDialogKind::dkConfirmation, IDI_QUESTION},
  };
  for (const auto& [kind, icon] : cases) {
    SCOPED_TRACE(static_cast<int>(kind));
    auto form = Build(kQuestion, kind, kOkOnly);
    auto* image = dynamic_cast<TImage*>(form->FindComponent("Image"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Icon(), ::LoadIconA(nullptr, icon));
  }
}

TEST_F(MessageDialogBuild, ImageIs32By32) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kOkOnly);
  auto* image = dynamic_cast<TImage*>(form->FindComponent("Image"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 32);
  EXPECT_EQ(image->Height(), 32);
}

TEST_F(MessageDialogBuild, CustomKindHasNoImage) {
  auto form = Build(kQuestion, TDialogKind::dkCustom, kOkOnly);
  EXPECT_EQ(form->FindComponent("Image"), nullptr);
}

TEST_F(MessageDialogBuild, ChildrenAreCreatedImageMessageThenButtons) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  std::vector<std::string> names;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    names.push_back(form->Components(i)->Name());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Image", "Message", "Yes", "No"}));
}

TEST_F(MessageDialogBuild, ButtonsFollowTheTableOrderWhateverTheMask) {
  auto form = Build(kQuestion, TDialogKind::dkConfirmation,
                    ButtonBit(dbHelp) | ButtonBit(dbCancel) | ButtonBit(dbOK) | ButtonBit(dbYes));
  std::vector<std::string> names;
  std::vector<int> lefts;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    if (auto* button = dynamic_cast<TButton*>(form->Components(i))) {
      names.push_back(button->Name());
      lefts.push_back(button->Left());
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Yes", "OK", "Cancel", "Help"}));
  EXPECT_TRUE(std::is_sorted(lefts.begin(), lefts.end()));
}

TEST_F(MessageDialogBuild, ButtonsCarryTheirCaptionsAsRealButtonText) {
  auto form = Build(kQuestion, TDialogKind::dkConfirmation, kYesNoCancel);
  EXPECT_NE(FindChild(form->Handle(), "Button", "&Yes"), nullptr);
  EXPECT_NE(FindChild(form->Handle(), "Button", "&No"), nullptr);
  EXPECT_NE(FindChild(form->Handle(), "Button", "Cancel"), nullptr);
}

struct Flags {
  std::string name;
  bool isDefault;
  bool isCancel;
  bool operator==(const Flags&) const = default;
};
void PrintTo(const Flags& f, std::ostream* os) {
  *os << f.name << (f.isDefault ? " default" : "") << (f.isCancel ? " cancel" : "");
}
std::vector<Flags> ButtonFlags(TMessageForm& form) {
  std::vector<Flags> flags;
  for (int i = 0; i < form.ComponentCount(); ++i) {
    if (auto* button = dynamic_cast<TButton*>(form.Components(i))) {
      flags.push_back({button->Name(), button->Default(), button->Cancel()});
    }
  }
  return flags;
}

TEST_F(MessageDialogBuild, YesNoHasYesDefaultAndNoCancel) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  EXPECT_EQ(ButtonFlags(*form), (std::vector<Flags>{{"Yes", true, false}, {"No", false, true}}));
}

TEST_F(MessageDialogBuild, OkOnlyIsDefaultAndCancel) {
  auto form = Build(kQuestion, TDialogKind::dkError, kOkOnly);
  EXPECT_EQ(ButtonFlags(*form), (std::vector<Flags>{{"OK", true, true}}));
}

TEST_F(MessageDialogBuild, AbortIgnoreHasNeitherDefaultNorCancel) {
  auto form = Build(kQuestion, TDialogKind::dkError, ButtonBit(dbAbort) | ButtonBit(dbIgnore));
  EXPECT_EQ(ButtonFlags(*form),
            (std::vector<Flags>{{"Abort", false, false}, {"Ignore", false, false}}));
}

TEST_F(MessageDialogBuild, DefaultButtonHasTheDefaultPushButtonLook) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNo);
  const auto style = [&](const char* caption) {
    return ::GetWindowLongA(FindChild(form->Handle(), "Button", caption), GWL_STYLE) & BS_TYPEMASK;
  };
  EXPECT_EQ(style("&Yes"), BS_DEFPUSHBUTTON);
  EXPECT_EQ(style("&No"), BS_PUSHBUTTON);
}

TEST_F(MessageDialogBuild, MessageIsARealStaticHoldingTheText) {
  const std::string text = "The destination folder could not be created.";
  auto form = Build(text, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  char buffer[256] = {};
  ::SendMessageA(message, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  EXPECT_EQ(std::string(buffer), text);
  EXPECT_EQ(ClassOf(message), "Static");
}

TEST_F(MessageDialogBuild, MessageTakesNoFocus) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", kQuestion);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(::GetWindowLongA(message, GWL_STYLE) & WS_TABSTOP, 0);
}

TEST_F(MessageDialogBuild, AmpersandIsNotAnAcceleratorMarkInTheMessage) {
  const std::string text = "Copy C:\\A&B to C:\\C&&D";
  auto form = Build(text, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  EXPECT_NE(::GetWindowLongA(message, GWL_STYLE) & SS_NOPREFIX, 0);
}

// The width of text on one line, every '&' drawn, in the font the window
// uses.
int LiteralWidth(HWND window, const std::string& text) {
  HDC dc = ::GetDC(window);
  HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return size.cx;
}

TEST_F(MessageDialogBuild, AmpersandsAreMeasuredAsDrawn) {
  const std::string text = "&&&&&&&&&&&&&&&&&&&&";
  auto form = Build(text, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  RECT r{};
  ::GetWindowRect(message, &r);
  EXPECT_EQ(r.right - r.left, LiteralWidth(message, text));
}

TEST_F(MessageDialogBuild, MessageUsesTheMessageBoxFont) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  auto form = Build(kQuestion, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", kQuestion);
  ASSERT_NE(message, nullptr);
  LOGFONTA used{};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(message, WM_GETFONT, 0, 0)), sizeof used,
               &used);
  EXPECT_STREQ(used.lfFaceName, metrics.lfMessageFont.lfFaceName);
  EXPECT_EQ(used.lfHeight, metrics.lfMessageFont.lfHeight);
}

// A line far wider than half the screen.
std::string LongLine() {
  std::string text;
  for (int i = 0; i < 60; ++i) {
    text += "installation ";
  }
  text += "done.";
  return text;
}

RECT ClientRectOf(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return r;
}
RECT ChildRect(HWND parent, HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST_F(MessageDialogBuild, LongLineWrapsWithinHalfTheScreen) {
  const std::string text = LongLine();
  auto form = Build(text, TDialogKind::dkCustom, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  const RECT label = ChildRect(form->Handle(), message);
  EXPECT_LE(label.right - label.left, ::GetSystemMetrics(SM_CXSCREEN) / 2);
}

TEST_F(MessageDialogBuild, LongLineKeepsTheDialogWithinHalfTheScreenPlusMargins) {
  const std::string text = LongLine();
  auto form = Build(text, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  const RECT label = ChildRect(form->Handle(), message);
  const RECT client = ClientRectOf(form->Handle());
  // Left of the text: margin, icon and spacing; right of it: one margin,
  // which is the icon's left.
  auto* image = dynamic_cast<TImage*>(form->FindComponent("Image"));
  ASSERT_NE(image, nullptr);
  EXPECT_LE(client.right, ::GetSystemMetrics(SM_CXSCREEN) / 2 + label.left + image->Left());
}

TEST_F(MessageDialogBuild, LongLineWrapsOntoSeveralLines) {
  const std::string text = LongLine();
  auto form = Build(text, TDialogKind::dkCustom, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  auto oneLine = Build("installation", TDialogKind::dkCustom, kOkOnly);
  HWND single = FindChild(oneLine->Handle(), "Static", "installation");
  ASSERT_NE(single, nullptr);
  const RECT wrapped = ChildRect(form->Handle(), message);
  const RECT line = ChildRect(oneLine->Handle(), single);
  EXPECT_GE(wrapped.bottom - wrapped.top, 3 * (line.bottom - line.top));
}

TEST_F(MessageDialogBuild, WordWiderThanHalfTheScreenIsNotBroken) {
  const std::string word(200, 'x');
  auto form = Build(word, TDialogKind::dkCustom, kOkOnly);
  auto oneLine = Build("x", TDialogKind::dkCustom, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", word);
  HWND line = FindChild(oneLine->Handle(), "Static", "x");
  ASSERT_NE(message, nullptr);
  ASSERT_NE(line, nullptr);
  const RECT wide = ChildRect(form->Handle(), message);
  const RECT single = ChildRect(oneLine->Handle(), line);
  EXPECT_GT(wide.right - wide.left, ::GetSystemMetrics(SM_CXSCREEN) / 2);
  EXPECT_EQ(wide.bottom - wide.top, single.bottom - single.top);
}

TEST_F(MessageDialogBuild, TextWiderThanTheButtonsSetsTheWidthWithEqualMargins) {
  const std::string text = LongLine();
  auto form = Build(text, TDialogKind::dkCustom, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", text);
  ASSERT_NE(message, nullptr);
  const RECT label = ChildRect(form->Handle(), message);
  const RECT client = ClientRectOf(form->Handle());
  EXPECT_EQ(client.right - label.right, label.left);
}

TEST_F(MessageDialogBuild, MessageStartsRightOfTheIcon) {
  auto form = Build(kQuestion, TDialogKind::dkError, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", kQuestion);
  ASSERT_NE(message, nullptr);
  auto* image = dynamic_cast<TImage*>(form->FindComponent("Image"));
  ASSERT_NE(image, nullptr);
  EXPECT_GT(ChildRect(form->Handle(), message).left, image->Left() + image->Width());
}

TEST_F(MessageDialogBuild, ButtonRowIsCentredInTheClientArea) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kYesNoCancel);
  const RECT first = ChildRect(form->Handle(), FindChild(form->Handle(), "Button", "&Yes"));
  const RECT last = ChildRect(form->Handle(), FindChild(form->Handle(), "Button", "Cancel"));
  const RECT client = ClientRectOf(form->Handle());
  EXPECT_EQ(first.left, (client.right - (last.right - first.left)) / 2);
}

TEST_F(MessageDialogBuild, ButtonsSitBelowTheTextBlock) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, kOkOnly);
  HWND message = FindChild(form->Handle(), "Static", kQuestion);
  ASSERT_NE(message, nullptr);
  auto* image = dynamic_cast<TImage*>(form->FindComponent("Image"));
  ASSERT_NE(image, nullptr);
  const RECT ok = ChildRect(form->Handle(), FindChild(form->Handle(), "Button", "OK"));
  EXPECT_GT(ok.top, image->Top() + image->Height());
  EXPECT_GT(ok.top, ChildRect(form->Handle(), message).bottom);
  EXPECT_LE(ok.bottom, ClientRectOf(form->Handle()).bottom);
}

TEST_F(MessageDialogBuild, LineBreakStartsANewLine) {
  auto twoLines = Build("First line\r\nSecond line", TDialogKind::dkCustom, kOkOnly);
  auto oneLine = Build("First line", TDialogKind::dkCustom, kOkOnly);
  HWND two = FindChild(twoLines->Handle(), "Static", "First line\r\nSecond line");
  HWND one = FindChild(oneLine->Handle(), "Static", "First line");
  ASSERT_NE(two, nullptr);
  ASSERT_NE(one, nullptr);
  const RECT twoRect = ChildRect(twoLines->Handle(), two);
  const RECT oneRect = ChildRect(oneLine->Handle(), one);
  EXPECT_EQ(twoRect.bottom - twoRect.top, 2 * (oneRect.bottom - oneRect.top));
}

TEST_F(MessageDialogBuild, AllButtonsShareOneWidthAtLeastEachCachedWidth) {
  const TDialogButtons set = ButtonBit(dbYes) | ButtonBit(dbNoToAll) | ButtonBit(dbYesToAll);
  auto form = Build(kQuestion, TDialogKind::dkConfirmation, set);
  std::vector<int> widths;
  for (const char* caption : {"&Yes", "N&o to All", "Yes to &All"}) {
    const RECT r = ChildRect(form->Handle(), FindChild(form->Handle(), "Button", caption));
    widths.push_back(r.right - r.left);
  }
  EXPECT_EQ(widths[0], widths[1]);
  EXPECT_EQ(widths[1], widths[2]);
  EXPECT_GE(widths[0], CachedButtonWidth(dbYes));
  EXPECT_GE(widths[0], CachedButtonWidth(dbNoToAll));
  EXPECT_GE(widths[0], CachedButtonWidth(dbYesToAll));
}

TEST_F(MessageDialogBuild, ButtonWidthIsCachedOnFirstUse) {
  auto form = Build(kQuestion, TDialogKind::dkWarning, ButtonBit(dbRetry));
  EXPECT_GT(CachedButtonWidth(dbRetry), 8);
}

TEST_F(MessageDialogBuild, CachedButtonWidthStaysAsFirstMeasured) {
  Build(kQuestion, TDialogKind::dkWarning, ButtonBit(dbAbort));
  const int first = CachedButtonWidth(dbAbort);
  Build(LongLine(), TDialogKind::dkCustom, ButtonBit(dbAbort) | ButtonBit(dbHelp));
  EXPECT_EQ(CachedButtonWidth(dbAbort), first);
}

// ------------------------------------------------------------ placement

using MessageDialogPlacement = MessageDialogTest;

TEST_F(MessageDialogPlacement, ShownCentredOnThePrimaryScreen) {
  RECT r{};
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         ::GetWindowRect(RunningDialog(), &r);
         CloseBox(RunningDialog());
       }});
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  ASSERT_GT(width, 0);
  EXPECT_EQ(r.left, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(r.top, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2);
}

// A message whose dialog is an odd number of pixels wide: only then does
// centring when shown, (screen - width) / 2, land elsewhere than the built
// position, screen / 2 - width / 2.
std::string TextGivingAnOddWidth() {
  const std::string sentence =
      "The quick brown fox jumps over the lazy dog while the installer copies files.";
  for (size_t length = 40; length <= sentence.size(); ++length) {
    const std::string text = sentence.substr(0, length);
    if (BuildMessageDialog(text, TDialogKind::dkWarning, kYesNo)->Width() % 2 != 0) {
      return text;
    }
  }
  return {};
}

TEST_F(MessageDialogPlacement, CentringIsAppliedWhenShown) {
  const std::string text = TextGivingAnOddWidth();
  if (text.empty()) {
    GTEST_SKIP() << "every candidate text gave an even width in this font";
  }
  RECT r{};
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         ::GetWindowRect(RunningDialog(), &r);
         CloseBox(RunningDialog());
       }},
       text);
  EXPECT_EQ(r.left, (::GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
}

RECT ShownRectAt(int x, int y) {
  RECT r{};
  Post([&] {
    ::GetWindowRect(RunningDialog(), &r);
    CloseBox(RunningDialog());
  });
  Watchdog watchdog;
  ShowMessageDialogAt(kQuestion, TDialogKind::dkWarning, kYesNo, 0, x, y, std::string());
  EXPECT_FALSE(watchdog.Fired());
  return r;
}

TEST_F(MessageDialogPlacement, ExplicitLeftIsUsed) {
  const RECT r = ShownRectAt(10, -1);
  EXPECT_EQ(r.left, 10);
}

TEST_F(MessageDialogPlacement, ExplicitLeftKeepsTheBuiltTop) {
  const RECT r = ShownRectAt(10, -1);
  EXPECT_EQ(r.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - (r.bottom - r.top) / 2);
}

TEST_F(MessageDialogPlacement, ExplicitTopIsUsed) {
  const RECT r = ShownRectAt(-1, 20);
  EXPECT_EQ(r.top, 20);
}

TEST_F(MessageDialogPlacement, ExplicitTopKeepsTheBuiltLeft) {
  const RECT r = ShownRectAt(-1, 20);
  EXPECT_EQ(r.left, ::GetSystemMetrics(SM_CXSCREEN) / 2 - (r.right - r.left) / 2);
}

// ------------------------------------------------------------ modality

class MessageDialogModalityWithWindow : public MessageDialogTest {
 protected:
  void SetUp() override {
    MessageDialogTest::SetUp();
    other = new TForm(app.get());
    other->SetCaption("Other window");
    other->Show();
  }
  TForm* other = nullptr;  // owned by the application
};

TEST_F(MessageDialogModalityWithWindow, FocusReturnsToTheControlThatHadItBefore) {
  auto* button = new TButton(other);
  button->SetParent(other);
  button->SetCaption("Next");
  ::SetActiveWindow(other->Handle());
  button->SetFocus();
  ASSERT_EQ(::GetFocus(), button->Handle());
  Show(TDialogKind::dkWarning, kYesNo, {[] { Click(DialogButton("&Yes")); }});
  EXPECT_EQ(::GetFocus(), button->Handle());
}

TEST_F(MessageDialogModalityWithWindow, OtherWindowIsDisabledWhileTheDialogRuns) {
  bool enabledDuringRun = true;
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         enabledDuringRun = ::IsWindowEnabled(other->Handle());
         Click(DialogButton("&Yes"));
       }});
  EXPECT_FALSE(enabledDuringRun);
}

TEST_F(MessageDialogModalityWithWindow, OtherWindowIsEnabledAgainAfterTheRun) {
  Show(TDialogKind::dkWarning, kYesNo, {[] { Click(DialogButton("&Yes")); }});
  EXPECT_TRUE(::IsWindowEnabled(other->Handle()));
}

TEST_F(MessageDialogModalityWithWindow, OtherWindowStaysVisibleBehindTheDialog) {
  bool visibleDuringRun = false;
  Show(TDialogKind::dkWarning, kYesNo, {[&] {
         visibleDuringRun = ::IsWindowVisible(other->Handle());
         Click(DialogButton("&Yes"));
       }});
  EXPECT_TRUE(visibleDuringRun);
}

TEST_F(MessageDialogModalityWithWindow, WindowDisabledBeforeTheRunStaysDisabled) {
  ::EnableWindow(other->Handle(), FALSE);
  Show(TDialogKind::dkWarning, kYesNo, {[] { Click(DialogButton("&Yes")); }});
  EXPECT_FALSE(::IsWindowEnabled(other->Handle()));
}

TEST_F(MessageDialogModalityWithWindow, OtherWindowIsEnabledAgainAfterATerminatedRun) {
  Show(TDialogKind::dkWarning, kYesNo, {[this] { app->RequestTermination(); }});
  EXPECT_TRUE(::IsWindowEnabled(other->Handle()));
}

}  // namespace
}  // namespace qv::test
