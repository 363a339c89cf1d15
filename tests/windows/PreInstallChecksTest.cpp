// The start-up checks of the background window, run for real: registry
// contents in the Wine prefix, the real dialogs answered from a timer, and
// the platform calls Wine cannot vary (administrator, version, reboot)
// replaced through the checks' seam.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/ShellText.h"
#include "setup/BackgroundWindow.h"
#include "setup/ProcessScan.h"
#include "setup/SystemChecks.h"
#include "wizard/WizardDialog.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHostKey = "SOFTWARE\\Ipswitch\\IMail";
constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Quolvex";
constexpr const char* kMonitorKey = "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor";

const std::string M1 = "Ipswitch Imail Server not installed.";
const std::string M2 =
    "Setup has detected quolvex (version 4.3)\r\nYou must uninstall previous version and repeat "
    "again";
const std::string M3 =
    "Setup has detected that you have already installed quolvex 5.0 services.\r\nPress \"No\" to "
    "uninstall current version and repeat again.\r\nPress \"Yes\" to overwrite existing files.";
const std::string M4 =
    "Setup has detected previously installed services but no files detected on the disk to "
    "update.\r\nWould you like to reboot the computer?";
const std::string M5 = "Only NT Platform supported";
const std::string M7 = "You must be logged in as administrator to install this software";

std::string MessageTextOf(HWND dialog) {
  for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    char cls[32] = {};
    ::GetClassNameA(c, cls, sizeof cls);
    if (std::string(cls) == "Static")
      return WindowText(c);
  }
  return {};
}

// Every message dialog this thread shows, in order, whether it waited for
// an answer or closed by itself; scripted answers are clicked as dialogs
// appear.
class DialogRecorder {
 public:
  struct Shown {
    std::string caption;
    std::string text;
    std::string answer;  // empty: closed without an answer
  };

  DialogRecorder() {
    current_ = this;
    hook_ = ::SetWindowsHookExA(WH_CBT, SystemCallback(&Hook), nullptr, ::GetCurrentThreadId());
    timer_ = ::SetTimer(nullptr, 0, 20, SystemCallback(&Tick));
  }
  ~DialogRecorder() {
    ::KillTimer(nullptr, timer_);
    ::UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  void Answer(std::string button) { answers_.push_back(std::move(button)); }
  const std::vector<Shown>& shown() const { return shown_; }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown_)
      texts.push_back(s.text);
    return texts;
  }
  std::vector<std::string> Answered() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown_) {
      if (!s.answer.empty())
        texts.push_back(s.text);
    }
    return texts;
  }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == HCBT_ACTIVATE && current_ != nullptr) {
      TestGuarded([wParam] {
        const HWND window = reinterpret_cast<HWND>(wParam);
        char cls[32] = {};
        ::GetClassNameA(window, cls, sizeof cls);
        if (std::string(cls) == "TMessageForm" && current_->Seen(window) == nullptr) {
          current_->shown_.push_back({WindowText(window), MessageTextOf(window), {}});
          current_->windows_.push_back(window);
          current_->since_.push_back(::GetTickCount());
        }
      });
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  // Answers the first waiting dialog whose button the next answer names. A
  // dialog that waits with no answer for it is closed after a while and
  // recorded as such, so that an unexpected wait fails the test at once
  // instead of running into its time-out.
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) noexcept { TestGuarded(&AnswerOne); }
  static void AnswerOne() {
    DialogRecorder* self = current_;
    if (self == nullptr)
      return;
    for (size_t i = 0; i < self->windows_.size(); ++i) {
      const HWND window = self->windows_[i];
      if (!self->shown_[i].answer.empty() || !::IsWindowVisible(window))
        continue;
      const HWND button =
          self->answers_.empty() ? nullptr : FindChild(window, "Button", self->answers_.front());
      if (button != nullptr) {
        self->shown_[i].answer = self->answers_.front();
        self->answers_.pop_front();
        ::PostMessageA(button, BM_CLICK, 0, 0);
        return;
      }
      if (::GetTickCount() - self->since_[i] > kUnansweredMs) {
        self->shown_[i].answer = "(closed by the test: nothing to answer)";
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return;
      }
    }
  }
  const Shown* Seen(HWND window) const {
    for (size_t i = 0; i < windows_.size(); ++i) {
      if (windows_[i] == window && ::IsWindow(window))
        return &shown_[i];
    }
    return nullptr;
  }

  HHOOK hook_ = nullptr;
  UINT_PTR timer_ = 0;
  std::deque<std::string> answers_;
  std::vector<Shown> shown_;
  std::vector<HWND> windows_;
  std::vector<DWORD> since_;
  static constexpr DWORD kUnansweredMs = 3000;
  static inline DialogRecorder* current_ = nullptr;
};

// A TOKEN_GROUPS list built by hand: the Administrators group or another.
struct FakeToken {
  static inline bool administrator = true;
  static inline DWORD attributes = SE_GROUP_ENABLED;
  static inline bool fails = false;

  static bool Query(void* buffer, DWORD size) {
    if (fails)
      return false;
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    // Two groups, their SIDs after the list as the system lays them out.
    BYTE* sids = static_cast<BYTE*>(buffer) + sizeof(TOKEN_GROUPS) + sizeof(SID_AND_ATTRIBUTES);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    const DWORD sidSize = ::GetSidLengthRequired(2);
    ::InitializeSid(sids, &world, 1);
    *::GetSidSubAuthority(sids, 0) = SECURITY_WORLD_RID;
    ::InitializeSid(sids + sidSize, &nt, 2);
    *::GetSidSubAuthority(sids + sidSize, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *::GetSidSubAuthority(sids + sidSize, 1) =
        administrator ? DOMAIN_ALIAS_RID_ADMINS : DOMAIN_ALIAS_RID_USERS;
    if (static_cast<DWORD>(sids + 2 * sidSize - static_cast<BYTE*>(buffer)) > size)
      return false;
    groups->GroupCount = 2;
    groups->Groups[0] = {sids, SE_GROUP_ENABLED};
    groups->Groups[1] = {sids + sidSize, attributes};
    return true;
  }
};

// The reboot's platform calls, recorded.
struct FakeReboot {
  static inline bool tokenOpens = true;
  static inline bool privilegeFound = true;
  static inline DWORD adjustError = ERROR_SUCCESS;
  static inline bool restartAccepted = true;
  static inline std::vector<std::string> calls;

  static BOOL WINAPI OpenProcessToken(HANDLE, DWORD access, PHANDLE token) {
    calls.push_back("OpenProcessToken " + std::to_string(access));
    if (!tokenOpens)
      return FALSE;
    // A real handle, so that closing it is as harmless as with a token.
    *token = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return TRUE;
  }
  static BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid) {
    calls.push_back(std::string("LookupPrivilegeValue ") + name);
    *luid = LUID{19, 0};
    return privilegeFound ? TRUE : FALSE;
  }
  static BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD,
                                           PTOKEN_PRIVILEGES, PDWORD) {
    calls.push_back("AdjustTokenPrivileges " + std::to_string(disableAll) + " " +
                    std::to_string(state->PrivilegeCount) + " " +
                    std::to_string(state->Privileges[0].Attributes));
    return TRUE;
  }
  static DWORD WINAPI GetLastError() { return adjustError; }
  static BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
    calls.push_back("ExitWindowsEx " + std::to_string(flags) + " " + std::to_string(reason));
    return restartAccepted ? TRUE : FALSE;
  }
};

struct FakeVersion {
  static inline DWORD platform = VER_PLATFORM_WIN32_NT;
  static inline bool fails = false;
  static BOOL WINAPI Get(LPOSVERSIONINFOA info) {
    if (fails || info->dwOSVersionInfoSize != 148)
      return FALSE;
    info->dwPlatformId = platform;
    return TRUE;
  }
};

void WriteText(const char* key, const char* name, const std::string& text, DWORD type = REG_SZ) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &handle, nullptr),
            ERROR_SUCCESS);
  if (name != nullptr) {
    ::RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  }
  ::RegCloseKey(handle);
}

class PreInstallChecks : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ForgetInstallation();
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kHostKey);
    root_ = fs::path("C:\\qvchecks-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "Quolvex Antivirus");
    program_ = (root_ / "Quolvex Antivirus" / "qvdaemon.exe").string();
    std::ofstream(program_) << "MZ";
    FakeToken::administrator = true;
    FakeToken::attributes = SE_GROUP_ENABLED;
    FakeToken::fails = false;
    FakeReboot::calls.clear();
    FakeVersion::platform = VER_PLATFORM_WIN32_NT;
    TSystemCalls& calls = SystemCalls();
    calls.QueryTokenGroups = &FakeToken::Query;
    calls.GetVersionExA = &FakeVersion::Get;
    calls.OpenProcessToken = &FakeReboot::OpenProcessToken;
    calls.LookupPrivilegeValueA = &FakeReboot::LookupPrivilegeValueA;
    calls.AdjustTokenPrivileges = &FakeReboot::AdjustTokenPrivileges;
    calls.GetLastError = &FakeReboot::GetLastError;
    calls.ExitWindowsEx = &FakeReboot::ExitWindowsEx;
    frmBackground = nullptr;
    frmDialog = nullptr;
  }
  void TearDown() override {
    SystemCalls() = RealSystemCalls();
    ShellTest::TearDown();
    frmBackground = nullptr;
    frmDialog = nullptr;
    TfrmDialog::EarlierInstallation = nullptr;
    ForgetInstallation();
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kHostKey);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  static void InstallHost() { WriteText(kHostKey, nullptr, ""); }

  // Creates the background window, which runs the checks.
  void RunChecks() { app->InstantiateForm(frmBackground); }

  bool TerminationRequested() {
    MSG message;
    return app->QuitReceived() ||
           ::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
  }
  bool StartTimerRuns() const { return frmBackground->tStart->Interval() == 300; }

  // The wizard as the program entry creates it after the checks.
  TfrmDialog* CreateWizard() {
    TfrmDialog::EarlierInstallation = frmBackground;
    app->InstantiateForm(frmDialog);
    return frmDialog;
  }

  DialogRecorder dialogs;
  fs::path root_;
  std::string program_;
};

using Texts = std::vector<std::string>;

TEST_F(PreInstallChecks, EverythingInOrderShowsNothingAndStartsTheTimer) {
  InstallHost();
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), Texts{});
  EXPECT_FALSE(TerminationRequested());
  EXPECT_TRUE(StartTimerRuns());
  EXPECT_FALSE(frmBackground->PreviousInstall);
  EXPECT_EQ(frmBackground->ServiceImagePath, "");
  EXPECT_TRUE(CreateWizard()->editDir->Enabled());
}

TEST_F(PreInstallChecks, WithoutTheHostTheErrorIsAnsweredAndTheProgramEnds) {
  dialogs.Answer("OK");
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), Texts{M1});
  EXPECT_EQ(dialogs.Answered(), Texts{M1});
  ASSERT_FALSE(dialogs.shown().empty());
  EXPECT_EQ(dialogs.shown()[0].caption, "Error");
  EXPECT_TRUE(TerminationRequested());
  EXPECT_TRUE(StartTimerRuns()) << "the last step runs after any refusal";
}

TEST_F(PreInstallChecks, AfterTheFirstRefusalLaterDialogsCloseAtOnce) {
  FakeToken::administrator = false;
  dialogs.Answer("OK");
  dialogs.Answer("OK");  // would answer M7 if it waited
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), (Texts{M1, M7}));
  EXPECT_EQ(dialogs.Answered(), Texts{M1});
  EXPECT_TRUE(TerminationRequested());
}

TEST_F(PreInstallChecks, NotAnAdministratorIsRefused) {
  InstallHost();
  FakeToken::administrator = false;
  dialogs.Answer("OK");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), Texts{M7});
  EXPECT_TRUE(TerminationRequested());
}

TEST_F(PreInstallChecks, AnEarlierInstallationAnsweredYesPinsTheDestination) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", "\"" + program_ + "\"", REG_EXPAND_SZ);
  WriteText(kMonitorKey, "ImagePath", "C:\\elsewhere\\qvmonitor.exe", REG_EXPAND_SZ);
  dialogs.Answer("&Yes");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), Texts{M3}) << "a quoted path of an existing program: no M4";
  ASSERT_FALSE(dialogs.shown().empty());
  EXPECT_EQ(dialogs.shown()[0].caption, "Warning");
  EXPECT_FALSE(TerminationRequested());
  EXPECT_TRUE(StartTimerRuns());
  EXPECT_TRUE(frmBackground->PreviousInstall);
  // The first key's path, lower-cased; the monitor's is not read.
  EXPECT_EQ(frmBackground->ServiceImagePath, "\"c:\\qvchecks-" +
                                                 std::to_string(::GetCurrentProcessId()) +
                                                 "\\quolvex antivirus\\qvdaemon.exe\"");
  TfrmDialog* wizard = CreateWizard();
  EXPECT_EQ(wizard->editDir->Text(),
            "C:\\qvchecks-" + std::to_string(::GetCurrentProcessId()) + "\\Quolvex Antivirus")
      << "the directory inside the quotes, spelt as stored";
  EXPECT_FALSE(wizard->editDir->Enabled());
  EXPECT_FALSE(wizard->btnBrowse->Enabled());
}

// The forms of image path the service control manager resolves, each
// naming the existing program; a REG_SZ value is not expanded, so its "%"
// leaves the program missing.
struct StoredImagePath {
  const char* name;
  DWORD type;
  std::string (*text)(const std::string& program);
  bool programFound;
};
void PrintTo(const StoredImagePath& param, std::ostream* out) {
  *out << param.name;
}

class PreInstallImagePaths : public PreInstallChecks,
                             public ::testing::WithParamInterface<StoredImagePath> {};

TEST_P(PreInstallImagePaths, NameTheProgramAsTheServiceManagerDoes) {
  InstallHost();
  const std::string stored = GetParam().text(program_);
  WriteText(kServiceKey, "ImagePath", stored, GetParam().type);
  dialogs.Answer("&Yes");
  dialogs.Answer("&No");
  RunChecks();
  EXPECT_EQ(frmBackground->ServiceImagePath, LowerAsciiLetters(stored)) << "kept as stored";
  if (!GetParam().programFound) {
    EXPECT_EQ(dialogs.Answered(), (Texts{M3, M4}));
    return;
  }
  EXPECT_EQ(dialogs.Answered(), Texts{M3}) << "no files missing";
  EXPECT_FALSE(TerminationRequested());
  EXPECT_EQ(CreateWizard()->editDir->Text(), (root_ / "Quolvex Antivirus").string());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PreInstallImagePaths,
    ::testing::Values(
        StoredImagePath{"Expanded", REG_EXPAND_SZ,
                        [](const std::string& p) { return "%SystemDrive%" + p.substr(2); }, true},
        StoredImagePath{"NativePrefix", REG_SZ, [](const std::string& p) { return "\\??\\" + p; },
                        true},
        StoredImagePath{"WithArguments", REG_SZ,
                        [](const std::string& p) { return p + " -service"; }, true},
        StoredImagePath{"LiteralPercent", REG_SZ,
                        [](const std::string& p) { return "%SystemDrive%" + p.substr(2); }, false}),
    [](const ::testing::TestParamInfo<StoredImagePath>& info) {
      return std::string(info.param.name);
    });

TEST_F(PreInstallChecks, AnEarlierInstallationAnsweredNoEnds) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", program_, REG_EXPAND_SZ);
  dialogs.Answer("&No");
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), Texts{M3});
  EXPECT_TRUE(TerminationRequested());
}

TEST_F(PreInstallChecks, AMissingProgramOffersARebootAndEndsEitherWay) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", (root_ / "gone" / "qvdaemon.exe").string());
  dialogs.Answer("&Yes");
  dialogs.Answer("&No");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), (Texts{M3, M4}));
  EXPECT_EQ(dialogs.shown().back().caption, "Error");
  EXPECT_TRUE(FakeReboot::calls.empty()) << "No: no reboot";
  EXPECT_TRUE(TerminationRequested());
}

TEST_F(PreInstallChecks, AMissingProgramAnsweredYesAsksForTheRestart) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", (root_ / "gone" / "qvdaemon.exe").string());
  dialogs.Answer("&Yes");
  dialogs.Answer("&Yes");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), (Texts{M3, M4}));
  EXPECT_EQ(FakeReboot::calls,
            (Texts{"OpenProcessToken 40", "LookupPrivilegeValue SeShutdownPrivilege",
                   "AdjustTokenPrivileges 0 1 2", "ExitWindowsEx 18 2147745794"}));
  EXPECT_TRUE(TerminationRequested());
}

TEST_F(PreInstallChecks, AnsweringNoToTheEarlierInstallationClosesTheRebootOffer) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", (root_ / "gone" / "qvdaemon.exe").string());
  dialogs.Answer("&No");
  dialogs.Answer("&Yes");  // would accept the reboot if M4 waited
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), (Texts{M3, M4}));
  EXPECT_EQ(dialogs.Answered(), Texts{M3});
  EXPECT_TRUE(FakeReboot::calls.empty());
}

TEST_F(PreInstallChecks, Version43IsRefusedAndEveryLaterQuestionClosesAtOnce) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", "C:\\OLD\\QVSERVICE.EXE");
  dialogs.Answer("OK");
  dialogs.Answer("&Yes");
  dialogs.Answer("&Yes");
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), (Texts{M2, M3, M4}));
  EXPECT_EQ(dialogs.Answered(), Texts{M2});
  EXPECT_EQ(frmBackground->ServiceImagePath, "c:\\old\\qvservice.exe");
  EXPECT_TRUE(FakeReboot::calls.empty());
}

TEST_F(PreInstallChecks, OnlyTheMonitorKeyIsAnEarlierInstallationWithoutTheVersionTest) {
  InstallHost();
  const fs::path old = root_ / "Old" / "QVSERVICE.EXE";
  fs::create_directories(old.parent_path());
  std::ofstream(old) << "MZ";
  WriteText(kMonitorKey, "ImagePath", old.string());
  dialogs.Answer("&Yes");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), Texts{M3});
  EXPECT_TRUE(frmBackground->PreviousInstall);
  EXPECT_EQ(frmBackground->ServiceImagePath, old.string()) << "read as stored";
}

TEST_F(PreInstallChecks, AnImagePathNamingADirectoryCountsAsMissing) {
  InstallHost();
  WriteText(kServiceKey, "ImagePath", root_.string());
  dialogs.Answer("&Yes");
  dialogs.Answer("&No");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), (Texts{M3, M4}));
}

TEST_F(PreInstallChecks, TheMonitorsPathIsReadWhenTheFirstKeyHasNone) {
  InstallHost();
  WriteText(kServiceKey, nullptr, "");
  WriteText(kMonitorKey, "ImagePath", (root_ / "gone" / "qvmonitor.exe").string());
  dialogs.Answer("&Yes");
  dialogs.Answer("&No");
  RunChecks();
  EXPECT_EQ(dialogs.Answered(), (Texts{M3, M4}));
  EXPECT_EQ(frmBackground->ServiceImagePath, (root_ / "gone" / "qvmonitor.exe").string());
}

TEST_F(PreInstallChecks, AnImagePathThatIsNoTextIsReportedAndStopsTheChecks) {
  InstallHost();
  const DWORD number = 7;
  HKEY handle = nullptr;
  ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &handle, nullptr);
  ::RegSetValueExA(handle, "ImagePath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
  ::RegCloseKey(handle);
  RunChecks();
  EXPECT_EQ(reported, Texts{"ERegistryException: Invalid data type for 'ImagePath'"});
  EXPECT_EQ(dialogs.Texts(), Texts{}) << "no M3: the handler was left";
  EXPECT_FALSE(StartTimerRuns()) << "so the wizard never comes";
  EXPECT_FALSE(TerminationRequested()) << "the background stays until closed";
}

TEST_F(PreInstallChecks, AWindows95FamilySystemIsRefused) {
  InstallHost();
  FakeVersion::platform = VER_PLATFORM_WIN32_WINDOWS;
  FakeToken::administrator = false;
  dialogs.Answer("OK");
  dialogs.Answer("OK");
  RunChecks();
  EXPECT_EQ(dialogs.Texts(), (Texts{M5, M7}));
  EXPECT_EQ(dialogs.Answered(), Texts{M5});
}

// ---- Administrator test ----

TEST_F(PreInstallChecks, AdministratorsGroupMembershipCountsInAnyState) {
  EXPECT_TRUE(TokenIsAdministrator());
  FakeToken::attributes = SE_GROUP_USE_FOR_DENY_ONLY;
  EXPECT_TRUE(TokenIsAdministrator()) << "a filtered token's deny-only group counts";
  FakeToken::attributes = 0;
  EXPECT_TRUE(TokenIsAdministrator()) << "a disabled group counts";
  FakeToken::administrator = false;
  EXPECT_FALSE(TokenIsAdministrator()) << "Users is not Administrators";
  FakeToken::administrator = true;
  FakeToken::fails = true;
  EXPECT_FALSE(TokenIsAdministrator()) << "a failed query (a list over 1024 bytes) answers false";
}

TEST_F(PreInstallChecks, TheRealTokenOfThisWineUserIsAnAdministrators) {
  SystemCalls() = RealSystemCalls();
  EXPECT_TRUE(TokenIsAdministrator());
}

// ---- Reboot request ----

class RebootRequest : public PreInstallChecks {
 protected:
  void SetUp() override {
    PreInstallChecks::SetUp();
    app->SetAppTitle("Installing Quolvex Antivirus");
    FakeReboot::tokenOpens = true;
    FakeReboot::privilegeFound = true;
    FakeReboot::adjustError = ERROR_SUCCESS;
    FakeReboot::restartAccepted = true;
  }
  Texts Notices() {
    for (int i = 0; i < 4; ++i)
      dialogs.Answer("OK");
    RebootComputer();
    Texts notices;
    for (const auto& shown : dialogs.shown()) {
      EXPECT_EQ(shown.caption, "Installing Quolvex Antivirus");
      EXPECT_EQ(shown.answer, "OK") << "each notice waits for the user";
      notices.push_back(shown.text);
    }
    return notices;
  }
};

TEST_F(RebootRequest, AnAcceptedRestartShowsNothing) {
  EXPECT_EQ(Notices(), Texts{});
  EXPECT_EQ(FakeReboot::calls.back(), "ExitWindowsEx 18 2147745794");
}

TEST_F(RebootRequest, WithoutTheShutdownPrivilegeBothLaterStepsAreReported) {
  FakeReboot::adjustError = ERROR_NOT_ALL_ASSIGNED;
  FakeReboot::restartAccepted = false;
  EXPECT_EQ(Notices(), (Texts{"AdjustTokenPrivileges failed, please reboot manually",
                              "ExitWindowsEx failed, please reboot manually"}));
}

TEST_F(RebootRequest, NoStepIsSkippedBecauseAnEarlierOneFailed) {
  FakeReboot::tokenOpens = false;
  FakeReboot::privilegeFound = false;
  FakeReboot::restartAccepted = false;
  EXPECT_EQ(Notices(), (Texts{"OpenProcessToken failed, please reboot manually",
                              "LookupPrivilegeValue failed, please reboot manually",
                              "AdjustTokenPrivileges failed, please reboot manually",
                              "ExitWindowsEx failed, please reboot manually"}));
  EXPECT_EQ(FakeReboot::calls.back(), "ExitWindowsEx 18 2147745794")
      << "the restart is still asked for";
}

// ---- Running-process scan ----

TEST(RunningProgramMatches, ReportsEveryMatchingPairNamesFirst) {
  const std::vector<std::string>& names = AddOnProgramNames();
  EXPECT_EQ(RunningProgramMatches(names, {"C:\\PROGRAM FILES\\QV\\QVDAEMON.EXE"}),
            Texts{"qvdaemon.exe"});
  EXPECT_EQ(RunningProgramMatches(names, {"C:\\backup\\quolvex.exe.old\\viewer.exe"}),
            Texts{"quolvex.exe"});
  EXPECT_EQ(RunningProgramMatches(names, {"C:\\tools\\quolvexagent.exe"}), Texts{});
  // The monitor's report comes before the daemon's, whatever the order of
  // the processes; the same program twice gives two reports.
  EXPECT_EQ(RunningProgramMatches(
                names, {"C:\\QV\\qvdaemon.exe", "C:\\QV\\qvmonitor.exe", "D:\\copy\\QVDaemon.exe"}),
            (Texts{"qvmonitor.exe", "qvdaemon.exe", "qvdaemon.exe"}));
}

TEST(RunningProgramPaths, SeesThisVeryProcess) {
  const Texts paths = RunningProgramPaths();
  EXPECT_NE(std::find(paths.begin(), paths.end(), TestProgramPath()), paths.end())
      << paths.size() << " paths";
}

TEST_F(PreInstallChecks, ARunningAddOnProgramIsReportedByItsListName) {
  const fs::path scanner = root_ / "QVScanner.exe";
  fs::copy_file(ProbeProgramPath(), scanner);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = "\"" + scanner.string() + "\" /sleep 20000";
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
  ::WaitForInputIdle(process.hProcess, 2000);
  dialogs.Answer("OK");
  CheckRunningProcesses(AddOnProgramNames());
  ::TerminateProcess(process.hProcess, 0);
  ::WaitForSingleObject(process.hProcess, 5000);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  EXPECT_EQ(dialogs.Answered(),
            Texts{"Setup has found that the following process is running: qvscanner.exe\r\n"
                  "You must stop this process to continue installation"});
  EXPECT_TRUE(TerminationRequested());
}

}  // namespace
}  // namespace qv::test
