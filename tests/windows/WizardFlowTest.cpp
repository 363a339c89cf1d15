// The wizard's page flow and its install sequence, run modally for real
// with a scratch destination in the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DirectorySnapshot.h"
#include "TestSupport.h"
#include "wizard/WizardDialog.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

const char* const kInstalledFiles[] = {
    "qvdaemon.exe", "qvmanager.exe", "qvscanner.exe", "qvmonitor.exe", "licence.txt",
    "readme.txt",   "register.txt",  "sms.txt",       "quolvex.chm",   "uninstall.exe"};

class Wizard : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    root_ = fs::path("C:\\qvtest-" + std::to_string(::GetCurrentProcessId()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    ForgetInstallation();
    // As at program start: the program menu's shell links need it.
    app->Startup();
    TfrmDialog::EarlierInstallation = nullptr;
    frmDialog = nullptr;
    app->InstantiateForm(frmDialog);
    w = frmDialog;
  }
  void TearDown() override {
    ::KillTimer(nullptr, recorder_);
    ShellTest::TearDown();
    ForgetInstallation();
    frmDialog = nullptr;
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void Click(TWinControl* button) { ::SendMessageA(button->Handle(), BM_CLICK, 0, 0); }

  // Runs the wizard modally with the script acting from inside its loop.
  // Clicks are sent, so a click on Next returns only when the page it
  // leads to (with the whole install sequence) is done.
  TModalResult Run(std::function<void()> script) {
    After(50, std::move(script));
    return w->RunModal();
  }

  // Pages 0 to 2, agreeing on the way: the Destination page is shown.
  void ToDestination() {
    Click(w->btnNext);
    Click(w->cbAgree);
    Click(w->btnNext);
    Click(w->btnNext);
  }

  // Answers the message dialog with this caption when it comes.
  void AnswerWhenShown(const char* caption, const char* button, UINT delay = 100) {
    After(delay, [this, caption, button, delay] {
      HWND dialog = FindTopWindow("TMessageForm", caption);
      if (dialog == nullptr) {
        AnswerWhenShown(caption, button, delay);  // not yet: try again
        return;
      }
      questions_.push_back(caption);
      ::PostMessageA(FindChild(dialog, "Button", button), BM_CLICK, 0, 0);
    });
  }

  // Records the status text and bar position whenever the sequence pumps.
  void RecordProgress() {
    recorder_ = ::SetTimer(nullptr, 0, 1, SystemCallback(&Wizard::Record));
    current_ = this;
  }
  static void CALLBACK Record(HWND, UINT, UINT_PTR, DWORD) noexcept { TestGuarded(&RecordNow); }
  static void RecordNow() {
    Wizard* self = current_;
    if (self == nullptr || self->w == nullptr)
      return;
    const std::string status = self->w->lblFileName->Caption();
    if (self->statuses.empty() || self->statuses.back() != status)
      self->statuses.push_back(status);
    const int position = self->w->pbar->Position();
    if (self->positions.empty() || self->positions.back() != position) {
      self->positions.push_back(position);
    }
  }

  fs::path root_;
  TfrmDialog* w = nullptr;
  std::vector<std::string> statuses;
  std::vector<int> positions;
  std::vector<std::string> questions_;
  UINT_PTR recorder_ = 0;
  static inline Wizard* current_ = nullptr;
};

TEST_F(Wizard, ButtonsFollowThePages) {
  w->Show();
  EXPECT_FALSE(w->btnBack->Visible());
  EXPECT_TRUE(w->btnNext->Enabled());
  Click(w->btnNext);
  EXPECT_EQ(w->PageIndex(), 1);
  EXPECT_TRUE(w->btnBack->Visible());
  EXPECT_FALSE(w->btnNext->Enabled());
  Click(w->cbAgree);
  EXPECT_TRUE(w->btnNext->Enabled());
  Click(w->cbAgree);
  EXPECT_FALSE(w->btnNext->Enabled()) << "unticking disables Next again";
  Click(w->cbAgree);
  Click(w->btnNext);
  Click(w->btnNext);
  EXPECT_EQ(w->PageIndex(), 3);
  Click(w->btnBack);
  EXPECT_EQ(w->PageIndex(), 2);
  EXPECT_TRUE(w->btnNext->Enabled()) << "Back from 3 leaves Next enabled";
  Click(w->btnBack);
  EXPECT_EQ(w->PageIndex(), 1);
  EXPECT_FALSE(w->cbAgree->Checked()) << "every entry into page 1 unticks the agreement";
  EXPECT_FALSE(w->btnNext->Enabled());
  Click(w->btnBack);
  EXPECT_EQ(w->PageIndex(), 0);
  EXPECT_FALSE(w->btnBack->Visible());
  EXPECT_TRUE(w->btnNext->Enabled());
  EXPECT_EQ(w->btnExit->Caption(), "Exit");
}

TEST_F(Wizard, DestinationIsCreatedOneLevelDeepOnly) {
  w->Show();
  ToDestination();
  const fs::path deep = root_ / "a" / "b";
  w->editDir->SetText(deep.string());
  AnswerWhenShown("Warning", "OK");
  Click(w->btnNext);
  EXPECT_EQ(w->PageIndex(), 3);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_FALSE(fs::exists(deep));
  EXPECT_FALSE(fs::exists(root_ / "a")) << "no intermediate directory";

  w->editDir->SetText("");
  AnswerWhenShown("Warning", "OK");
  Click(w->btnNext);
  EXPECT_EQ(w->PageIndex(), 3);
  EXPECT_EQ(questions_.size(), 2u);
}

TEST_F(Wizard, WarningNamesTheTextAsTyped) {
  w->Show();
  ToDestination();
  w->editDir->SetText("");
  std::string text;
  After(100, [&] {
    HWND dialog = FindTopWindow("TMessageForm", "Warning");
    ASSERT_NE(dialog, nullptr);
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
      char cls[32] = {};
      ::GetClassNameA(c, cls, sizeof cls);
      if (std::string(cls) == "Static")
        text = WindowText(c);
    }
    ::PostMessageA(FindChild(dialog, "Button", "OK"), BM_CLICK, 0, 0);
  });
  Click(w->btnNext);
  EXPECT_EQ(text, "Directory  cannot be created. Enter another path...");
}

TEST_F(Wizard, FreshInstallationWritesEveryFileWithProgressAndEndsOnSuccess) {
  const fs::path dest = root_ / "Quolvex";
  RecordProgress();
  const TModalResult result = Run([&] {
    ToDestination();
    // A trailing delimiter must not double in any path.
    w->editDir->SetText(dest.string() + "\\");
    Click(w->btnNext);
    EXPECT_EQ(w->PageIndex(), 5);
    EXPECT_EQ(w->btnExit->Caption(), "Finish");
    EXPECT_FALSE(w->btnNext->Visible());
    EXPECT_FALSE(w->btnBack->Visible());
    Click(w->btnExit);
  });
  EXPECT_EQ(result, resCancel);
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(reported.empty());
  for (const char* name : kInstalledFiles)
    EXPECT_TRUE(fs::exists(dest / name)) << name;
  EXPECT_TRUE(fs::is_directory(dest / "logs"));
  EXPECT_EQ(fs::file_size(dest / "sms.txt"), 0u);
  const std::vector<int> allowed = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  for (int p : positions) {
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), p), allowed.end()) << p;
  }
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 12);
  for (const std::string& status : statuses) {
    EXPECT_EQ(status.find("\\\\"), std::string::npos) << status;
  }
  const auto shown = [&](const std::string& status) {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  };
  EXPECT_TRUE(shown("Creating directory: \\logs"));
  EXPECT_TRUE(shown("Copying file: " + (dest / "qvdaemon.exe").string()));
  EXPECT_TRUE(shown("Copying file: " + (dest / "uninstall.exe").string()));
  EXPECT_EQ(w->lblFileName->Caption(), "Creating program menu") << "the last status shown";
  EXPECT_TRUE(w->Engine().StepFlags[0]);
  EXPECT_FALSE(w->Engine().StepFlags[1]) << "index 1 belongs to no step";
  EXPECT_TRUE(w->Engine().StepFlags[11]);
}

TEST_F(Wizard, ReinstallOverAnExistingDirectoryKeepsSmsTxtAndNeedsNoMessage) {
  const fs::path dest = root_ / "Existing";
  fs::create_directories(dest / "logs");
  std::ofstream(dest / "sms.txt") << "+4912345678\n";
  std::ofstream(dest / "logs" / "old.log") << "kept";
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    Click(w->btnNext);
    EXPECT_EQ(w->PageIndex(), 5);
    Click(w->btnExit);
  });
  EXPECT_TRUE(reported.empty());
  std::ifstream sms(dest / "sms.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(sms), {}), "+4912345678\n");
  EXPECT_TRUE(fs::exists(dest / "logs" / "old.log"));
  EXPECT_TRUE(fs::exists(dest / "uninstall.exe"));
}

// A target that cannot be created: a directory of the file's name. (A
// read-only file would do on Windows, but the tests run as root under Wine,
// where the system's permissions let root write it.)
TEST_F(Wizard, UnwritableTargetStopsTheSequenceAndNoRetriesThatStepOnly) {
  const fs::path dest = root_ / "Blocked";
  const fs::path blocked = dest / "licence.txt";
  fs::create_directories(blocked);
  RecordProgress();
  size_t statusesAtRetry = 0;
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    Click(w->btnNext);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind("EFCreateError: Cannot create file \"", 0), 0u) << reported[0];
    EXPECT_EQ(w->PageIndex(), 4);
    EXPECT_EQ(w->btnExit->Caption(), "Cancel");
    EXPECT_TRUE(w->Engine().StepFlags[5]);
    EXPECT_FALSE(w->Engine().StepFlags[6]) << "the failed step is not done";
    EXPECT_FALSE(w->Engine().StepFlags[7]) << "nothing after it ran";
    fs::remove(blocked);
    statusesAtRetry = statuses.size();
    AnswerWhenShown("Information", "&No");
    Click(w->btnExit);
    EXPECT_EQ(w->PageIndex(), 5);
    Click(w->btnExit);
  });
  ASSERT_GT(statuses.size(), statusesAtRetry);
  // The retry starts with the step that failed; none before it runs again.
  for (size_t i = statusesAtRetry; i < statuses.size(); ++i) {
    EXPECT_EQ(statuses[i].find("qvmonitor.exe"), std::string::npos) << statuses[i];
  }
  EXPECT_TRUE(fs::is_regular_file(blocked)) << "written on the retry";
}

TEST_F(Wizard, CancelAnsweredNoCompletesTheInstallation) {
  const fs::path dest = root_ / "NoAnswer";
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    AnswerWhenShown("Information", "&No", 20);
    // Cancel arrives in one of the sequence's message pumps.
    ::PostMessageA(w->btnExit->Handle(), BM_CLICK, 0, 0);
    Click(w->btnNext);
    EXPECT_EQ(w->PageIndex(), 5);
    Click(w->btnExit);
  });
  EXPECT_EQ(questions_, std::vector<std::string>{"Information"})
      << "only the abort question waits; Finish's closes by itself";
  EXPECT_TRUE(reported.empty());
  for (const char* name : kInstalledFiles)
    EXPECT_TRUE(fs::exists(dest / name)) << name;
}

TEST_F(Wizard, CancelAnsweredYesIntoANewDirectoryLeavesNothing) {
  const fs::path dest = root_ / "Fresh";
  RecordProgress();
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    AnswerWhenShown("Information", "&Yes", 20);
    ::PostMessageA(w->btnExit->Handle(), BM_CLICK, 0, 0);
    Click(w->btnNext);
  });
  EXPECT_FALSE(fs::exists(dest));
  EXPECT_TRUE(app->QuitReceived());
  // Confirmed in the first step's pump: no file step came after it.
  EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                          [](const std::string& s) { return s.rfind("Copying file", 0) == 0; }),
            0);
}

TEST_F(Wizard, AbortDuringTheSequenceRestoresTheUsersFiles) {
  const fs::path dest = root_ / "UsersOwn";
  fs::create_directories(dest / "logs");
  std::ofstream(dest / "qvdaemon.exe") << "an older daemon";
  std::ofstream(dest / "notes.doc") << "unrelated";
  std::ofstream(dest / "logs" / "today.log") << "log";
  // A register.txt that cannot be written stops the sequence after earlier
  // steps wrote.
  fs::create_directories(dest / "register.txt");
  const auto before = DirectorySnapshot(dest);
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    Click(w->btnNext);
    ASSERT_EQ(reported.size(), 1u) << "register.txt cannot be written";
    EXPECT_TRUE(fs::exists(dest / "qvmanager.exe")) << "earlier steps wrote";
    AnswerWhenShown("Information", "&Yes");
    Click(w->btnExit);
  });
  EXPECT_EQ(DirectorySnapshot(dest), before);
  EXPECT_TRUE(app->QuitReceived());
}

TEST_F(Wizard, ClosingTheAbortQuestionCountsAsYes) {
  const fs::path dest = root_ / "Closed";
  Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    After(20, [&] {
      HWND dialog = FindTopWindow("TMessageForm", "Information");
      ASSERT_NE(dialog, nullptr);
      ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    ::PostMessageA(w->btnExit->Handle(), BM_CLICK, 0, 0);
    Click(w->btnNext);
  });
  EXPECT_TRUE(app->QuitReceived());
  EXPECT_FALSE(fs::exists(dest)) << "the abort removed what the installation created";
}

// A destination typed as a single letter is a folder of that name in the
// current directory; removing it must never reach for the drive's root.
TEST_F(Wizard, AbortRemovesARelativeDestinationByItsFullPath) {
  ::SetCurrentDirectoryA(root_.string().c_str());
  std::ofstream(root_ / "beside.txt") << "stays";
  Run([&] {
    ToDestination();
    w->editDir->SetText("Q");
    AnswerWhenShown("Information", "&Yes", 20);
    ::PostMessageA(w->btnExit->Handle(), BM_CLICK, 0, 0);
    Click(w->btnNext);
  });
  EXPECT_FALSE(fs::exists(root_ / "Q"));
  EXPECT_TRUE(fs::exists(root_ / "beside.txt"));
  ::SetCurrentDirectoryA("C:\\");
}

TEST_F(Wizard, FinishEndsAtOnce) {
  const fs::path dest = root_ / "Finish";
  const TModalResult result = Run([&] {
    ToDestination();
    w->editDir->SetText(dest.string());
    Click(w->btnNext);
    Click(w->btnExit);
  });
  EXPECT_EQ(result, resCancel);
  EXPECT_TRUE(questions_.empty()) << "Finish's question closes by itself";
  app->PumpMessages();
  EXPECT_TRUE(app->QuitReceived());
  EXPECT_TRUE(fs::exists(dest / "uninstall.exe")) << "Finish removes nothing";
}

}  // namespace
}  // namespace qv::test
