// Controls without a window of their own learn of typed accelerators, focus
// moves and the mouse only through the window they live in. These tests
// drive real messages through a real form and watch a shadow label react;
// and they check that a reference to a component that is not owned is
// dropped when that component goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "controls/ExtCtrls.h"
#include "win32/Handles.h"
#include "controls/StdCtrls.h"
#include "ui/RxLabel.h"

namespace qv::test {
namespace {

// An edit field that records the characters its window procedure receives:
// a character that arrives here went past the window's accelerator handling.
// System characters stop here, so an unclaimed one opens no system menu.
class RecordingEdit : public TEdit {
 public:
  using TEdit::TEdit;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SYSCHAR) {
      systemChars.push_back(static_cast<char>(wParam));
      return 0;
    }
    return TEdit::WndProc(message, wParam, lParam);
  }
  std::string systemChars;
};

LPARAM CharKeyData(char character, bool altHeld) {
  const auto key = static_cast<WORD>(::VkKeyScanA(character) & 0xFF);
  LPARAM data = static_cast<LPARAM>(1u | (::MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16));
  if (altHeld)
    data |= static_cast<LPARAM>(KF_ALTDOWN) << 16;
  return data;
}

// Pixels of the label's top row that differ from the background: its
// dotted focus rectangle, when drawn, runs along that row.
int FocusDotsOnTopRow(TRxLabel& label) {
  WindowDc screen(nullptr);
  UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
  UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), label.Width(), label.Height()));
  SelectGuard select(dc.get(), bitmap.get());
  UniqueBrush blue(::CreateSolidBrush(RGB(0, 0, 255)));
  const RECT all{0, 0, label.Width(), label.Height()};
  ::FillRect(dc.get(), &all, blue.get());
  label.Paint(dc.get());
  int dots = 0;
  for (int x = 0; x < label.Width(); ++x)
    dots += ::GetPixel(dc.get(), x, 0) != RGB(0, 0, 255) ? 1 : 0;
  return dots;
}

class WindowlessEvents : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    form = new TForm(app.get());
    form->SetBounds(40, 40, 340, 220);
    first = new RecordingEdit(form);
    first->SetParent(form);
    first->SetBounds(10, 10, 100, 22);
    edit = new TEdit(form);
    edit->SetParent(form);
    edit->SetBounds(10, 60, 100, 22);
    button = new TButton(form);
    button->SetParent(form);
    button->SetCaption("OK");
    button->SetBounds(10, 120, 75, 25);
    label = new TRxLabel(form);
    label->SetParent(form);
    label->SetCaption("&Name");
    label->SetShadowSize(0);
    label->SetTransparent(true);
    label->SetBounds(150, 60, label->Width(), label->Height());
    label->SetFocusControl(edit);
    label->OnMouseEnter = [this](TObject* sender) {
      EXPECT_EQ(sender, label);
      ++enters;
    };
    label->OnMouseLeave = [this](TObject* sender) {
      EXPECT_EQ(sender, label);
      ++leaves;
    };
  }
  void TearDown() override {
    ::ReleaseCapture();
    ShellTest::TearDown();
  }

  void ShowWithFocusOn(TWinControl* control) {
    form->Show();
    ::SetForegroundWindow(form->Handle());
    control->SetFocus();
    app->PumpMessages();
  }
  // As the system queues a typed character: to the focused window, through
  // the shell's loop and its keyboard pre-processing.
  void Type(UINT message, char character) {
    ::PostMessageA(::GetFocus(), message, static_cast<unsigned char>(character),
                   CharKeyData(character, message == WM_SYSCHAR));
    app->PumpMessages();
  }

  POINT OnScreen(POINT client) {
    ::ClientToScreen(form->Handle(), &client);
    return client;
  }
  POINT OverLabel() const { return POINT{label->Left() + 3, label->Top() + 3}; }
  POINT BesideLabel() const { return POINT{label->Left() - 20, label->Top() + 3}; }
  // The cursor really goes there (the label and the leave tracking read
  // it), and the window hears of the move as it would from the system.
  void MoveTo(POINT client) {
    const POINT screen = OnScreen(client);
    ::SetCursorPos(screen.x, screen.y);
    ::PostMessageA(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    app->PumpMessages();
  }
  void Button(UINT message, POINT client) {
    ::PostMessageA(form->Handle(), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                   MAKELPARAM(client.x, client.y));
    app->PumpMessages();
  }
  bool PumpUntilLeaves(int count) {
    const DWORD start = ::GetTickCount();
    while (leaves < count && ::GetTickCount() - start < 3000) {
      app->PumpMessages();
      ::Sleep(10);
    }
    return leaves == count;
  }

  TForm* form = nullptr;
  RecordingEdit* first = nullptr;
  TEdit* edit = nullptr;
  TButton* button = nullptr;
  TRxLabel* label = nullptr;
  int enters = 0;
  int leaves = 0;
};

// ------------------------------------------------------------ accelerators

TEST_F(WindowlessEvents, AltAcceleratorOfALabelMovesTheFocusAndIsConsumed) {
  ShowWithFocusOn(first);
  ASSERT_EQ(::GetFocus(), first->Handle());
  Type(WM_SYSCHAR, 'n');
  EXPECT_EQ(::GetFocus(), edit->Handle());
  EXPECT_EQ(first->systemChars, "") << "a handled character goes no further";
}

TEST_F(WindowlessEvents, PlainCharacterReachesTheLabelOnlyWhenTheFocusedControlDoesNotTakeIt) {
  ShowWithFocusOn(first);
  Type(WM_CHAR, 'n');
  EXPECT_EQ(::GetFocus(), first->Handle());
  EXPECT_EQ(first->Text(), "n") << "an edit field takes what is typed into it";

  button->SetFocus();
  app->PumpMessages();
  Type(WM_CHAR, 'N');
  EXPECT_EQ(::GetFocus(), edit->Handle()) << "a push button takes no characters";
}

TEST_F(WindowlessEvents, CharacterTheLabelCannotActOnGoesOnToTheFocusedWindow) {
  ShowWithFocusOn(first);
  struct Case {
    const char* name;
    char typed;
    std::function<void()> prepare;
    std::function<void()> undo;
  };
  const std::vector<Case> cases{
      {"another letter", 'x', [] {}, [] {}},
      {"no FocusControl", 'n', [this] { label->SetFocusControl(nullptr); },
       [this] { label->SetFocusControl(edit); }},
      {"FocusControl disabled", 'n', [this] { edit->SetEnabled(false); },
       [this] { edit->SetEnabled(true); }},
      {"FocusControl hidden", 'n', [this] { edit->Hide(); }, [this] { edit->Show(); }},
      {"label disabled", 'n', [this] { label->SetEnabled(false); },
       [this] { label->SetEnabled(true); }},
      {"accelerators not shown", 'n', [this] { label->SetShowAccelChar(false); },
       [this] { label->SetShowAccelChar(true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    first->systemChars.clear();
    c.prepare();
    Type(WM_SYSCHAR, c.typed);
    EXPECT_EQ(::GetFocus(), first->Handle());
    EXPECT_EQ(first->systemChars, std::string(1, c.typed));
    c.undo();
  }
  first->systemChars.clear();
  Type(WM_SYSCHAR, 'n');
  EXPECT_EQ(::GetFocus(), edit->Handle()) << "restored, the accelerator works again";
}

TEST_F(WindowlessEvents, AcceleratorReachesALabelInsideAPanelAndButtonsKeepTheirs) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(150, 100, 150, 60);
  auto* inner = new TRxLabel(form);
  inner->SetParent(panel);
  inner->SetCaption("&Second");
  inner->SetBounds(5, 5, inner->Width(), inner->Height());
  inner->SetFocusControl(first);
  auto* yes = new TButton(form);
  yes->SetParent(form);
  yes->SetCaption("&Yes");
  yes->SetBounds(100, 120, 75, 25);
  int clicks = 0;
  yes->OnClick = [&clicks](TObject*) { ++clicks; };

  ShowWithFocusOn(edit);
  Type(WM_SYSCHAR, 's');
  EXPECT_EQ(::GetFocus(), first->Handle()) << "a label inside a panel is reached";
  Type(WM_SYSCHAR, 'y');
  EXPECT_EQ(clicks, 1) << "a button's accelerator with Alt";
  EXPECT_EQ(first->systemChars, "");
  button->SetFocus();
  app->PumpMessages();
  Type(WM_CHAR, 'Y');
  EXPECT_EQ(clicks, 2) << "and without, while the focus is on a button";
}

// ----------------------------------------------------------- focus changes

TEST_F(WindowlessEvents, EveryFocusMoveIsToldToTheLabel) {
  label->SetShowFocus(true);
  ShowWithFocusOn(first);
  EXPECT_EQ(FocusDotsOnTopRow(*label), 0);

  edit->SetFocus();
  app->PumpMessages();
  EXPECT_GT(FocusDotsOnTopRow(*label), label->Width() / 3) << "FocusControl took the focus";

  ::SetFocus(button->Handle());
  app->PumpMessages();
  EXPECT_EQ(FocusDotsOnTopRow(*label), 0) << "focus set by the system call, not the framework";

  ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_TAB, CharKeyData('\t', false));
  app->PumpMessages();
  ASSERT_EQ(::GetFocus(), first->Handle()) << "Tab wraps to the first control";
  ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_TAB, CharKeyData('\t', false));
  app->PumpMessages();
  ASSERT_EQ(::GetFocus(), edit->Handle());
  EXPECT_GT(FocusDotsOnTopRow(*label), label->Width() / 3) << "moved there by Tab";
}

TEST_F(WindowlessEvents, LabelInsideAPanelLearnsOfFocusMovesToo) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(150, 100, 150, 60);
  auto* inner = new TRxLabel(form);
  inner->SetParent(panel);
  inner->SetCaption("&Second");
  inner->SetShadowSize(0);
  inner->SetTransparent(true);
  inner->SetShowFocus(true);
  inner->SetFocusControl(first);
  ShowWithFocusOn(edit);
  EXPECT_EQ(FocusDotsOnTopRow(*inner), 0);
  first->SetFocus();
  app->PumpMessages();
  EXPECT_GT(FocusDotsOnTopRow(*inner), inner->Width() / 3);
}

// ------------------------------------------------------------------- mouse

TEST_F(WindowlessEvents, CrossingTheLabelFiresEnterAndLeaveOncePerCrossing) {
  ShowWithFocusOn(first);
  MoveTo(BesideLabel());
  EXPECT_EQ(enters, 0);
  MoveTo(OverLabel());
  MoveTo(POINT{OverLabel().x + 2, OverLabel().y + 1});
  EXPECT_EQ(enters, 1);
  EXPECT_TRUE(label->MouseInside());
  MoveTo(BesideLabel());
  MoveTo(POINT{BesideLabel().x - 3, BesideLabel().y});
  EXPECT_EQ(leaves, 1);
  EXPECT_FALSE(label->MouseInside());
  MoveTo(OverLabel());
  EXPECT_EQ(enters, 2);
  EXPECT_EQ(leaves, 1);
}

TEST_F(WindowlessEvents, LeavingTheWindowFromOverTheLabelCountsAsLeavingIt) {
  ShowWithFocusOn(first);
  MoveTo(OverLabel());
  ASSERT_EQ(enters, 1);
  // Far from the window; the window itself hears only that the cursor left.
  ::SetCursorPos(form->Left() + form->Width() + 100, form->Top() + form->Height() + 100);
  EXPECT_TRUE(PumpUntilLeaves(1));
  EXPECT_FALSE(label->MouseInside());
  MoveTo(OverLabel());
  EXPECT_EQ(enters, 2) << "coming back is a new crossing";
}

TEST_F(WindowlessEvents, LeftPressOnTheLabelHoldsItUntilTheRelease) {
  ShowWithFocusOn(first);
  MoveTo(OverLabel());
  Button(WM_LBUTTONDOWN, OverLabel());
  EXPECT_EQ(::GetCapture(), form->Handle()) << "the release must come back to the label";
  MoveTo(BesideLabel());
  EXPECT_EQ(leaves, 0) << "held down on the label";
  EXPECT_TRUE(label->MouseInside());
  Button(WM_LBUTTONUP, BesideLabel());
  EXPECT_EQ(leaves, 1) << "the release finds the cursor elsewhere";
  EXPECT_FALSE(label->MouseInside());
  EXPECT_EQ(::GetCapture(), nullptr);

  MoveTo(OverLabel());
  Button(WM_LBUTTONDOWN, OverLabel());
  Button(WM_LBUTTONUP, OverLabel());
  EXPECT_EQ(enters, 2);
  EXPECT_EQ(leaves, 1) << "released where it was pressed";
  MoveTo(BesideLabel());
  EXPECT_EQ(leaves, 2) << "after the release, leaving counts again";
}

TEST_F(WindowlessEvents, PressEndsWhenTheCaptureIsTakenAway) {
  ShowWithFocusOn(first);
  MoveTo(OverLabel());
  Button(WM_LBUTTONDOWN, OverLabel());
  MoveTo(BesideLabel());
  ASSERT_EQ(leaves, 0);
  ::ReleaseCapture();
  app->PumpMessages();
  EXPECT_EQ(leaves, 1) << "a cancelled press ends as a release does";
  MoveTo(OverLabel());
  MoveTo(BesideLabel());
  EXPECT_EQ(leaves, 2) << "no press is left holding the label";
}

TEST_F(WindowlessEvents, RightButtonOverTheLabelLooksWhereTheCursorIs) {
  ShowWithFocusOn(first);
  // The cursor is over the label, but no move was reported.
  const POINT screen = OnScreen(OverLabel());
  ::SetCursorPos(screen.x, screen.y);
  Button(WM_RBUTTONDOWN, OverLabel());
  EXPECT_EQ(enters, 1);
  EXPECT_TRUE(label->MouseInside());
}

// --------------------------------------------- destruction of FocusControl

TEST_F(WindowlessEvents, DestroyingFocusControlEmptiesTheProperty) {
  label->SetShowFocus(true);
  ShowWithFocusOn(edit);
  ASSERT_GT(FocusDotsOnTopRow(*label), 0);
  const TWinControl* gone = edit;
  delete edit;
  edit = nullptr;
  EXPECT_EQ(label->FocusControl(), nullptr);
  EXPECT_EQ(FocusDotsOnTopRow(*label), 0);
  EXPECT_NE(form->ActiveControl(), gone) << "nor does the window keep it as its active control";

  first->SetFocus();
  app->PumpMessages();
  Type(WM_SYSCHAR, 'n');
  EXPECT_EQ(::GetFocus(), first->Handle());
  EXPECT_EQ(first->systemChars, "n") << "the accelerator has nowhere to go";
}

TEST_F(WindowlessEvents, LabelDestroyedFirstLeavesNothingBehindInItsFocusControl) {
  ShowWithFocusOn(first);
  delete label;
  label = nullptr;
  delete edit;  // would reach the destroyed label if it were still linked
  edit = nullptr;
  Type(WM_SYSCHAR, 'n');
  EXPECT_EQ(first->systemChars, "n");
}

// ------------------------------------------------------ free notification

// Records, as "receiver<-sender", every removal it is told of.
class Watcher : public TComponent {
 public:
  Watcher(const std::string& name, std::vector<std::string>& log) : TComponent(nullptr), log_(log) {
    SetName(name);
  }

 protected:
  void Notification(TComponent* component, Operation operation) override {
    TComponent::Notification(component, operation);
    if (operation == Operation::Remove)
      log_.push_back(Name() + "<-" + component->Name());
  }

 private:
  std::vector<std::string>& log_;
};

TEST(FreeNotification, TheReferrerIsToldOnceWhenTheReferentGoes) {
  std::vector<std::string> log;
  auto referrer = std::make_unique<Watcher>("Referrer", log);
  auto referent = std::make_unique<Watcher>("Referent", log);
  referrer->FreeNotification(referent.get());
  referrer->FreeNotification(referent.get());
  referent.reset();
  EXPECT_EQ(log, std::vector<std::string>{"Referrer<-Referent"});
  referrer.reset();
  EXPECT_EQ(log.size(), 1u) << "the link went with the referent";
}

TEST(FreeNotification, EitherSideGoingFirstUndoesTheLink) {
  std::vector<std::string> log;
  auto referrer = std::make_unique<Watcher>("Referrer", log);
  auto referent = std::make_unique<Watcher>("Referent", log);
  referrer->FreeNotification(referent.get());
  referrer.reset();
  EXPECT_EQ(log, std::vector<std::string>{"Referent<-Referrer"});
  referent.reset();
  EXPECT_EQ(log.size(), 1u) << "no one is told about the referent any more";
}

TEST(FreeNotification, RemovedLinkTellsNoOne) {
  std::vector<std::string> log;
  auto referrer = std::make_unique<Watcher>("Referrer", log);
  auto referent = std::make_unique<Watcher>("Referent", log);
  referrer->FreeNotification(referent.get());
  referrer->RemoveFreeNotification(referent.get());
  referent.reset();
  referrer.reset();
  EXPECT_TRUE(log.empty());
}

TEST(FreeNotification, OneReferentTellsEveryReferrer) {
  std::vector<std::string> log;
  auto a = std::make_unique<Watcher>("A", log);
  auto b = std::make_unique<Watcher>("B", log);
  auto referent = std::make_unique<Watcher>("Referent", log);
  a->FreeNotification(referent.get());
  b->FreeNotification(referent.get());
  referent.reset();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(std::find(log.begin(), log.end(), "A<-Referent"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "B<-Referent"), log.end());
}

}  // namespace
}  // namespace qv::test
