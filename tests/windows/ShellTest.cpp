// The application shell's rules, run on the real Win32 message queue.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TaskBar.h"
#include "TestSupport.h"
#include "shell/Application.h"
#include "controls/StdCtrls.h"
#include "controls/Timer.h"

namespace qv::test {
namespace {

// A plain window for modal runs, recording its close protocol calls.
class ProbeForm : public TForm {
 public:
  explicit ProbeForm(TComponent* owner) : TForm(owner) {
    SetCaption("Probe");
    SetBounds(0, 0, 300, 200);
    OnCloseQuery = [this](TObject*, bool& canClose) {
      ++closeQueries;
      canClose = allowClose;
    };
    OnClose = [this](TObject*, TCloseAction& action) {
      ++closes;
      if (onClose)
        onClose(action);
    };
  }
  const char* ClassName() const noexcept override { return "TProbeForm"; }

  int closeQueries = 0;
  int closes = 0;
  bool allowClose = true;
  std::function<void(TCloseAction&)> onClose;
};

using QuitOrdering = ShellTest;

TEST_F(QuitOrdering, PostedMessagesBeforeAndAfterTheRequestAreHandledFirst) {
  std::vector<std::string> log;
  PostMarker([&] { log.push_back(app->QuitReceived() ? "before:quit" : "before"); });
  app->RequestTermination();
  PostMarker([&] { log.push_back(app->QuitReceived() ? "after:quit" : "after"); });
  app->PumpMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
  EXPECT_TRUE(app->QuitReceived());
}

TEST_F(QuitOrdering, QuitIsHandedOutAheadOfADueTimer) {
  TTimer* timer = new TTimer(app.get());
  int ticks = 0;
  timer->SetInterval(1);
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  ::Sleep(50);  // the timer is due now
  app->RequestTermination();
  app->HandleOneMessage();
  EXPECT_TRUE(app->QuitReceived());
  EXPECT_EQ(ticks, 0);
}

TEST_F(QuitOrdering, PumpMessagesTakesAPendingRequestAndNeverWaits) {
  app->PumpMessages();
  EXPECT_FALSE(app->QuitReceived());
  app->RequestTermination();
  app->RequestTermination();  // a second request while one is pending adds nothing
  app->PumpMessages();
  EXPECT_TRUE(app->QuitReceived());
  MSG message;
  EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

using ModalRun = ShellTest;

TEST_F(ModalRun, QuitTakenInsideTheRunEndsItWithCancelWithoutClosing) {
  auto* form = new ProbeForm(app.get());
  Post([&] { app->RequestTermination(); });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(form->closeQueries, 0);
  EXPECT_EQ(form->closes, 0);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(form->InModalRun());
}

TEST_F(ModalRun, RunStartedAfterQuitWasTakenEndsAfterOneMessage) {
  auto* form = new ProbeForm(app.get());
  app->RequestTermination();
  app->PumpMessages();
  ASSERT_TRUE(app->QuitReceived());
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(form->closes, 0);
  EXPECT_FALSE(form->Visible());
}

TEST_F(ModalRun, CloseBoxEndsWithCancelAfterTheCloseProtocol) {
  auto* form = new ProbeForm(app.get());
  Post([&] { ::SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(form->closeQueries, 1);
  EXPECT_EQ(form->closes, 1);
}

TEST_F(ModalRun, ButtonWithModalResultEndsTheRun) {
  auto* form = new ProbeForm(app.get());
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetCaption("Go");
  button->SetModalResult(resYes);
  Post([&] { ::SendMessageA(button->Handle(), BM_CLICK, 0, 0); });
  EXPECT_EQ(form->RunModal(), resYes);
}

TEST_F(ModalRun, SilentAbortInOnCloseKeepsTheWindowOpenWithoutAMessage) {
  auto* form = new ProbeForm(app.get());
  bool refuse = true;
  form->onClose = [&](TCloseAction&) {
    if (refuse)
      SilentAbort();
  };
  bool stillVisible = false;
  TModalResult resultAfterRefusal = -1;
  Post([&] { form->RequestClose(); });
  After(100, [&] {
    stillVisible = ::IsWindowVisible(form->Handle()) != FALSE;
    resultAfterRefusal = form->ModalResult();
    refuse = false;
    form->RequestClose();
  });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_TRUE(stillVisible);
  EXPECT_EQ(resultAfterRefusal, resNone);
  EXPECT_EQ(form->closes, 2);
  EXPECT_TRUE(reported.empty());
}

TEST_F(ModalRun, CloseQueryVetoAndCaNoneKeepTheRunGoing) {
  auto* form = new ProbeForm(app.get());
  form->allowClose = false;
  Post([&] { form->SetModalResult(resOK); });
  After(80, [&] {
    EXPECT_TRUE(form->InModalRun());
    form->allowClose = true;
    form->onClose = [](TCloseAction& action) { action = TCloseAction::caNone; };
    form->SetModalResult(resOK);
  });
  After(160, [&] {
    EXPECT_TRUE(form->InModalRun());
    form->onClose = nullptr;
    form->SetModalResult(resOK);
  });
  EXPECT_EQ(form->RunModal(), resOK);
  EXPECT_EQ(form->closeQueries, 3);
  EXPECT_EQ(form->closes, 2);
}

TEST_F(ModalRun, ExceptionInOnCloseIsReportedAndTheWindowStays) {
  auto* form = new ProbeForm(app.get());
  bool fail = true;
  form->onClose = [&](TCloseAction&) {
    if (fail)
      throw EInvalidOperation("close failed");
  };
  Post([&] { form->RequestClose(); });
  After(100, [&] {
    EXPECT_TRUE(form->InModalRun());
    fail = false;
    form->RequestClose();
  });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(reported, (std::vector<std::string>{"EInvalidOperation: close failed"}));
}

TEST_F(ModalRun, RefusesAVisibleOrAlreadyModalWindow) {
  auto* form = new ProbeForm(app.get());
  form->Show();
  try {
    form->RunModal();
    FAIL() << "a visible window was made modal";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Cannot make a visible window modal");
  }
  form->Hide();
  form->SetEnabled(false);
  EXPECT_THROW(form->RunModal(), EInvalidOperation);
}

TEST_F(ModalRun, OtherWindowsAreDisabledOnlyWhileTheRunLasts) {
  auto* main = new ProbeForm(app.get());
  main->Show();
  auto* dialog = new ProbeForm(app.get());
  bool mainEnabledDuringRun = true;
  Post([&] {
    mainEnabledDuringRun = ::IsWindowEnabled(main->Handle()) != FALSE;
    dialog->SetModalResult(resOK);
  });
  EXPECT_EQ(dialog->RunModal(), resOK);
  EXPECT_FALSE(mainEnabledDuringRun);
  EXPECT_TRUE(::IsWindowEnabled(main->Handle()));
}

TEST_F(ModalRun, WindowCanRunModallyAgainAndIsCentredOnlyOnce) {
  auto* form = new ProbeForm(app.get());
  form->SetPosition(TPosition::poScreenCenter);
  RECT first{};
  Post([&] {
    ::GetWindowRect(form->Handle(), &first);
    form->SetModalResult(resOK);
  });
  ASSERT_EQ(form->RunModal(), resOK);
  const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(first.left, (screenW - form->Width()) / 2);
  EXPECT_EQ(first.top, (screenH - form->Height()) / 2);
  EXPECT_EQ(form->Position(), TPosition::poDesigned);

  form->SetBounds(5, 7, form->Width(), form->Height());
  RECT second{};
  Post([&] {
    ::GetWindowRect(form->Handle(), &second);
    form->SetModalResult(resOK);
  });
  ASSERT_EQ(form->RunModal(), resOK);
  EXPECT_EQ(second.left, 5);
  EXPECT_EQ(second.top, 7);
}

TEST_F(ModalRun, NestedRunsUnwindInOrder) {
  auto* outer = new ProbeForm(app.get());
  auto* inner = new ProbeForm(app.get());
  TModalResult innerResult = 0;
  Post([&] {
    Post([&] { inner->SetModalResult(resNo); });
    innerResult = inner->RunModal();
    EXPECT_TRUE(outer->InModalRun());
    outer->SetModalResult(resYes);
  });
  EXPECT_EQ(outer->RunModal(), resYes);
  EXPECT_EQ(innerResult, resNo);
}

TEST_F(ModalRun, RequestTerminationThenRequestCloseInOneHandler) {
  // The quit is taken by the pump on the way back before the run looks at
  // ModalResult: the run ends with 2 and OnClose never runs.
  auto* form = new ProbeForm(app.get());
  Post([&] {
    app->RequestTermination();
    form->RequestClose();
    app->PumpMessages();
  });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(form->closes, 0);
}

TEST_F(ModalRun, CloseStepDialogEndsAtOnceWhenQuitIsPending) {
  // Not pumped: the close step runs OnClose first, and a modal run inside
  // it takes the pending request and ends with 2.
  auto* form = new ProbeForm(app.get());
  auto* question = new ProbeForm(app.get());
  TModalResult nested = -1;
  form->onClose = [&](TCloseAction&) { nested = question->RunModal(); };
  Post([&] {
    app->RequestTermination();
    form->RequestClose();
  });
  EXPECT_EQ(form->RunModal(), resCancel);
  EXPECT_EQ(form->closes, 1);
  EXPECT_EQ(nested, resCancel);
}

using Guards = ShellTest;

TEST_F(Guards, ExceptionInAClickHandlerIsShownWithTheTitleAsCaption) {
  UseRealErrorBox();
  app->SetAppTitle("Installing Quolvex Antivirus");
  auto* form = new ProbeForm(app.get());
  auto* button = new TButton(form);
  button->SetParent(form);
  button->OnClick = [](TObject*) { throw EOutOfResources("Not enough timers available"); };
  std::string caption;
  std::string text;
  Post([&] { ::PostMessageA(button->Handle(), BM_CLICK, 0, 0); });
  After(300, [&] {
    HWND box = FindTopWindow("#32770");
    ASSERT_NE(box, nullptr) << "no error box";
    caption = WindowText(box);
    text = WindowText(::GetDlgItem(box, 0xFFFF));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    After(100, [&] { form->SetModalResult(resOK); });
  });
  EXPECT_EQ(form->RunModal(), resOK);
  EXPECT_EQ(caption, "Installing Quolvex Antivirus");
  EXPECT_EQ(text, "Not enough timers available.");
}

TEST_F(Guards, EAbortIsNeverShownAndTheLoopGoesOn) {
  auto* form = new ProbeForm(app.get());
  auto* button = new TButton(form);
  button->SetParent(form);
  int clicks = 0;
  button->OnClick = [&](TObject*) {
    ++clicks;
    SilentAbort();
  };
  Post([&] {
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    form->SetModalResult(resOK);
  });
  EXPECT_EQ(form->RunModal(), resOK);
  EXPECT_EQ(clicks, 2);
  EXPECT_TRUE(reported.empty());
}

TEST_F(Guards, TimerTickExceptionIsReportedAndTheTimerKeepsRunning) {
  TTimer* timer = new TTimer(app.get());
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetOnTimer([&](TObject*) {
    ++ticks;
    throw Exception("tick failed");
  });
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  EXPECT_TRUE(timer->Running());
  EXPECT_GE(reported.size(), 2u);
  EXPECT_EQ(reported.front(), "Exception: tick failed");
}

// Reads and closes the last-resort box that the test's action leads to.
struct LastResortSeen {
  std::string caption;
  std::string text;
};

void CloseLastResortBoxLater(LastResortSeen& seen) {
  After(300, [&seen] {
    HWND box = FindTopWindow("#32770", "Application Error");
    ASSERT_NE(box, nullptr) << "no last-resort box";
    seen.caption = WindowText(box);
    seen.text = WindowText(::GetDlgItem(box, 0xFFFF));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
}

TEST_F(Guards, LastResortBoxNamesClassModuleAndMessage) {
  LastResortSeen seen;
  CloseLastResortBoxLater(seen);
  std::exception_ptr failure;
  try {
    throw EReadError("Invalid stream format");
  } catch (...) {
    failure = std::current_exception();
  }
  TApplication::ShowLastResortBox(failure);
  EXPECT_EQ(seen.caption, "Application Error");
  EXPECT_EQ(seen.text.rfind("Exception EReadError in module windows_tests.exe at ", 0), 0u)
      << seen.text;
  const std::string ending = ".\r\nInvalid stream format.\r\n";
  ASSERT_GE(seen.text.size(), ending.size());
  EXPECT_EQ(seen.text.substr(seen.text.size() - ending.size()), ending);
}

// Misuse of a container or string raises the framework's exception with the
// library's own message, formatted.
TEST(LibraryErrors, ContainerMisuseRaisesTheFrameworksExceptionWithTheLibrarysText) {
  volatile size_t index = 3;
  std::vector<int> empty;
  try {
    (void)empty.at(index);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EStandardLibraryError");
    EXPECT_EQ(e.Message(), "vector::_M_range_check: __n (which is 3) >= this->size() (which is 0)");
  }
  std::string text = "abc";
  EXPECT_THROW(text.substr(index + 1), Exception);
  EXPECT_THROW(text.reserve(text.max_size() + index), Exception);
  EXPECT_THROW(std::vector<int>().reserve(std::vector<int>().max_size() + index), Exception);
}

TEST_F(Guards, ForeignExceptionInAHandlerGoesToTheLastResortBoxAndTheRunGoesOn) {
  UseRealErrorBox();
  auto* form = new ProbeForm(app.get());
  auto* button = new TButton(form);
  button->SetParent(form);
  button->OnClick = [](TObject*) { throw std::runtime_error("not ours"); };
  LastResortSeen seen;
  Post([&] {
    ::PostMessageA(button->Handle(), BM_CLICK, 0, 0);
    CloseLastResortBoxLater(seen);
    After(600, [&] { form->SetModalResult(resOK); });
  });
  EXPECT_EQ(form->RunModal(), resOK);
  EXPECT_NE(seen.text.find("std::runtime_error"), std::string::npos) << seen.text;
  EXPECT_NE(seen.text.find("not ours."), std::string::npos) << seen.text;
}

// A window class for InstantiateForm: records what its OnCreate saw.
class CreatedForm;
CreatedForm* createdRef = nullptr;
struct CreateSeen {
  bool referenceSet = false;
  bool mainWindowNone = false;
  bool fail = false;
};
CreateSeen createSeen;

class CreatedForm : public TForm {
 public:
  explicit CreatedForm(TComponent* owner) : TForm(owner) {
    OnCreate = [this](TObject*) {
      createSeen.referenceSet = createdRef == this;
      createSeen.mainWindowNone = Application->MainWindow() == nullptr;
      if (createSeen.fail)
        throw Exception("create failed");
    };
  }
  const char* ClassName() const noexcept override { return "TCreatedForm"; }
};

using Instantiation = ShellTest;

TEST_F(Instantiation, ReferenceIsSetBeforeOnCreateAndFirstFormBecomesMain) {
  createSeen = {};
  createdRef = nullptr;
  app->InstantiateForm(createdRef);
  EXPECT_TRUE(createSeen.referenceSet);
  EXPECT_TRUE(createSeen.mainWindowNone);
  EXPECT_EQ(app->MainWindow(), createdRef);
  EXPECT_TRUE(createdRef->HandleAllocated());
  EXPECT_FALSE(createdRef->Visible());

  CreatedForm* second = nullptr;
  createdRef = nullptr;
  app->InstantiateForm(second);
  EXPECT_EQ(app->MainWindow() != second, true);
}

TEST_F(Instantiation, ExceptionInOnCreateIsReportedAndConstructionSucceeds) {
  createSeen = {};
  createSeen.fail = true;
  createdRef = nullptr;
  app->InstantiateForm(createdRef);
  ASSERT_NE(createdRef, nullptr);
  EXPECT_EQ(reported, (std::vector<std::string>{"Exception: create failed"}));
  createSeen.fail = false;
}

// Construction that fails outside OnCreate (as a damaged resource would).
class BrokenForm : public TForm {
 public:
  explicit BrokenForm(TComponent* owner) : TForm(owner) {}
  void AfterConstruction() override { throw EReadError("Invalid stream format"); }
};

TEST_F(Instantiation, FailedConstructionClearsTheReferenceAndPropagates) {
  BrokenForm* broken = nullptr;
  EXPECT_THROW(app->InstantiateForm(broken), EReadError);
  EXPECT_EQ(broken, nullptr);
  EXPECT_EQ(app->ComponentCount(), 0);
  EXPECT_EQ(app->MainWindow(), nullptr);
}

using MainLoop = ShellTest;

TEST_F(MainLoop, EnteredWithQuitTakenShowsTheMainWindowAndReturns) {
  CreatedForm* main = nullptr;
  createSeen = {};
  app->InstantiateForm(main);
  app->RequestTermination();
  app->PumpMessages();
  ASSERT_TRUE(app->QuitReceived());
  ::PostMessageA(main->Handle(), WM_NULL, 0, 0);  // the one message it handles
  app->RunLoop();
  EXPECT_TRUE(::IsWindowVisible(main->Handle()));
  EXPECT_FALSE(app->Running());
}

TEST_F(MainLoop, ClosingTheMainWindowRequestsTerminationAndKeepsItVisible) {
  CreatedForm* main = nullptr;
  app->InstantiateForm(main);
  bool visibleAfterClose = false;
  Post([&] {
    ::SendMessageA(main->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    visibleAfterClose = ::IsWindowVisible(main->Handle()) != FALSE;
  });
  app->RunLoop();
  EXPECT_TRUE(app->QuitReceived());
  EXPECT_TRUE(visibleAfterClose);
}

TEST_F(MainLoop, OneShotTimerStartedBeforeARequestNeverTicks) {
  CreatedForm* main = nullptr;
  app->InstantiateForm(main);
  TTimer* timer = new TTimer(app.get());
  int ticks = 0;
  timer->SetInterval(1);
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  app->RequestTermination();
  ::Sleep(30);
  app->RunLoop();
  EXPECT_EQ(ticks, 0);
}

TEST_F(MainLoop, ShutdownDestroysLastCreatedFirstAndHidesWindows) {
  std::vector<std::string> log;
  struct Logged : TForm {
    Logged(TComponent* owner, std::vector<std::string>& log, std::string tag)
        : TForm(owner), log_(log), tag_(std::move(tag)) {}
    ~Logged() override { log_.push_back(tag_); }
    std::vector<std::string>& log_;
    std::string tag_;
  };
  auto* first = new Logged(app.get(), log, "background");
  first->Show();
  new Logged(app.get(), log, "wizard");
  app->Shutdown();
  EXPECT_EQ(log, (std::vector<std::string>{"wizard", "background"}));
  EXPECT_EQ(app->ComponentCount(), 0);
}

using Timers = ShellTest;

TEST_F(Timers, OneShotHandlerStoppingFirstIsNotReentered) {
  TTimer* timer = new TTimer(app.get());
  auto* form = new ProbeForm(app.get());
  int entries = 0;
  int running = 0;
  int maxNesting = 0;
  timer->SetOnTimer([&](TObject*) {
    ++entries;
    ++running;
    maxNesting = std::max(maxNesting, running);
    timer->SetInterval(0);
    After(200, [&] { form->SetModalResult(resOK); });
    form->RunModal();
    --running;
  });
  timer->SetInterval(10);
  ASSERT_TRUE(PumpUntil([&] { return entries > 0 && running == 0; }));
  ::Sleep(50);
  app->PumpMessages();
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(maxNesting, 1);
  EXPECT_FALSE(timer->Running());
}

TEST_F(Timers, HandlerThatDoesNotStopFirstFailsOnTheVisibleWindow) {
  TTimer* timer = new TTimer(app.get());
  auto* form = new ProbeForm(app.get());
  int entries = 0;
  timer->SetOnTimer([&](TObject*) {
    ++entries;
    if (entries == 1)
      After(200, [&] { form->SetModalResult(resOK); });
    form->RunModal();
  });
  timer->SetInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return !reported.empty(); }));
  timer->SetInterval(0);
  ASSERT_TRUE(PumpUntil([&] { return !form->InModalRun(); }));
  EXPECT_GE(entries, 2);
  EXPECT_EQ(reported.front(), "EInvalidOperation: Cannot make a visible window modal");
}

TEST_F(Timers, StartsOnlyWithIntervalEnabledAndHandler) {
  TTimer* timer = new TTimer(app.get());
  EXPECT_EQ(timer->Interval(), 1000u);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_FALSE(timer->Running());  // no handler yet
  timer->SetOnTimer([](TObject*) {});
  EXPECT_TRUE(timer->Running());
  timer->SetInterval(0);
  EXPECT_FALSE(timer->Running());
  timer->SetInterval(300);
  EXPECT_TRUE(timer->Running());
  timer->SetEnabled(false);
  EXPECT_FALSE(timer->Running());
}

TEST_F(Timers, SettingTheSameIntervalDoesNotRestartTheCountdown) {
  TTimer* timer = new TTimer(app.get());
  int ticks = 0;
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  timer->SetInterval(200);
  const DWORD start = ::GetTickCount();
  // Re-setting 200 every 50 ms must not keep pushing the tick away.
  while (ticks == 0 && ::GetTickCount() - start < 2000) {
    timer->SetInterval(200);
    app->PumpMessages();
    ::Sleep(50);
  }
  EXPECT_EQ(ticks >= 1, true);
  EXPECT_LT(::GetTickCount() - start, 1000u);
}

TEST_F(Timers, SettingZeroStopsBeforeAnyFurtherTick) {
  TTimer* timer = new TTimer(app.get());
  int ticks = 0;
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  timer->SetInterval(5);
  ::Sleep(40);  // a tick is due and waiting
  timer->SetInterval(0);
  app->PumpMessages();
  EXPECT_EQ(ticks, 0);
}

using Title = ShellTest;

TEST_F(Title, DefaultsToTheProgramNameAndReadsBackTheCaption) {
  // The first character keeps its case; the rest is lowered.
  EXPECT_EQ(app->AppTitle(), "windows_tests");
  app->SetAppTitle("Installing Quolvex Antivirus");
  EXPECT_EQ(app->AppTitle(), "Installing Quolvex Antivirus");
  EXPECT_EQ(WindowText(app->Handle()), "Installing Quolvex Antivirus");
}

// The task bar lists one button for the whole run, the application window's:
// also for a question shown before any main window exists (the checks).
TEST_F(Title, IsTheOnlyTaskBarButtonWhicheverWindowIsShown) {
  app->SetAppTitle("Installing Quolvex Antivirus");
  const std::vector<HWND> onlyTheApplication{app->Handle()};
  auto buttonsWhileModal = [&](ProbeForm* dialog) {
    std::vector<HWND> buttons;
    Post([&] {
      buttons = TaskBarWindows(::GetCurrentProcessId());
      dialog->SetModalResult(resOK);
    });
    dialog->RunModal();
    return buttons;
  };
  EXPECT_EQ(buttonsWhileModal(new ProbeForm(app.get())), onlyTheApplication);

  ProbeForm* main = nullptr;
  app->InstantiateForm(main);
  main->Show();
  EXPECT_EQ(TaskBarWindows(::GetCurrentProcessId()), onlyTheApplication);
  EXPECT_EQ(buttonsWhileModal(new ProbeForm(app.get())), onlyTheApplication);
  EXPECT_EQ(WindowText(app->Handle()), "Installing Quolvex Antivirus");

  // Minimising the main window minimises the program, so that its button
  // brings the window back.
  ::SendMessageA(main->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(::IsIconic(app->Handle()));
  EXPECT_FALSE(::IsIconic(main->Handle()));
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(main->Handle()); }, 2000));
  ::ShowWindow(app->Handle(), SW_RESTORE);
  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(main->Handle()) != FALSE; }, 2000));
}

}  // namespace
}  // namespace qv::test
