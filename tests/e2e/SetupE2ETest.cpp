// Scenarios against the real Setup.exe, each in a fresh Wine prefix (run-e2e
// starts every test of this program on its own). A scenario prepares the
// machine state it needs, starts Setup, and acts through SetupScenario's
// steps; a new scenario should need no more than those steps.
//
// Environment: QV_SETUP_EXE, the Windows path of Setup.exe (the tests skip
// without it); QV_E2E_OUT, the Windows directory for the screenshots
// "<scenario>-<nn>-<step>.bmp" (none are taken without it).
#include "Driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <imagehlp.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "AccessList.h"
#include "DirectorySnapshot.h"
#include "TaskBar.h"

namespace e2e = qv::e2e;
namespace test = qv::test;

namespace {

constexpr char kCaption[] = "Installing Quolvex Antivirus 5.0";
constexpr char kBackgroundClass[] = "TfrmBackground";
constexpr char kWizardClass[] = "TfrmDialog";
constexpr char kMessageClass[] = "TMessageForm";

constexpr char kHostKey[] = "SOFTWARE\\Ipswitch\\IMail";

constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Quolvex";
constexpr char kMonitorKey[] = "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor";
constexpr char kAppTitle[] = "Installing Quolvex Antivirus";

// What Setup says of a folder that it will not trust with what it writes
// (lower-cased: it may begin the sentence).
constexpr char kOthersMayChange[] = "users other than administrators";

constexpr char kAbortQuestion[] = "Are you sure you want to abort the installation?";
constexpr char kHostMissing[] = "Ipswitch Imail Server not installed.";
constexpr char kOldVersion[] =
    "Setup has detected quolvex (version 4.3)\r\nYou must uninstall previous version and repeat "
    "again";
constexpr char kAlreadyInstalled[] =
    "Setup has detected that you have already installed quolvex 5.0 services.\r\nPress \"No\" to "
    "uninstall current version and repeat again.\r\nPress \"Yes\" to overwrite existing files.";
constexpr char kFilesMissing[] =
    "Setup has detected previously installed services but no files detected on the disk to "
    "update.\r\nWould you like to reboot the computer?";

std::string RunningMessage(const std::string& name) {
  return "Setup has found that the following process is running: " + name +
         "\r\nYou must stop this process to continue installation";
}

// The first program start in a fresh prefix is slow under Wine.
constexpr DWORD kStartTimeout = 30000;
// The wizard follows the background after 300 ms; a few seconds allow for a loaded machine.
constexpr DWORD kWizardTimeout = 5000;
constexpr DWORD kDialogTimeout = 10000;
constexpr DWORD kExitTimeout = 15000;
// How long a window must stay to count as staying after an answer that keeps it.
constexpr DWORD kSettleMs = 1000;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

RECT WindowRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
  return info.rcWork;
}

// True when `upper` stands before `lower` in the z-order.
bool IsInFrontOf(HWND upper, HWND lower) {
  for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) {
      return true;
    }
  }
  return false;
}

class SetupScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    setupExe_ = Env("QV_SETUP_EXE");
    outDir_ = Env("QV_E2E_OUT");
    if (setupExe_.empty()) {
      GTEST_SKIP() << "QV_SETUP_EXE is not set";
    }
  }

  void TearDown() override {
    // What was on the screen when a scenario failed is the first thing to look at.
    if (HasFailure()) {
      stepShots_ = true;
      Shot("failed");
    }
  }

  // --- Machine state ---

  static void InstallHost() { e2e::CreateRegistryKey(HKEY_LOCAL_MACHINE, kHostKey); }
  static void RemoveHost() {
    e2e::DeleteRegistryKey(HKEY_LOCAL_MACHINE, kHostKey);
    ASSERT_FALSE(e2e::RegistryKeyExists(HKEY_LOCAL_MACHINE, kHostKey))
        << "HKLM\\" << kHostKey << " has subkeys; the scenario needs it gone";
  }

  // --- Setup's windows ---

  void StartSetup() { setup_ = e2e::Launch(setupExe_, DirectoryOf(setupExe_)); }

  // A service as an earlier installation left it: its key and image path.
  static void SetImagePath(const char* key, const std::string& path) {
    e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "ImagePath",
                            e2e::TextValue(path, REG_EXPAND_SZ));
  }
  static void PlaceFile(const std::string& path) {
    std::filesystem::create_directories(DirectoryOf(path));
    std::ofstream(path, std::ios::binary) << "MZ";
  }

  // A directory every user may change, as a careless tool leaves one:
  // Everyone granted full control. Wine makes a directory under its
  // server's umask, which takes the others' write bit off again; the list
  // set once more on the existing directory is what reaches its mode.
  static void MakeDirectoryOthersMayChange(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryA(path.c_str(), &attributes) != FALSE &&
                      ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ASSERT_TRUE(made) << path << ": " << e2e::ErrorText(error);
    ASSERT_TRUE(EveryoneMayAddFiles(path))
        << path << " was made for others to read only: " << test::DaclText(path);
  }

  // Whether the access list read back lets Everyone add files to the directory.
  static bool EveryoneMayAddFiles(const std::string& path) {
    DWORD size = 0;
    ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> descriptor(size);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (size == 0 ||
        !::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size,
                            &size) ||
        !::GetSecurityDescriptorDacl(descriptor.data(), &present, &list, &defaulted)) {
      return false;
    }
    if (!present || list == nullptr) {
      return true;  // no list: nothing is denied
    }
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD worldSize = sizeof world;
    ::CreateWellKnownSid(WinWorldSid, nullptr, world, &worldSize);
    for (DWORD i = 0; i < list->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      if (::GetAce(list, i, reinterpret_cast<void**>(&ace)) &&
          ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & FILE_ADD_FILE) != 0 &&
          ::EqualSid(&ace->SidStart, world)) {
        return true;
      }
    }
    return false;
  }

  // After a refusal: the program ends by itself with `exitCode`, and the
  // wizard never comes up meanwhile.
  void ExpectEndWithoutWizard(DWORD exitCode = 0) {
    bool wizardSeen = false;
    e2e::WaitUntil(
        [&] {
          wizardSeen = wizardSeen || FindWizard() != nullptr;
          return !setup_.Running();
        },
        kExitTimeout);
    EXPECT_FALSE(wizardSeen) << "the wizard was shown after a failed check";
    EXPECT_EQ(ExpectExit(), exitCode);
  }

  HWND WaitBackground(DWORD timeoutMs = kStartTimeout) {
    return e2e::WaitWindow(kCaption, kBackgroundClass, timeoutMs, &setup_);
  }
  HWND FindBackground() { return e2e::FindTopWindow(kCaption, kBackgroundClass, &setup_); }

  HWND WaitWizard(DWORD timeoutMs = kWizardTimeout) {
    return e2e::WaitWindow(kCaption, kWizardClass, timeoutMs, &setup_);
  }
  HWND FindWizard() { return e2e::FindTopWindow(kCaption, kWizardClass, &setup_); }
  // The captions of Setup's task bar buttons.
  std::vector<std::string> TaskBarButtons() {
    std::vector<std::string> captions;
    for (HWND window : qv::test::TaskBarWindows(setup_.Id()))
      captions.push_back(e2e::PeekText(window));
    return captions;
  }

  HWND Button(HWND window, const std::string& caption) {
    return e2e::RequireControl(window, "Button", caption);
  }

  // A message dialog with this caption; its message text must be `text`.
  HWND WaitMessage(const std::string& caption, const std::string& text,
                   DWORD timeoutMs = kDialogTimeout) {
    const HWND dialog = e2e::WaitWindow(caption, kMessageClass, timeoutMs, &setup_);
    EXPECT_EQ(MessageText(dialog), text) << e2e::DumpControls(dialog);
    return dialog;
  }

  // The texts of the dialog's Static controls that have text, one per line.
  static std::string MessageText(HWND dialog) {
    std::string text;
    for (const auto& c : e2e::ListControls(dialog)) {
      if (c.className == "Static" && !c.text.empty()) {
        text += (text.empty() ? "" : "\n") + c.text;
      }
    }
    return text;
  }

  // Captions of the visible buttons, left to right.
  static std::vector<std::string> ButtonCaptions(HWND window) {
    auto controls = e2e::ListControls(window);
    std::erase_if(controls,
                  [](const e2e::ControlInfo& c) { return c.className != "Button" || !c.visible; });
    std::sort(controls.begin(), controls.end(),
              [](const auto& a, const auto& b) { return a.rect.left < b.rect.left; });
    std::vector<std::string> captions;
    for (const auto& c : controls) {
      captions.push_back(c.text);
    }
    return captions;
  }

  // Clicks the button and waits until the dialog has gone.
  void Answer(HWND dialog, const std::string& button) {
    e2e::Click(Button(dialog, button));
    e2e::WaitWindowGone(dialog, kDialogTimeout);
  }

  // Exit (or Cancel, Finish) on the wizard, up to the abort question.
  HWND PressExit(HWND wizard) {
    e2e::Click(Button(wizard, "Exit"));
    return WaitMessage("Information", kAbortQuestion);
  }

  void ExpectAbortQuestion(HWND question) {
    EXPECT_EQ(ButtonCaptions(question), (std::vector<std::string>{"&Yes", "&No"}));
  }

  // The wizard is still shown, usable and in front, a while after an answer that keeps it.
  void ExpectWizardStays(HWND wizard) {
    ::Sleep(kSettleMs);
    ASSERT_TRUE(setup_.Running()) << "Setup ended";
    EXPECT_EQ(FindWizard(), wizard) << e2e::DumpTopLevelWindows();
    EXPECT_TRUE(::IsWindowEnabled(wizard)) << "the wizard is left disabled";
  }

  // Waits for the program's end and returns its exit code (the test fails when it does not end).
  DWORD ExpectExit(DWORD timeoutMs = kExitTimeout) {
    const auto code = e2e::WaitExit(setup_, timeoutMs);
    EXPECT_TRUE(code.has_value()) << "Setup still runs after " << timeoutMs << " ms\n"
                                  << e2e::DumpTopLevelWindows();
    return code.value_or(e2e::kTerminatedExitCode);
  }

  // Screen as the user sees it now, as "<scenario>-<nn>-<step>.bmp".
  void Shot(const std::string& step) {
    if (outDir_.empty() || !stepShots_) {
      return;
    }
    char number[8];
    std::snprintf(number, sizeof number, "%02d", ++shots_);
    const std::string name =
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
        number + "-" + step + ".bmp";
    try {
      e2e::Screenshot(outDir_ + "\\" + name);
    } catch (const e2e::DriverError& error) {
      ADD_FAILURE() << error.what();
    }
  }

  // Whether a visible control of the class shows the text, as a user reads it.
  static bool HasVisibleText(HWND window, const std::string& className, const std::string& text) {
    for (const auto& c : e2e::ListControls(window)) {
      if (c.className == className && c.visible && c.text == text) {
        return true;
      }
    }
    return false;
  }

  // Welcome, License (agreed), Readme, Destination: checks each page's
  // controls and takes a picture of it.
  // `destination` is what the Destination page offers.
  void WalkToDestinationPage(
      HWND wizard, const std::string& destination = "C:\\Program Files\\QuolvexAntivirus") {
    EXPECT_TRUE(HasVisibleText(wizard, "Static", "Press next to continue installation process"));
    Shot("welcome");
    e2e::Click(Button(wizard, "Next >"));

    ASSERT_TRUE(
        e2e::WaitUntil([&] { return HasVisibleText(wizard, "Static", "License Agreement"); }, 5000))
        << "the License page" << e2e::DumpControls(wizard);
    EXPECT_TRUE(HasVisibleText(wizard, "Button", "I agree with the above terms and conditions"));
    EXPECT_FALSE(::IsWindowEnabled(Button(wizard, "Next >"))) << "Next waits for the agreement";
    bool licenceShown = false;
    for (const auto& c : e2e::ListControls(wizard)) {
      licenceShown = licenceShown || (c.className == "Edit" && c.visible &&
                                      c.text.rfind("No Commercial License Agreement", 0) == 0);
    }
    EXPECT_TRUE(licenceShown) << e2e::DumpControls(wizard);
    Shot("license");
    e2e::Click(Button(wizard, "I agree with the above terms and conditions"));
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return ::IsWindowEnabled(Button(wizard, "Next >")) != FALSE; }, 5000))
        << "Next enabled by the agreement" << e2e::DumpControls(wizard);
    e2e::Click(Button(wizard, "Next >"));

    ASSERT_TRUE(e2e::WaitUntil([&] { return HasVisibleText(wizard, "Static", "Readme"); }, 5000))
        << "the Readme page" << e2e::DumpControls(wizard);
    Shot("readme");
    e2e::Click(Button(wizard, "Next >"));

    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return HasVisibleText(wizard, "Static", "Destination Directory"); }, 5000))
        << "the Destination page" << e2e::DumpControls(wizard);
    EXPECT_TRUE(HasVisibleText(wizard, "Edit", destination));
    EXPECT_TRUE(HasVisibleText(wizard, "Button", "Browse..."));
    Shot("destination");
  }

  // From the Destination page: Next, and the installation runs.
  void StartInstallation(HWND wizard, const std::string& destination) {
    const HWND edit = e2e::RequireControl(wizard, "Edit", "C:\\Program Files\\QuolvexAntivirus");
    e2e::SetText(edit, destination);
    e2e::Click(Button(wizard, "Next >"));
  }

  // Host present, Setup started, the wizard walked to its Destination page.
  HWND OpenWizardAtDestination() {
    InstallHost();
    StartSetup();
    WaitBackground();
    const HWND wizard = WaitWizard();
    WalkToDestinationPage(wizard);
    return wizard;
  }

  // Starts the installation into destination and clicks Cancel after
  // delayMs. The Exit button becomes Cancel on the Installing page; while
  // the installation runs, Setup answers only in its message pumps, so the
  // click is posted rather than looked for: it waits in the queue for the
  // next pump, as a user's click would.
  void InstallAndCancel(HWND wizard, const std::string& destination, DWORD delayMs) {
    const HWND cancel = Button(wizard, "Exit");
    StartInstallation(wizard, destination);
    ::Sleep(delayMs);
    e2e::Click(cancel);
  }

  // On the Success page: every file is in place, and Finish ends with 0.
  void FinishInstallation(HWND wizard, const std::string& destination) {
    ASSERT_NO_FATAL_FAILURE(WaitSuccess(wizard));
    ExpectInstalled(destination);
    ExpectConfigured(destination);
    e2e::Click(Button(wizard, "Finish"));
    EXPECT_EQ(ExpectExit(), 0u);
  }

  // Waits for the Success page and takes its picture.
  void WaitSuccess(HWND wizard) {
    ASSERT_TRUE(e2e::WaitUntil([&] { return HasVisibleText(wizard, "Button", "Finish"); }, 30000))
        << "the Success page" << e2e::DumpControls(wizard);
    ::Sleep(300);
    Shot("success");
  }

  // The ten installed files carry the bytes of the payloads (when known).
  void ExpectInstalled(const std::string& destination) {
    const auto tree = test::DirectorySnapshot(destination);
    EXPECT_EQ(tree.count("logs/"), 1u);
    EXPECT_EQ(tree.count("sms.txt"), 1u);
    const std::string payloads = Env("QV_PAYLOAD_DIR");
    for (const char* name :
         {"qvdaemon.exe", "qvmanager.exe", "qvscanner.exe", "qvmonitor.exe", "licence.txt",
          "readme.txt", "register.txt", "quolvex.chm", "uninstall.exe"}) {
      ASSERT_EQ(tree.count(name), 1u) << name;
      if (!payloads.empty()) {
        EXPECT_EQ(tree.at(name), test::FileBytes(payloads + "\\" + name)) << name;
      }
    }
  }

  // The final phase's effects: the configuration defaults, both services
  // registered to start on demand from the destination, and the five
  // program-menu shortcuts pointing into it.
  static void ExpectConfigured(const std::string& destination) {
    const std::string settings = "SOFTWARE\\Quolvex";
    const char* const texts[] = {"Codepage", "Trusted",  "TrustedIP",      "MailboxList",
                                 "WebPath",  "KillFile", "ScannerHost",    "WapPath",
                                 "Codeword", "Keywords", "MonitorExecPath"};
    const char* const numbers[] = {
        "IgnoreMbxAfter", "ScannerPort",        "WholeLimit",     "Base64Limit",  "EventReload",
        "DSizeLimit",     "ViewKeyLog",         "MbxEnabled",     "RestrictBulk", "BulkMax",
        "BulkInterval",   "BulkPause",          "MinThreads",     "MaxThreads",   "MaxQueue",
        "CPULimit",       "PurgeLogsAfterDays", "MonitorInterval"};
    for (const char* name : texts) {
      const auto value = e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, settings, name);
      ASSERT_TRUE(value.has_value()) << name;
      EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << name;
    }
    for (const char* name : numbers) {
      const auto value = e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, settings, name);
      ASSERT_TRUE(value.has_value()) << name;
      EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD)) << name;
    }
    EXPECT_EQ(e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, settings, "ScannerPort"),
              e2e::NumberValue(3385));
    EXPECT_EQ(e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, settings, "Keywords"),
              e2e::TextValue("failed, invalid, bogus, rdeliver, ERR"));

    const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
    for (const auto& [service, program] :
         {std::pair{"Quolvex", "qvdaemon.exe"}, std::pair{"QuolvexMonitor", "qvmonitor.exe"}}) {
      EXPECT_EQ(e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, services + service, "Start"),
                e2e::NumberValue(3))
          << service;
      const auto image =
          e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, services + service, "ImagePath");
      ASSERT_TRUE(image.has_value()) << service;
      EXPECT_NE(image->data.find(destination + "\\" + program), std::string::npos) << image->data;
    }

    const auto programs = e2e::ReadRegistryValue(
        HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
        "Common Programs");
    ASSERT_TRUE(programs.has_value());
    const std::string menu = programs->data.c_str() + std::string("\\Quolvex\\");
    const std::string d = destination + "\\";
    for (const auto& [file, target, description] :
         {std::tuple{"Quolvex Manager.lnk", "qvmanager.exe", "Quolvex Manager"},
          std::tuple{"License agreement.lnk", "licence.txt", "Lincense agreement"},
          std::tuple{"Readme.lnk", "readme.txt", "Readme"},
          std::tuple{"How to register.lnk", "register.txt", "How to register"},
          std::tuple{"Uninstall program.lnk", "uninstall.exe", "Uninstall program"}}) {
      const e2e::ShortcutInfo link = e2e::ReadShortcut(menu + file);
      EXPECT_EQ(link.target, d + target) << file;
      EXPECT_EQ(link.description, description) << file;
      EXPECT_EQ(link.arguments, "") << file;
      EXPECT_EQ(link.workingDirectory, d) << file;
    }
  }

  std::string setupExe_;
  std::string outDir_;
  e2e::Process setup_;
  int shots_ = 0;
  // Off where a scenario repeats the steps many times: a picture costs time.
  bool stepShots_ = true;
};

// --- Start-up ------------------------------------------------------------------

using StartUp = SetupScenario;

TEST_F(StartUp, WithHostInstalledWizardAppearsCentredInFrontOfMaximizedBackground) {
  InstallHost();
  StartSetup();

  const HWND background = WaitBackground();
  const ULONGLONG backgroundSeen = ::GetTickCount64();
  EXPECT_TRUE(::IsZoomed(background));
  const RECT bg = WindowRect(background);
  const RECT work = WorkAreaOf(background);
  EXPECT_TRUE(bg.left <= work.left && bg.top <= work.top && bg.right >= work.right &&
              bg.bottom >= work.bottom)
      << "background " << e2e::RectText(bg) << " does not cover the work area "
      << e2e::RectText(work);
  Shot("background");

  const HWND wizard = WaitWizard();
  RecordProperty("wizard_after_background_ms",
                 static_cast<int>(::GetTickCount64() - backgroundSeen));
  const SIZE screen = e2e::ScreenSize();
  const RECT wz = WindowRect(wizard);
  const int width = wz.right - wz.left;
  const int height = wz.bottom - wz.top;
  // Centred by integer halves; one pixel of rounding either way is still centred.
  EXPECT_NEAR(wz.left, (screen.cx - width) / 2, 1) << "wizard at " << e2e::RectText(wz);
  EXPECT_NEAR(wz.top, (screen.cy - height) / 2, 1) << "wizard at " << e2e::RectText(wz);
  EXPECT_TRUE(IsInFrontOf(wizard, background)) << e2e::DumpTopLevelWindows();
  EXPECT_FALSE(::IsWindowEnabled(background))
      << "the background stays usable behind the modal wizard";
  EXPECT_FALSE(::IsZoomed(wizard));
  EXPECT_EQ(TaskBarButtons(), std::vector<std::string>{kAppTitle}) << e2e::DumpTopLevelWindows();

  const HWND next = Button(wizard, "Next >");
  const HWND exit = Button(wizard, "Exit");
  const HWND back = Button(wizard, "< Back");
  EXPECT_TRUE(::IsWindowVisible(next) && ::IsWindowEnabled(next)) << e2e::DumpControls(wizard);
  EXPECT_TRUE(::IsWindowVisible(exit) && ::IsWindowEnabled(exit)) << e2e::DumpControls(wizard);
  EXPECT_FALSE(::IsWindowVisible(back)) << e2e::DumpControls(wizard);
  Shot("wizard");
}

// Two installations at once could remove each other's files: a second Setup
// says so and ends before it checks or changes anything.
TEST_F(StartUp, ASecondSetupWhileOneRunsSaysSoAndEndsWithCodeZero) {
  InstallHost();
  StartSetup();
  const HWND wizard = WaitWizard();
  e2e::Process second = e2e::Launch(setupExe_, DirectoryOf(setupExe_));
  const HWND error = e2e::WaitWindow("Error", kMessageClass, kStartTimeout, &second);
  EXPECT_EQ(MessageText(error), "Setup is already running.");
  EXPECT_EQ(ButtonCaptions(error), std::vector<std::string>{"OK"});
  Shot("already-running");
  Answer(error, "OK");
  EXPECT_EQ(e2e::WaitExit(second, kExitTimeout).value_or(e2e::kTerminatedExitCode), 0u);
  EXPECT_EQ(FindWizard(), wizard) << "the first Setup carries on";
}

// --- Abort question ------------------------------------------------------------

using AbortQuestion = SetupScenario;

TEST_F(AbortQuestion, NoKeepsTheWizardAndYesEndsTheProgramWithCodeZero) {
  InstallHost();
  StartSetup();
  WaitBackground();
  const HWND wizard = WaitWizard();

  e2e::CloseWindow(wizard);
  const HWND closeQuestion = WaitMessage("Information", kAbortQuestion);
  ExpectAbortQuestion(closeQuestion);
  EXPECT_FALSE(::IsWindowEnabled(wizard)) << "the wizard stays usable behind the question";
  Shot("close-box-question");
  Answer(closeQuestion, "No");
  ExpectWizardStays(wizard);
  EXPECT_NE(e2e::FindControl(wizard, "Button", "Next >"), nullptr) << "still on the Welcome page";
  Shot("after-no");

  const HWND exitQuestion = PressExit(wizard);
  ExpectAbortQuestion(exitQuestion);
  Shot("exit-question");
  Answer(exitQuestion, "Yes");
  e2e::WaitWindowGone(wizard, kExitTimeout);
  EXPECT_EQ(ExpectExit(), 0u);
}

// --- Pre-install checks --------------------------------------------------------

using PreInstallChecks = SetupScenario;

TEST_F(PreInstallChecks, WithoutHostAnErrorIsShownAndNeverTheWizard) {
  RemoveHost();
  StartSetup();

  const auto [which, window] = e2e::WaitAnyWindow(
      {{"Error", kMessageClass}, {kCaption, kWizardClass}}, kStartTimeout, &setup_);
  ASSERT_EQ(which, 0u) << "the wizard came up instead of the error\n" << e2e::DumpTopLevelWindows();
  const HWND error = WaitMessage("Error", kHostMissing);
  EXPECT_EQ(ButtonCaptions(error), std::vector<std::string>{"OK"});
  EXPECT_EQ(FindWizard(), nullptr);
  EXPECT_EQ(FindBackground(), nullptr) << "the checks run before any installer window is shown";
  EXPECT_EQ(TaskBarButtons(), std::vector<std::string>{kAppTitle}) << e2e::DumpTopLevelWindows();
  Shot("error");
  Answer(error, "OK");
  ExpectEndWithoutWizard();
}

TEST_F(PreInstallChecks, AnEarlierInstallationAnsweredYesPinsTheDestinationInsideTheQuotes) {
  InstallHost();
  const std::string program = "C:\\Apps\\Quolvex AV\\qvdaemon.exe";
  PlaceFile(program);
  SetImagePath(kServiceKey, "\"" + program + "\"");
  StartSetup();
  const HWND question = WaitMessage("Warning", kAlreadyInstalled, kStartTimeout);
  EXPECT_EQ(ButtonCaptions(question), (std::vector<std::string>{"&Yes", "&No"}));
  Shot("already-installed");
  Answer(question, "&Yes");

  const HWND wizard = WaitWizard();
  WalkToDestinationPage(wizard, "C:\\Apps\\Quolvex AV");
  const HWND edit = e2e::RequireControl(wizard, "Edit", "C:\\Apps\\Quolvex AV");
  EXPECT_FALSE(::IsWindowEnabled(edit)) << "the destination is fixed";
  EXPECT_FALSE(::IsWindowEnabled(Button(wizard, "Browse...")));
  Shot("pinned-destination");
  Answer(PressExit(wizard), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
}

TEST_F(PreInstallChecks, AnEarlierInstallationAnsweredNoEnds) {
  InstallHost();
  PlaceFile("C:\\Apps\\QV\\qvdaemon.exe");
  SetImagePath(kServiceKey, "\"C:\\Apps\\QV\\qvdaemon.exe\"");
  StartSetup();
  Answer(WaitMessage("Warning", kAlreadyInstalled, kStartTimeout), "&No");
  ExpectEndWithoutWizard();
}

TEST_F(PreInstallChecks, MissingServiceProgramsOfferARebootAndDeclinedTheProgramEnds) {
  InstallHost();
  SetImagePath(kMonitorKey, "C:\\Gone\\qvmonitor.exe");
  StartSetup();
  Answer(WaitMessage("Warning", kAlreadyInstalled, kStartTimeout), "&Yes");
  const HWND reboot = WaitMessage("Error", kFilesMissing);
  EXPECT_EQ(ButtonCaptions(reboot), (std::vector<std::string>{"&Yes", "&No"}));
  Shot("reboot-offer");
  Answer(reboot, "&No");
  ExpectEndWithoutWizard();
}

TEST_F(PreInstallChecks, Version43IsRefusedAndNothingElseWaits) {
  InstallHost();
  SetImagePath(kServiceKey, "C:\\OLD\\QVSERVICE.EXE");
  StartSetup();
  const HWND refusal = WaitMessage("Error", kOldVersion, kStartTimeout);
  Shot("version-4.3");
  Answer(refusal, "OK");
  // The earlier-installation question and the reboot offer that follow
  // close by themselves.
  ExpectEndWithoutWizard();
}

TEST_F(PreInstallChecks, AnImagePathThatIsNoTextIsReportedAndTheWizardNeverComes) {
  InstallHost();
  e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath", e2e::NumberValue(16));
  StartSetup();
  // The shell's error box, a system message box.
  const HWND error = e2e::WaitWindow(kAppTitle, "#32770", kStartTimeout, &setup_);
  EXPECT_EQ(MessageText(error), "Invalid data type for 'ImagePath'") << e2e::DumpControls(error);
  Shot("registry-error");
  Answer(error, "OK");
  // The background stays, without the wizard, until the user closes it.
  const HWND background = WaitBackground();
  EXPECT_FALSE(e2e::WaitUntil([&] { return FindWizard() != nullptr; }, 2000))
      << "the wizard came after the error";
  e2e::CloseWindow(background);
  EXPECT_EQ(ExpectExit(), 0u);
}

TEST_F(PreInstallChecks, RunningAddOnProgramsAreReportedOncePerNameInListOrder) {
  InstallHost();
  const std::string payloads = Env("QV_PAYLOAD_DIR");
  if (payloads.empty()) {
    GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
  }
  // Started from a scratch folder, the manager before the scanner: the
  // reports follow the list of names, not the processes.
  std::filesystem::create_directories("C:\\Scratch");
  std::filesystem::copy_file(payloads + "\\qvmanager.exe", "C:\\Scratch\\qvmanager.exe");
  std::filesystem::copy_file(payloads + "\\qvscanner.exe", "C:\\Scratch\\QVScanner.exe");
  e2e::Process manager = e2e::Launch("C:\\Scratch\\qvmanager.exe", "C:\\Scratch");
  e2e::Process scanner = e2e::Launch("C:\\Scratch\\QVScanner.exe", "C:\\Scratch");
  ::WaitForInputIdle(manager.Handle(), 10000);
  ::WaitForInputIdle(scanner.Handle(), 10000);

  StartSetup();
  const HWND first = WaitMessage("Error", RunningMessage("qvscanner.exe"), kStartTimeout);
  Shot("running-program");
  Answer(first, "OK");
  // The manager's report closes by itself after the first refusal.
  ExpectEndWithoutWizard();
  manager.Terminate();
  scanner.Terminate();
}

TEST_F(PreInstallChecks, ASecondRunAfterACompletedInstallationFindsIt) {
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  const std::string dest = "C:\\Program Files\\QuolvexAntivirus";
  StartInstallation(wizard, dest);
  FinishInstallation(wizard, dest);
  ASSERT_FALSE(HasFailure());

  StartSetup();
  Answer(WaitMessage("Warning", kAlreadyInstalled, kStartTimeout), "&Yes");
  const HWND again = WaitWizard();
  WalkToDestinationPage(again, dest);
  const HWND edit = e2e::RequireControl(again, "Edit", dest);
  EXPECT_FALSE(::IsWindowEnabled(edit));
  Answer(PressExit(again), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
}

// --- Hardening -----------------------------------------------------------------

using Hardening = SetupScenario;

// DLLs that system DLLs load on their own at start-up, each planted beside
// Setup.exe in a downloads folder, with Wine told to prefer a native DLL of
// each name: a program that loads one by name picks the planted one up,
// Setup.exe picks up none, and no DLL it loads comes from there. A name that
// even a program restricting its search as Setup does (restricted_window)
// picks up is the platform's doing: it is reported and its planted copy
// taken away, which would otherwise keep Setup from starting at all. run-e2e
// runs this scenario with the loader's trace (+pid,+loaddll) in its log,
// QV_E2E_LOG.
TEST_F(Hardening, NoDllIsLoadedFromTheFolderSetupWasStartedFrom) {
  const std::string here = DirectoryOf(OwnPath());
  const std::string downloads = "C:\\Downloads";
  const std::vector<std::string> planted = {"psapi",  "version",   "uxtheme",
                                            "dwmapi", "cryptbase", "winmm"};
  std::filesystem::create_directories(downloads);
  std::filesystem::copy_file(setupExe_, downloads + "\\Setup.exe");
  for (const char* program : {"load_by_name.exe", "restricted_window.exe"})
    std::filesystem::copy_file(here + "\\" + program, downloads + "\\" + program);
  const auto marker = [&downloads](const std::string& name) {
    return downloads + "\\" + name + ".dll.loaded";
  };
  std::string platformLoads;
  for (const std::string& name : planted) {
    SCOPED_TRACE(name);
    std::filesystem::copy_file(here + "\\planted.dll", downloads + "\\" + name + ".dll");
    // What WINEDLLOVERRIDES=NAME=n,b does, for the programs started from here.
    e2e::WriteRegistryValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", name,
                            e2e::TextValue("native,builtin"));
    e2e::Process control = e2e::Launch(downloads + "\\load_by_name.exe", downloads, name + ".dll");
    ASSERT_EQ(e2e::WaitExit(control, kExitTimeout), 0u);
    ASSERT_TRUE(std::filesystem::exists(marker(name)))
        << "without a restricted search the planted DLL is loaded";
    std::filesystem::remove(marker(name));
    // Its exit code says nothing: a planted DLL lacks what its importer needs.
    e2e::Process restricted = e2e::Launch(downloads + "\\restricted_window.exe", downloads);
    if (!e2e::WaitExit(restricted, kExitTimeout))
      restricted.Terminate();
    if (std::filesystem::exists(marker(name))) {
      platformLoads += " " + name;
      std::filesystem::remove(marker(name));
      std::filesystem::remove(downloads + "\\" + name + ".dll");
    }
  }
  if (!platformLoads.empty()) {
    RecordProperty("loaded_from_the_folder_whatever_a_program_does", platformLoads);
    std::printf("loaded from the folder whatever a program does, not held against Setup:%s\n",
                platformLoads.c_str());
  }

  InstallHost();
  setup_ = e2e::Launch(downloads + "\\Setup.exe", downloads);
  const HWND wizard = WaitWizard(kStartTimeout);
  Answer(PressExit(wizard), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
  for (const std::string& name : planted) {
    EXPECT_FALSE(std::filesystem::exists(marker(name)))
        << "Setup.exe loaded the planted " << name << ".dll";
  }

  const std::string log = Env("QV_E2E_LOG");
  if (log.empty()) {
    GTEST_SKIP() << "QV_E2E_LOG is not set: the load trace cannot be read";
  }
  char pid[16];
  std::snprintf(pid, sizeof pid, "%04lx:", static_cast<unsigned long>(setup_.Id()));
  std::ifstream in(log, std::ios::binary);
  std::vector<std::string> loads;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(pid, 0) == 0 && line.find(":loaddll:") != std::string::npos &&
        line.find("Loaded") != std::string::npos) {
      loads.push_back(Lower(line));
    }
  }
  EXPECT_TRUE(
      std::any_of(loads.begin(), loads.end(),
                  [](const std::string& l) { return l.find("psapi.dll") != std::string::npos; }))
      << "the process scan loads the process-status library; trace in " << log;
  for (const std::string& line : loads) {
    if (line.find("c:\\\\downloads\\\\") != std::string::npos) {
      EXPECT_NE(line.find("c:\\\\downloads\\\\setup.exe"), std::string::npos) << line;
    }
  }
}

// --- Demo ----------------------------------------------------------------------
// The walk-through scripts/demo shows (as far as the product goes); run-e2e
// leaves it out, the scenarios above cover the same steps.

using Demo = SetupScenario;

TEST_F(Demo, WalkThrough) {
  InstallHost();
  StartSetup();
  WaitBackground();
  Shot("background");
  const HWND wizard = WaitWizard();
  ::Sleep(500);  // let the page paint fully before the picture
  ASSERT_NO_FATAL_FAILURE(WalkToDestinationPage(wizard));
  const std::string dest = "C:\\Program Files\\QuolvexAntivirus";
  StartInstallation(wizard, dest);
  ::Sleep(400);
  Shot("installing");
  ASSERT_NO_FATAL_FAILURE(WaitSuccess(wizard));
  ExpectInstalled(dest);
  for (const auto& [name, bytes] : test::DirectorySnapshot(dest)) {
    std::printf("installed: %s\\%s (%zu bytes)\n", dest.c_str(), name.c_str(), bytes.size());
  }
  e2e::Click(Button(wizard, "Finish"));
  const DWORD code = ExpectExit();
  Shot("ended");
  std::printf("Setup.exe exit code: %lu\n", static_cast<unsigned long>(code));
  std::fflush(stdout);
}

// --- Windows built from their resources ---------------------------------------

using Pages = SetupScenario;

TEST_F(Pages, WalkingTheWizardShowsEachPageWithItsControls) {
  InstallHost();
  StartSetup();
  WaitBackground();
  const HWND wizard = WaitWizard();

  ASSERT_NO_FATAL_FAILURE(WalkToDestinationPage(wizard));
  e2e::Click(Button(wizard, "< Back"));
  ASSERT_TRUE(e2e::WaitUntil([&] { return HasVisibleText(wizard, "Static", "Readme"); }, 5000))
      << "back on the Readme page" << e2e::DumpControls(wizard);
  const HWND question = PressExit(wizard);
  Answer(question, "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
}

// Corrupts the background window's resource in a copy of Setup.exe.
static std::string DamagedCopy(const std::string& setupExe) {
  const std::string copy = DirectoryOf(setupExe) + "\\SetupDamaged.exe";
  EXPECT_TRUE(::CopyFileA(setupExe.c_str(), copy.c_str(), FALSE));
  HANDLE update = ::BeginUpdateResourceA(copy.c_str(), FALSE);
  EXPECT_NE(update, nullptr);
  // The root record of the window, then "Left" with a tag no value has.
  std::string garbage = "TPF0";
  for (const std::string name : {"TfrmBackground", "frmBackground", "Left"}) {
    garbage += static_cast<char>(name.size());
    garbage += name;
  }
  garbage += static_cast<char>(99);
  EXPECT_TRUE(::UpdateResourceA(update, MAKEINTRESOURCEA(10), "TFRMBACKGROUND",
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), garbage.data(),
                                static_cast<DWORD>(garbage.size())));
  EXPECT_TRUE(::EndUpdateResourceA(update, FALSE));
  return copy;
}

TEST_F(StartUp, DamagedResourceEndsThroughTheLastResortBoxWithExitCodeOne) {
  InstallHost();
  const std::string damaged = DamagedCopy(setupExe_);
  setup_ = e2e::Launch(damaged, DirectoryOf(damaged));
  const HWND box = e2e::WaitWindow("Application Error", "#32770", kStartTimeout, &setup_);
  const std::string text = MessageText(box);
  EXPECT_EQ(text.rfind("Exception EReadError in module SetupDamaged.exe at ", 0), 0u) << text;
  EXPECT_NE(text.find("Error reading frmBackground.Left: Invalid property value."),
            std::string::npos)
      << text;
  EXPECT_EQ(FindBackground(), nullptr);
  EXPECT_EQ(FindWizard(), nullptr);
  Shot("last-resort");
  e2e::Click(e2e::RequireControl(box, "Button", "OK"));
  EXPECT_EQ(ExpectExit(), 1u);
  ::DeleteFileA(damaged.c_str());
}

// --- Installation --------------------------------------------------------------

using Installation = SetupScenario;

TEST_F(Installation, FreshInstallationReachesSuccessWithEveryFile) {
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  const std::string dest = "C:\\Program Files\\QuolvexAntivirus";
  StartInstallation(wizard, dest);
  ::Sleep(400);
  Shot("installing");
  FinishInstallation(wizard, dest);
}

TEST_F(Installation, CancelAnsweredNoCarriesOnToSuccess) {
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  const std::string dest = "C:\\QuolvexNo";
  InstallAndCancel(wizard, dest, 0);
  const HWND question = WaitMessage("Information", kAbortQuestion);
  Shot("abort-question");
  Answer(question, "&No");
  FinishInstallation(wizard, dest);
}

TEST_F(Installation, CancelAnsweredYesIntoANewDirectoryLeavesNothing) {
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  const std::string dest = "C:\\QuolvexNew";
  InstallAndCancel(wizard, dest, 0);
  Answer(WaitMessage("Information", kAbortQuestion), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
  EXPECT_FALSE(std::filesystem::exists(dest)) << "nothing of the installation is left";
}

TEST_F(Installation, CancelAnsweredYesIntoAnExistingDirectoryChangesNothing) {
  const std::string dest = "C:\\QuolvexExisting";
  std::filesystem::create_directories(dest + "\\logs");
  std::ofstream(dest + "\\readme.txt") << "my own notes";
  std::ofstream(dest + "\\sms.txt") << "+4912345";
  std::ofstream(dest + "\\logs\\2026-12-01.log") << "a log";
  const auto before = test::DirectorySnapshot(dest);
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  // Late enough that files were written and replaced.
  InstallAndCancel(wizard, dest, 700);
  Answer(WaitMessage("Information", kAbortQuestion), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
  EXPECT_EQ(test::DirectorySnapshot(dest), before);
}

// The services run as LocalSystem from the destination: in a directory that
// every user may change, any of them could swap their programs. Setup says
// so on the Destination page, before it writes anything there, and lets the
// administrator choose again.
TEST_F(Installation, AnExistingDestinationOthersMayChangeIsRefusedOnItsPage) {
  const std::string dest = "C:\\QuolvexShared";
  ASSERT_NO_FATAL_FAILURE(MakeDirectoryOthersMayChange(dest));
  std::ofstream(dest + "\\readme.txt") << "my own notes";
  const auto before = test::DirectorySnapshot(dest);
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  StartInstallation(wizard, dest);
  const HWND warning = e2e::WaitWindow("Warning", kMessageClass, kDialogTimeout, &setup_);
  const std::string text = MessageText(warning);
  EXPECT_NE(text.find(dest), std::string::npos) << text;
  EXPECT_NE(Lower(text).find(kOthersMayChange), std::string::npos) << text;
  EXPECT_EQ(ButtonCaptions(warning), std::vector<std::string>{"OK"});
  Shot("destination-refused");
  Answer(warning, "OK");
  ExpectWizardStays(wizard);
  EXPECT_TRUE(HasVisibleText(wizard, "Static", "Destination Directory"))
      << e2e::DumpControls(wizard);
  EXPECT_TRUE(HasVisibleText(wizard, "Edit", dest)) << e2e::DumpControls(wizard);
  EXPECT_TRUE(::IsWindowEnabled(Button(wizard, "Next >")));
  EXPECT_EQ(test::DirectorySnapshot(dest), before);
  Answer(PressExit(wizard), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
  EXPECT_EQ(test::DirectorySnapshot(dest), before);
}

// --- Interrupted installations ----------------------------------------------------

constexpr char kSettingsKey[] = "SOFTWARE\\Quolvex";
constexpr char kRecovered[] =
    "Setup was interrupted during an earlier installation. Everything it changed has been undone.";
// The status label's text until the installation starts.
constexpr char kStatusBeforeInstalling[] = "C:\\Program Files\\QuolvexAntivirus\\qvdaemon.exe";
// The installation's files in the order they are written.
constexpr const char* kInstallOrder[] = {
    "qvdaemon.exe", "qvmanager.exe", "qvscanner.exe", "qvmonitor.exe", "licence.txt",
    "readme.txt",   "register.txt",  "sms.txt",       "quolvex.chm",   "uninstall.exe"};
constexpr const char* kServiceNames[] = {"Quolvex", "QuolvexMonitor"};
// The points where Setup shows a status and then lets the user act.
constexpr int kPointCount = 14;
constexpr int kServicesPoint = 12;
constexpr int kMenuPoint = 13;

std::string PointStatus(int point, const std::string& destination) {
  if (point == 0) {
    return "Creating directory: \\logs";
  }
  if (point <= 10) {
    return "Copying file: " + destination + "\\" + kInstallOrder[point - 1];
  }
  const char* const phases[] = {"Writing registry settings", "Registering services",
                                "Creating program menu"};
  return phases[point - 11];
}

// A process of that program name running now (any one).
e2e::UniqueHandle OpenRunningProgram(const std::wstring& exeName, DWORD access) {
  const e2e::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (::lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0) {
      return e2e::UniqueHandle(::OpenProcess(access, FALSE, entry.th32ProcessID));
    }
  }
  return {};
}

// Holds a thread of another process still for as long as it lives.
class ThreadHold {
 public:
  explicit ThreadHold(HANDLE thread) : thread_(thread) { Suspend(); }
  ~ThreadHold() { ::ResumeThread(thread_); }
  ThreadHold(const ThreadHold&) = delete;
  ThreadHold& operator=(const ThreadHold&) = delete;

  // Lets the thread run for a moment (two calls to the kernel) and holds it again.
  void Step() {
    ::ResumeThread(thread_);
    Suspend();
  }

 private:
  void Suspend() {
    if (::SuspendThread(thread_) == static_cast<DWORD>(-1)) {
      throw e2e::DriverError("SuspendThread: " + e2e::ErrorText(::GetLastError()));
    }
  }
  HANDLE thread_;
};

// The moment a scenario waited for passed unseen; trying again may catch it.
class TimingMissed : public e2e::DriverError {
 public:
  using e2e::DriverError::DriverError;
};

std::string TempDirectory() {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  return temp;
}

// Where Setup keeps its journals, each in a numbered folder of its own: in
// the machine's common application data, which only administrators change.
std::string JournalRoot() {
  const auto data = e2e::ReadRegistryValue(
      HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common AppData");
  if (!data.has_value()) {
    throw e2e::DriverError("no Common AppData folder in Shell Folders");
  }
  return data->data.c_str() + std::string("\\Quolvex Setup");
}

std::vector<std::string> JournalFolders() {
  std::vector<std::string> folders;
  const std::string root = JournalRoot();
  if (!std::filesystem::is_directory(root)) {
    return folders;
  }
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (entry.is_directory()) {
      folders.push_back(entry.path().string());
    }
  }
  return folders;
}

std::string ProgramMenuFolder() {
  const auto programs = e2e::ReadRegistryValue(
      HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common Programs");
  if (!programs.has_value()) {
    throw e2e::DriverError("no Common Programs folder in Shell Folders");
  }
  return programs->data.c_str() + std::string("\\Quolvex");
}

// What an installation may change that a user, or the next installation,
// would notice: files and folders by full path (a folder ends with "\"),
// services the control manager knows, the installation's programs still
// running and Setup's journal folders; and the registry keys it writes.
struct MachineState {
  std::map<std::string, std::string> things;
  e2e::RegistryTree registry;
};

MachineState Capture(const std::string& destination) {
  MachineState state;
  for (const std::string& folder : {destination, ProgramMenuFolder()}) {
    if (std::filesystem::exists(folder)) {
      state.things[folder + "\\"] = "";
      for (const auto& [name, bytes] : test::DirectorySnapshot(folder)) {
        state.things[folder + "\\" + name] = bytes;
      }
    }
  }
  for (const std::string& journal : JournalFolders()) {
    state.things[journal + "\\"] = "";
  }
  for (const char* service : kServiceNames) {
    if (e2e::ServiceExists(service)) {
      state.things[std::string("service ") + service] = "";
    }
  }
  for (const char* file : kInstallOrder) {
    if (Lower(file).ends_with(".exe") &&
        OpenRunningProgram(e2e::Widen(file), SYNCHRONIZE) != nullptr) {
      state.things[std::string("running ") + file] = "";
    }
  }
  for (const char* key : {kSettingsKey, kServiceKey, kMonitorKey}) {
    for (const auto& [name, value] : e2e::RegistrySnapshot(HKEY_LOCAL_MACHINE, key)) {
      state.registry["HKLM\\" + std::string(key) + name] = value;
    }
  }
  return state;
}

// Folders, keys and the like have no contents to tell.
std::string Describe(const std::string& bytes) {
  return bytes.empty() ? "" : " (" + std::to_string(bytes.size()) + " bytes)";
}
std::string Describe(const e2e::RegistryValue& value) {
  return value == e2e::RegistryValue{} ? ""
                                       : " (type " + std::to_string(value.type) + ", " +
                                             std::to_string(value.data.size()) + " bytes)";
}

// Each difference on a line of its own, without the (large) contents.
template <typename Value>
void AddDifferences(const std::map<std::string, Value>& before,
                    const std::map<std::string, Value>& after, std::vector<std::string>& out) {
  for (const auto& [name, value] : before) {
    const auto now = after.find(name);
    if (now == after.end()) {
      out.push_back("gone: " + name);
    } else if (now->second != value) {
      out.push_back("changed: " + name + Describe(value) + ", now" + Describe(now->second));
    }
  }
  for (const auto& [name, value] : after) {
    if (before.count(name) == 0) {
      out.push_back("added: " + name + Describe(value));
    }
  }
}

std::vector<std::string> Differences(const MachineState& before, const MachineState& after) {
  std::vector<std::string> out;
  AddDifferences(before.things, after.things, out);
  AddDifferences(before.registry, after.registry, out);
  return out;
}

void ExpectUnchanged(const MachineState& before, const MachineState& after) {
  std::string text;
  for (const std::string& difference : Differences(before, after)) {
    text += "\n  " + difference;
  }
  EXPECT_TRUE(text.empty()) << "not as before:" << text;
}

// The shell reads a new shortcut's target for a while after the shortcut
// is made: a file of an installation that went through may be busy a moment.
void RemoveAll(const std::string& path) {
  std::error_code error;
  e2e::WaitUntil(
      [&] {
        std::filesystem::remove_all(path, error);
        return !error;
      },
      kDialogTimeout, 100);
  if (error) {
    throw std::filesystem::filesystem_error("cannot remove", path, error);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(DirectoryOf(path));
  std::ofstream(path, std::ios::binary) << bytes;
}

int FailureCount() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class Interruption : public SetupScenario {
 protected:
  // The machine without any trace of an installation; with `existing`, the
  // destination holds the user's own files (some of the installation's
  // names among them) and the configuration key values an administrator set.
  static void PrepareMachine(const std::string& destination, bool existing) {
    // A service program left running by an earlier attempt would register
    // its service again after it is removed.
    for (const char* file : kInstallOrder) {
      while (const e2e::UniqueHandle left =
                 OpenRunningProgram(e2e::Widen(file), PROCESS_TERMINATE | SYNCHRONIZE)) {
        if (!::TerminateProcess(left.get(), e2e::kTerminatedExitCode)) {
          throw e2e::DriverError("a running " + std::string(file) + " cannot be ended");
        }
        ::WaitForSingleObject(left.get(), kExitTimeout);
      }
    }
    for (const char* service : kServiceNames) {
      e2e::RemoveService(service);
    }
    for (const char* key : {kSettingsKey, kServiceKey, kMonitorKey}) {
      e2e::DeleteRegistryTree(HKEY_LOCAL_MACHINE, key);
    }
    RemoveAll(destination);
    RemoveAll(ProgramMenuFolder());
    for (const std::string& journal : JournalFolders()) {
      RemoveAll(journal);
    }
    if (!existing) {
      return;
    }
    WriteBytes(destination + "\\notes.txt", "my notes\r\n");
    WriteBytes(destination + "\\qvdaemon.exe", std::string("MZ\x90\0\x03\0an older daemon", 20));
    WriteBytes(destination + "\\readme.txt", "read me first");
    WriteBytes(destination + "\\sms.txt", "+4912345");
    WriteBytes(destination + "\\sub\\a.dat", std::string("\0\1\2\3", 4));
    WriteBytes(destination + "\\logs\\old.log", "a log");
    e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, "ScannerPort",
                            e2e::NumberValue(9999));
    e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, "Comment",
                            e2e::TextValue("the administrator's own"));
    e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, std::string(kSettingsKey) + "\\Rules", "Blocked",
                            e2e::TextValue("%TEMP%\\*.scr", REG_EXPAND_SZ));
  }

  struct Installing {
    HWND wizard = nullptr;
    HWND status = nullptr;
    HWND cancel = nullptr;
  };

  // Setup started with the host present, walked to Destination and the
  // installation into `destination` started.
  Installing StartInstalling(const std::string& destination) {
    InstallHost();
    StartSetup();
    Installing run;
    run.wizard = WaitWizard(kStartTimeout);
    const int failures = FailureCount();
    WalkToDestinationPage(run.wizard);
    if (FailureCount() != failures) {
      throw e2e::DriverError("the wizard could not be walked to its Destination page");
    }
    run.status = e2e::RequireControl(run.wizard, "Static", kStatusBeforeInstalling);
    run.cancel = Button(run.wizard, "Exit");
    StartInstallation(run.wizard, destination);
    return run;
  }

  // Polls the label without a message: Setup does not pump inside a step.
  void WaitStatus(const Installing& run, const std::string& text) {
    std::string last;
    const bool shown = e2e::WaitUntil(
        [&] {
          last = e2e::PeekText(run.status);
          return last == text;
        },
        kDialogTimeout, 2);
    if (!shown) {
      throw e2e::DriverError("the status still reads \"" + last + "\", not \"" + text + "\"");
    }
  }

  // Posts Cancel so that Setup takes it at `point`. A posted click waits for
  // the next pump, which comes right after the next status is shown.
  void CancelAt(const Installing& run, int point, const std::string& destination) {
    if (point == kMenuPoint) {
      CancelOnceServicesAreRegistered(run);
      return;
    }
    if (point > 0) {
      WaitStatus(run, PointStatus(point - 1, destination));
      // Past the previous point's own pump, well inside its 100 ms pause.
      ::Sleep(20);
    }
    e2e::Click(run.cancel);
  }

  // Setup pumps all the while it waits for the service programs, so a click
  // during "Registering services" is taken there. After the monitor
  // program's end Setup closes its handle to it and pumps no more until the
  // next status: the click is to come in between. Setup's thread is held
  // while the monitor program ends, then let go in steps much shorter than
  // the way from that close to the next pump, and looked at between them.
  void CancelOnceServicesAreRegistered(const Installing& run) {
    WaitStatus(run, PointStatus(kServicesPoint, ""));
    e2e::UniqueHandle monitor;
    if (!e2e::WaitUntil(
            [&] {
              monitor = OpenRunningProgram(L"qvmonitor.exe", SYNCHRONIZE);
              return monitor != nullptr;
            },
            kDialogTimeout, 2)) {
      throw e2e::DriverError("qvmonitor.exe was never seen running");
    }
    // Setup's handle among them: it has the program's handle from its start.
    const ULONG handles = HandleCount(monitor.get());
    const e2e::UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE,
                                                ::GetWindowThreadProcessId(run.wizard, nullptr)));
    std::optional<ThreadHold> hold;
    hold.emplace(thread.get());
    // Should the program wait for Setup's windows (a message sent to all
    // windows), Setup is let go, and the moment is then likelier missed.
    if (::WaitForSingleObject(monitor.get(), 3000) != WAIT_OBJECT_0) {
      hold.reset();
      if (::WaitForSingleObject(monitor.get(), kDialogTimeout) != WAIT_OBJECT_0) {
        throw e2e::DriverError("qvmonitor.exe /install does not end");
      }
      hold.emplace(thread.get());
    }
    const ULONGLONG deadline = ::GetTickCount64() + kDialogTimeout;
    while (HandleCount(monitor.get()) >= handles) {
      if (::GetTickCount64() > deadline) {
        throw e2e::DriverError("Setup keeps its handle to the ended qvmonitor.exe");
      }
      hold->Step();
    }
    // Once the next status is up its pump may be over: a click then would
    // land on the Success page's Finish.
    if (e2e::PeekText(run.status) != PointStatus(kServicesPoint, "")) {
      throw TimingMissed("Setup went on to the next status before Cancel could be posted");
    }
    e2e::Click(run.cancel);
  }

  // Handles to the object open in all processes together.
  static ULONG HandleCount(HANDLE object) {
    PUBLIC_OBJECT_BASIC_INFORMATION info{};
    if (!NT_SUCCESS(::NtQueryObject(object, ObjectBasicInformation, &info, sizeof info, nullptr))) {
      throw e2e::DriverError("NtQueryObject cannot count the handles");
    }
    return info.HandleCount;
  }

  // The point whose status the label shows; -1 for none.
  static int PointShown(const Installing& run, const std::string& destination) {
    const std::string status = e2e::PeekText(run.status);
    for (int point = 0; point < kPointCount; ++point) {
      if (status == PointStatus(point, destination)) {
        return point;
      }
    }
    return -1;
  }

  static bool ShowsFinish(HWND button) {
    try {
      return e2e::PeekText(button) == "Finish";
    } catch (const e2e::DriverError&) {
      return false;  // the window is gone with Setup
    }
  }

  // Yes to the abort question: Setup ends by itself with 0, never showing
  // the Success page.
  void AnswerYesAndExpectEnd(const Installing& run, HWND question) {
    Answer(question, "&Yes");
    bool finishShown = false;
    e2e::WaitUntil(
        [&] {
          finishShown = finishShown || ShowsFinish(run.cancel);
          return !setup_.Running();
        },
        kExitTimeout);
    EXPECT_FALSE(finishShown) << "the Success page came after Yes";
    EXPECT_EQ(ExpectExit(), 0u);
  }

  // A picture while the steps are not pictured (of a failure, mostly).
  void ShotAnyway(const std::string& step) {
    stepShots_ = true;
    Shot(step);
    stepShots_ = false;
  }
};

using AbortSweep = Interruption;

// Every point × a new and an existing destination, one Setup after the
// other in the same prefix: each abort must leave the machine as it found it.
TEST_F(AbortSweep, YesAtEveryPointUndoesTheInstallationWithoutLoss) {
  const ULONGLONG started = ::GetTickCount64();
  stepShots_ = false;
  int lossless = 0;
  for (const bool existing : {false, true}) {
    const std::string kind = existing ? "existing" : "new";
    const std::string destination = existing ? "C:\\QuolvexSweep" : "C:\\QuolvexSweepNew";
    for (int point = 0; point < kPointCount; ++point) {
      bool held = false;
      bool missed = true;
      // A click taken a pump early or late is tried again, twice at most.
      for (int attempt = 1; attempt <= 3 && missed; ++attempt) {
        SCOPED_TRACE(kind + " destination, point " + std::to_string(point) + ", attempt " +
                     std::to_string(attempt));
        const int failures = FailureCount();
        missed = false;
        try {
          PrepareMachine(destination, existing);
          const MachineState before = Capture(destination);
          const Installing run = StartInstalling(destination);
          CancelAt(run, point, destination);
          const HWND question = WaitMessage("Information", kAbortQuestion);
          const int reached = PointShown(run, destination);
          if (reached != point) {
            missed = true;
            std::printf("abort point %d (%s destination): the question came at point %d\n", point,
                        kind.c_str(), reached);
          }
          // Whichever point it was, the abort must be lossless.
          AnswerYesAndExpectEnd(run, question);
          ExpectUnchanged(before, Capture(destination));
        } catch (const TimingMissed& error) {
          missed = true;
          std::printf("abort point %d (%s destination): %s\n", point, kind.c_str(), error.what());
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
        }
        held = !missed && FailureCount() == failures;
        if (FailureCount() != failures) {
          ShotAnyway(kind + "-point-" + std::to_string(point));
        }
        setup_.Terminate();
      }
      EXPECT_FALSE(missed) << kind << " destination: point " << point << " was never hit";
      lossless += held ? 1 : 0;
      RecordProperty(kind + "_point_" + std::to_string(point),
                     held ? "lossless" : (missed ? "not hit" : "failed"));
    }
  }
  stepShots_ = true;
  RecordProperty("sweep_seconds", static_cast<int>((::GetTickCount64() - started) / 1000));
  std::printf("abort points lossless: %d/%d\n", lossless, 2 * kPointCount);
  std::fflush(stdout);
  EXPECT_EQ(lossless, 2 * kPointCount);
}

// The sweep looks at the machine before each abort, the services among it,
// and under Wine that looking once hid a service left registered. Here
// nothing looks at the services before: a fresh machine, Cancel while the
// monitor's installer runs (the daemon's service registered, the monitor's
// on its way), and only afterwards each service asked for through a new
// connection to the control manager, and its key read.
TEST_F(AbortSweep, WhileServicesRegisterOnAMachineNobodyLookedAtNoServiceStays) {
  const std::string destination = "C:\\QuolvexUnseen";
  const Installing run = StartInstalling(destination);
  WaitStatus(run, PointStatus(kServicesPoint, destination));
  // Setup pumps while it waits for the installer, so the click is taken then.
  ASSERT_TRUE(
      e2e::WaitUntil([] { return OpenRunningProgram(L"qvmonitor.exe", SYNCHRONIZE) != nullptr; },
                     kDialogTimeout, 2))
      << "qvmonitor.exe was never seen running";
  e2e::Click(run.cancel);
  const HWND question = WaitMessage("Information", kAbortQuestion);
  EXPECT_EQ(PointShown(run, destination), kServicesPoint)
      << "the question came after the services were registered";
  AnswerYesAndExpectEnd(run, question);
  // A service program started before the abort could register its service
  // after Setup's end; what counts is the machine once none runs.
  for (const wchar_t* program : {L"qvdaemon.exe", L"qvmonitor.exe"}) {
    EXPECT_TRUE(e2e::WaitUntil([&] { return OpenRunningProgram(program, SYNCHRONIZE) == nullptr; },
                               kExitTimeout))
        << e2e::Narrow(program) << " still runs";
  }
  for (const char* service : kServiceNames) {
    EXPECT_FALSE(e2e::ServiceExists(service)) << service;
    EXPECT_FALSE(e2e::RegistryKeyExists(
        HKEY_LOCAL_MACHINE, std::string("SYSTEM\\CurrentControlSet\\Services\\") + service))
        << service;
  }
  EXPECT_FALSE(std::filesystem::exists(destination));
}

// Setup killed half-way: the next start undoes what the killed one changed,
// says so once, and then carries on as usual.
class CrashRecovery : public Interruption {
 protected:
  struct Kill {
    const char* when;
    int point;
    bool afterYes;  // killed during the roll-back of an abort at the point
    DWORD delayMs;
    // The user has the replaced qvdaemon.exe open while Setup starts again,
    // so that its original cannot be put back.
    bool daemonInUse = false;
  };

  static bool JournalLeft() {
    const std::vector<std::string> folders = JournalFolders();
    return std::any_of(folders.begin(), folders.end(), [](const std::string& folder) {
      return std::filesystem::exists(folder + "\\journal.txt");
    });
  }

  void KillAndStartAgain(const Kill& kill, const std::string& destination) {
    PrepareMachine(destination, true);
    const MachineState before = Capture(destination);
    const Installing run = StartInstalling(destination);
    if (kill.afterYes) {
      CancelAt(run, kill.point, destination);
      const HWND question = WaitMessage("Information", kAbortQuestion);
      EXPECT_EQ(PointShown(run, destination), kill.point);
      e2e::Click(Button(question, "&Yes"));
    } else {
      WaitStatus(run, PointStatus(kill.point, destination));
    }
    ::Sleep(kill.delayMs);
    setup_.Terminate();
    ASSERT_FALSE(setup_.Running());
    // A roll-back may have finished before the kill; then nothing is left to undo.
    const bool journalLeft = JournalLeft();
    EXPECT_TRUE(journalLeft || kill.afterYes) << "the installation keeps no journal";
    RecordProperty(std::string("killed ") + kill.when,
                   journalLeft ? "recovered" : "nothing left to recover");
    e2e::UniqueHandle daemon;
    if (kill.daemonInUse) {
      daemon.reset(::CreateFileA((destination + "\\qvdaemon.exe").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
      ASSERT_NE(daemon.get(), INVALID_HANDLE_VALUE);
    }

    StartSetup();
    const std::vector<e2e::WindowQuery> windows = {
        {"Information", kMessageClass}, {"Warning", kMessageClass}, {kCaption, kWizardClass}};
    auto [which, window] = e2e::WaitAnyWindow(windows, kStartTimeout, &setup_);
    if (journalLeft && kill.daemonInUse) {
      // A new installation would mix with what is left undone: Setup says
      // so and ends, and the next start, the file free again, finishes.
      ASSERT_EQ(which, 1u) << MessageText(window);
      EXPECT_EQ(MessageText(window).rfind("Setup was interrupted during an earlier "
                                          "installation and could not undo all of it.",
                                          0),
                0u)
          << MessageText(window);
      EXPECT_EQ(ButtonCaptions(window), std::vector<std::string>{"OK"});
      ShotAnyway("not-recovered");
      Answer(window, "OK");
      ExpectEndWithoutWizard(1603);
      daemon.reset();
      StartSetup();
      std::tie(which, window) = e2e::WaitAnyWindow(windows, kStartTimeout, &setup_);
    }
    if (journalLeft) {
      EXPECT_EQ(which, 0u) << MessageText(window);
      if (which != 2) {
        EXPECT_EQ(MessageText(window), kRecovered);
        EXPECT_EQ(ButtonCaptions(window), std::vector<std::string>{"OK"});
        ShotAnyway("recovered");
        Answer(window, "OK");
        std::tie(which, window) = e2e::WaitAnyWindow(windows, kStartTimeout, &setup_);
      }
    }
    ASSERT_EQ(which, 2u) << "instead of the wizard: " << MessageText(window);
    Answer(PressExit(window), "&Yes");
    EXPECT_EQ(ExpectExit(), 0u);
    ExpectUnchanged(before, Capture(destination));
  }
};

TEST_F(CrashRecovery, WhatAKilledSetupChangedIsUndoneAtTheNextStart) {
  stepShots_ = false;
  const Kill kills[] = {
      {"as the user's qvdaemon.exe is overwritten", 1, false, 5},
      {"while sms.txt is copied", 8, false, 30},
      {"once the services are registered", kMenuPoint, false, 0},
      {"at Yes", kServicesPoint, true, 0},
      {"10 ms into the roll-back", kServicesPoint, true, 10},
      {"30 ms into the roll-back", kServicesPoint, true, 30},
      {"while sms.txt is copied, the replaced file then in use", 8, false, 30, true},
  };
  for (const Kill& kill : kills) {
    SCOPED_TRACE(std::string("killed ") + kill.when);
    const int failures = FailureCount();
    try {
      KillAndStartAgain(kill, "C:\\QuolvexCrash");
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
    }
    if (FailureCount() != failures) {
      ShotAnyway("failed");
    }
    setup_.Terminate();
  }
}

// Setup takes journals only from their own folder, never from the temp
// folder, where any user may leave one for the next elevated start to
// "undo": this one would delete a file of the user's and put a library of
// the planter's choosing into the system folder.
TEST_F(CrashRecovery, AJournalLeftInTheTempFolderIsNeverActedOn) {
  const std::string planted = TempDirectory() + "QuolvexSetup-6B29FC40CA471067B31D00DD010662DA";
  WriteBytes(planted + "\\x.bin", std::string("MZ\x90\0planted", 11));
  WriteBytes(planted + "\\journal.txt",
             "Quolvex Setup journal 1\n"
             "r\tC:\\windows\\system32\\qvplanted.dll\tx.bin\t\n"
             "f\tC:\\keep.txt\t\t\n");
  std::ofstream("C:\\keep.txt", std::ios::binary) << "the user's own";
  InstallHost();
  StartSetup();
  const auto [which, window] = e2e::WaitAnyWindow({{kCaption, kWizardClass},
                                                   {"Information", kMessageClass},
                                                   {"Warning", kMessageClass},
                                                   {"Error", kMessageClass}},
                                                  kStartTimeout, &setup_);
  ASSERT_EQ(which, 0u) << "a message before the wizard: " << MessageText(window);
  Answer(PressExit(window), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
  EXPECT_FALSE(std::filesystem::exists("C:\\windows\\system32\\qvplanted.dll"));
  EXPECT_EQ(test::FileBytes("C:\\keep.txt"), "the user's own");
}

// A journal folder that others may change would let them choose what an
// elevated Setup restores or deletes: Setup reads nothing from it, says so
// and ends, here with a journal in it that would delete a file of the user's.
TEST_F(PreInstallChecks, AJournalFolderOthersMayChangeIsRefusedBeforeTheWizard) {
  InstallHost();
  const std::string root = JournalRoot();
  ASSERT_NO_FATAL_FAILURE(MakeDirectoryOthersMayChange(root));
  WriteBytes(root + "\\0000000001\\journal.txt", "Quolvex Setup journal 1\nf\tC:\\keep.txt\t\t\n");
  std::ofstream("C:\\keep.txt", std::ios::binary) << "the user's own";
  const auto before = test::DirectorySnapshot(root);
  StartSetup();
  const auto [which, window] = e2e::WaitAnyWindow({{"Error", kMessageClass},
                                                   {kCaption, kWizardClass},
                                                   {"Information", kMessageClass},
                                                   {"Warning", kMessageClass}},
                                                  kStartTimeout, &setup_);
  ASSERT_EQ(which, 0u) << "instead of the error: " << e2e::DescribeWindow(window) << " "
                       << MessageText(window);
  const std::string text = MessageText(window);
  EXPECT_NE(text.find("Quolvex Setup"), std::string::npos) << text;
  EXPECT_NE(Lower(text).find(kOthersMayChange), std::string::npos) << text;
  EXPECT_EQ(ButtonCaptions(window), std::vector<std::string>{"OK"});
  Shot("journal-folder-refused");
  Answer(window, "OK");
  ExpectEndWithoutWizard(1603);
  EXPECT_EQ(test::DirectorySnapshot(root), before);
  EXPECT_EQ(test::FileBytes("C:\\keep.txt"), "the user's own");
  EXPECT_FALSE(std::filesystem::exists("C:\\Program Files\\QuolvexAntivirus"));
  EXPECT_FALSE(e2e::RegistryKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

// --- Uninstallation -------------------------------------------------------------

constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus";
constexpr char kUninstallCaption[] = "Quolvex Antivirus 5.0 Uninstall";

class Uninstallation : public SetupScenario {
 protected:
  static constexpr char kDestination[] = "C:\\Program Files\\QuolvexAntivirus";

  // What an administrator compares: the destination and the program menu,
  // the services, and the whole of HKLM\SOFTWARE (the product's entry in
  // the list of installed programs among it) with the service keys.
  static MachineState Whole() {
    MachineState state = Capture(kDestination);
    for (const auto& [name, value] : e2e::RegistrySnapshot(HKEY_LOCAL_MACHINE, "SOFTWARE")) {
      state.registry["HKLM\\SOFTWARE" + name] = value;
    }
    return state;
  }

  void Install(bool again) {
    InstallHost();
    StartSetup();
    if (again)
      Answer(WaitMessage("Warning", kAlreadyInstalled, kStartTimeout), "&Yes");
    const HWND wizard = WaitWizard(again ? kWizardTimeout : kStartTimeout);
    WalkToDestinationPage(wizard);
    e2e::Click(Button(wizard, "Next >"));
    ASSERT_NO_FATAL_FAILURE(WaitSuccess(wizard));
    e2e::Click(Button(wizard, "Finish"));
    ASSERT_EQ(ExpectExit(), 0u);
    ASSERT_TRUE(e2e::ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"))
        << "no entry in the list of installed programs";
  }

  // The uninstaller as the list of installed programs starts it; with
  // `confirm`, the question is answered Yes and the closing message read.
  DWORD Uninstall(bool confirm, std::string* closing = nullptr) {
    const std::string program = std::string(kDestination) + "\\uninstall.exe";
    e2e::Process run = e2e::Launch(program, kDestination, confirm ? "" : "/quiet");
    if (confirm) {
      const HWND question = e2e::WaitWindow(kUninstallCaption, "#32770", kStartTimeout, &run);
      Shot("uninstall-question");
      e2e::Click(e2e::RequireControl(question, "Button", "&Yes"));
      e2e::WaitWindowGone(question, kDialogTimeout);
      const HWND done = e2e::WaitWindow(kUninstallCaption, "#32770", 60000, &run);
      Shot("uninstalled");
      if (closing != nullptr)
        *closing = MessageText(done);
      e2e::Click(e2e::RequireControl(done, "Button", "OK"));
    }
    const auto code = e2e::WaitExit(run, 60000);
    EXPECT_TRUE(code.has_value()) << "uninstall.exe still runs";
    return code.value_or(e2e::kTerminatedExitCode);
  }

  // The uninstaller hands its own removal to a copy of itself that runs on
  // after it: done once the uninstaller and its record are gone.
  static void WaitSelfRemoval() {
    const std::string d = kDestination;
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
          return !std::filesystem::exists(d + "\\uninstall.exe") &&
                 !std::filesystem::exists(d + "\\install.rec");
        },
        kExitTimeout))
        << "uninstall.exe or install.rec is still there";
    ::Sleep(1000);  // the copy removes the folders last
  }

  // The machine once the uninstaller is done. A folder that held the
  // running uninstaller may only go at the next restart (Wine keeps the
  // image of a process that started another in use until that one ends):
  // empty and marked for deletion then, it counts as gone.
  static MachineState WholeAfterRemoval() {
    MachineState state = Whole();
    const std::string folder = std::string(kDestination) + "\\";
    const bool empty = std::none_of(state.things.begin(), state.things.end(), [&](const auto& t) {
      return t.first.size() > folder.size() && t.first.rfind(folder, 0) == 0;
    });
    if (state.things.count(folder) != 0 && empty && MarkedForRestart(kDestination))
      state.things.erase(folder);
    return state;
  }

  // SHA-256 in lower-case hex, as the install record holds it.
  static std::string Sha256Hex(const std::string& bytes) {
    struct Provider {
      HCRYPTPROV handle = 0;
      ~Provider() {
        if (handle != 0)
          ::CryptReleaseContext(handle, 0);
      }
    } provider;
    struct Hash {
      HCRYPTHASH handle = 0;
      ~Hash() {
        if (handle != 0)
          ::CryptDestroyHash(handle);
      }
    } hash;
    BYTE digest[32] = {};
    DWORD size = sizeof digest;
    if (!::CryptAcquireContextW(&provider.handle, nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(provider.handle, CALG_SHA_256, 0, 0, &hash.handle) ||
        !::CryptHashData(hash.handle, reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size()), 0) ||
        !::CryptGetHashParam(hash.handle, HP_HASHVAL, digest, &size, 0)) {
      throw e2e::DriverError("SHA-256: " + e2e::ErrorText(::GetLastError()));
    }
    std::string hex;
    for (const BYTE b : digest) {
      hex += "0123456789abcdef"[b >> 4];
      hex += "0123456789abcdef"[b & 0xF];
    }
    return hex;
  }

  // A service of someone else's, never started.
  static void RegisterBystanderService() {
    const auto close = [](SC_HANDLE h) { ::CloseServiceHandle(h); };
    std::unique_ptr<SC_HANDLE__, decltype(close)> manager(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE), close);
    std::unique_ptr<SC_HANDLE__, decltype(close)> service(
        manager ? ::CreateServiceW(manager.get(), L"Bystander", L"Bystander", SERVICE_QUERY_STATUS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_NORMAL, L"C:\\windows\\system32\\notepad.exe",
                                   nullptr, nullptr, nullptr, nullptr, nullptr)
                : nullptr,
        close);
    ASSERT_TRUE(service) << e2e::ErrorText(::GetLastError());
  }

  static bool MarkedForRestart(const std::string& path) {
    const auto pending = e2e::ReadRegistryValue(
        HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
        "PendingFileRenameOperations");
    if (!pending.has_value())
      return false;
    const std::string entry = std::string("\\??\\") + path + '\0';
    return pending->data.find(entry) != std::string::npos;
  }
};

// A fresh machine, an installation, the daemon running, the administrator's
// own sms.txt and a log: after the uninstaller everything is as before the
// installation, save the two files the user made.
TEST_F(Uninstallation, LeavesTheMachineAsItWasSaveWhatTheUserChanged) {
  InstallHost();
  const MachineState before = Whole();
  ASSERT_NO_FATAL_FAILURE(Install(false));
  const std::string d = kDestination;
  WriteBytes(d + "\\sms.txt", "+4912345");
  WriteBytes(d + "\\logs\\2026-12-09.log", "scanned 3 messages");
  e2e::StartServiceAndWait("Quolvex", kDialogTimeout);
  std::string closing;
  const ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(Uninstall(true, &closing), 0u);
  WaitSelfRemoval();
  std::printf("uninstall: %llu ms from start to the closing message's end and self-removal\n",
              ::GetTickCount64() - started);
  EXPECT_NE(closing.find("sms.txt"), std::string::npos) << closing;

  MachineState after = WholeAfterRemoval();
  std::vector<std::string> kept;
  for (auto it = after.things.begin(); it != after.things.end();) {
    if (it->first.rfind(d + "\\", 0) == 0) {
      kept.push_back(it->first.substr(d.size()));
      it = after.things.erase(it);
    } else {
      ++it;
    }
  }
  EXPECT_EQ(kept,
            (std::vector<std::string>{"\\", "\\logs/", "\\logs/2026-12-09.log", "\\sms.txt"}));
  ExpectUnchanged(before, after);
}

// The removal as a fresh machine sees it: nothing has asked the control
// manager about either service since Setup registered them, and afterwards
// neither the manager nor the registry knows them.
TEST_F(Uninstallation, NoServiceOutlivesTheRemovalOfAnInstallationNobodyLookedAt) {
  ASSERT_NO_FATAL_FAILURE(Install(false));
  EXPECT_EQ(Uninstall(false), 0u);
  WaitSelfRemoval();
  for (const char* key : {kServiceKey, kMonitorKey})
    EXPECT_FALSE(e2e::RegistryKeyExists(HKEY_LOCAL_MACHINE, key)) << key;
  for (const char* service : kServiceNames)
    EXPECT_FALSE(e2e::ServiceExists(service)) << service;
}

// Two installations one over the other, then one removal: nothing of
// either stays.
TEST_F(Uninstallation, AfterASecondInstallationOverTheFirstNothingStays) {
  InstallHost();
  const MachineState before = Whole();
  ASSERT_NO_FATAL_FAILURE(Install(false));
  ASSERT_NO_FATAL_FAILURE(Install(true));
  EXPECT_EQ(Uninstall(false), 0u);
  WaitSelfRemoval();
  ExpectUnchanged(before, WholeAfterRemoval());
}

// Without its record, with a damaged one, or with one whose checksum holds
// but that names what is not the product's, the uninstaller cannot know
// what is the product's: it says so and removes nothing.
TEST_F(Uninstallation, AMissingOrDamagedRecordRemovesNothing) {
  ASSERT_NO_FATAL_FAILURE(Install(false));
  const std::string record = std::string(kDestination) + "\\install.rec";
  const std::string written = test::FileBytes(record);

  // Bystanders named in the record, the checksum made to match: a service,
  // a value, a file outside the destination and one reached through "..".
  const std::string bystanders[] = {"C:\\bystander.txt", "C:\\bystander2.txt"};
  for (const std::string& file : bystanders)
    std::ofstream(file, std::ios::binary) << "not the product's: " << file;
  e2e::WriteRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bystander", "X", e2e::TextValue("kept"));
  ASSERT_NO_FATAL_FAILURE(RegisterBystanderService());
  const std::string body =
      written.substr(0, written.rfind("checksum\t")) + "service\tBystander\r\n" +
      "value\tSOFTWARE\\Bystander\tX\r\n" + "file\t" + bystanders[0] + "\t" +
      Sha256Hex(test::FileBytes(bystanders[0])) + "\r\n" + "file\t" + kDestination +
      "\\..\\..\\bystander2.txt\t" + Sha256Hex(test::FileBytes(bystanders[1])) + "\r\n";
  WriteBytes(record, body + "checksum\t" + Sha256Hex(body) + "\r\n");
  const MachineState forged = Whole();
  EXPECT_EQ(Uninstall(false), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
  ExpectUnchanged(forged, Whole());
  for (const std::string& file : bystanders)
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
  EXPECT_TRUE(e2e::ServiceExists("Bystander"));

  std::string bytes = written;
  bytes[bytes.size() / 2] ^= 0x20;
  WriteBytes(record, bytes);
  const MachineState damaged = Whole();
  EXPECT_NE(Uninstall(false), 0u);
  ExpectUnchanged(damaged, Whole());
  std::filesystem::remove(record);
  const MachineState missing = Whole();
  EXPECT_NE(Uninstall(false), 0u);
  ExpectUnchanged(missing, Whole());
}

// Under a drive root, whose rights let every user change what is made in
// it, the destination and what Setup writes carry rights of their own.
// Wine keeps no descriptors: it reads back SYSTEM, the owner, and Everyone
// when the Unix mode lets others read, so "Everyone is granted nothing" is
// what shows there that Setup's own rights were applied.
TEST_F(Installation, UnderADriveRootNothingInstalledTakesTheRootsRights) {
  const HWND wizard = OpenWizardAtDestination();
  ASSERT_FALSE(HasFatalFailure());
  const std::string dest = "C:\\QuolvexAntivirus";
  StartInstallation(wizard, dest);
  ASSERT_NO_FATAL_FAILURE(WaitSuccess(wizard));
  ASSERT_NE(test::DaclText("C:\\").find(";;;WD)"), std::string::npos) << test::DaclText("C:\\");
  for (const char* name : {"", "\\logs", "\\qvdaemon.exe", "\\sms.txt", "\\readme.txt"}) {
    const std::string list = test::DaclText(dest + name);
    EXPECT_FALSE(list.empty()) << name << ": unreadable";
    EXPECT_EQ(list.find(";;;WD)"), std::string::npos) << name << ": " << list;
    EXPECT_EQ(list.find(";;;AU)"), std::string::npos) << name << ": " << list;
  }
  e2e::Click(Button(wizard, "Finish"));
  EXPECT_EQ(ExpectExit(), 0u);
}

// --- Unattended installation ---------------------------------------------------

// Setup started by a deployment tool, with nobody at the screen: the
// machine it leaves, its exit code, its log, and what it shows meanwhile.
class Unattended : public Uninstallation {
 protected:
  // Runs Setup with `arguments` to its end and returns its exit code;
  // `look` is called every few milliseconds meanwhile.
  DWORD RunToEnd(const std::string& arguments, const std::function<void()>& look) {
    setup_ = e2e::Launch(setupExe_, DirectoryOf(setupExe_), arguments);
    e2e::WaitUntil(
        [&] {
          look();
          return !setup_.Running();
        },
        60000, 2);
    return ExpectExit(kDialogTimeout);
  }

  // As RunToEnd, and in `shown` the first visible window of Setup's seen, if any.
  DWORD RunUnseen(const std::string& arguments, std::string& shown) {
    shown.clear();
    return RunToEnd(arguments, [&] {
      for (HWND window : e2e::TopLevelWindowsOf(setup_.Id())) {
        if (shown.empty())
          shown = e2e::DescribeWindow(window);
      }
    });
  }

  // A shortcut keeps the file times of the folders and the file on its way
  // to the target: two installations' shortcuts differ in those bytes
  // alone. Compared is what the shell reads from them.
  static MachineState WholeByShortcutMeaning() {
    MachineState state = Whole();
    for (auto& [name, bytes] : state.things) {
      if (Lower(name).ends_with(".lnk")) {
        const e2e::ShortcutInfo link = e2e::ReadShortcut(name);
        bytes = link.target + "|" + link.arguments + "|" + link.workingDirectory + "|" +
                link.description;
      }
    }
    return state;
  }

  // The log's lines without their line ends.
  static std::vector<std::string> LogLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // "YYYY-MM-DD HH:MM:SS.mmm " before every line's text.
  static constexpr size_t kTimeLength = 24;
  static bool StartsWithTime(const std::string& line) {
    constexpr char kShape[] = "0000-00-00 00:00:00.000 ";
    if (line.size() < kTimeLength)
      return false;
    for (size_t i = 0; i < kTimeLength; ++i) {
      const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
      if (kShape[i] == '0' ? !digit : line[i] != kShape[i])
        return false;
    }
    return true;
  }
  static std::string TextOf(const std::string& line) {
    return line.size() < kTimeLength ? line : line.substr(kTimeLength);
  }
  static bool LogHasLineStarting(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return TextOf(l).rfind(start, 0) == 0; });
  }
  static bool LogMentions(const std::string& path, const std::string& text) {
    const auto lines = LogLines(path);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }

  static std::string Today() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char date[16];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return date;
  }

  // The visible windows below `parent`, children of children included. A
  // hidden window's children count as hidden.
  static std::vector<HWND> VisibleDescendants(HWND parent) {
    std::vector<HWND> found;
    for (HWND child = ::FindWindowExW(parent, nullptr, nullptr, nullptr); child != nullptr;
         child = ::FindWindowExW(parent, child, nullptr, nullptr)) {
      if (!::IsWindowVisible(child))
        continue;
      found.push_back(child);
      const auto inner = VisibleDescendants(child);
      found.insert(found.end(), inner.begin(), inner.end());
    }
    return found;
  }
};

TEST_F(Unattended, QuietInstallsWhatTheWizardInstallsWithoutAnyWindow) {
  // What the wizard makes, taken and undone again, is what the quiet run must make.
  InstallHost();
  const MachineState before = Whole();
  ASSERT_NO_FATAL_FAILURE(Install(false));
  const MachineState byWizard = WholeByShortcutMeaning();
  ASSERT_EQ(Uninstall(false), 0u);
  WaitSelfRemoval();
  ExpectUnchanged(before, WholeAfterRemoval());
  // The uninstaller's folder may wait, empty, for the next restart; the
  // quiet run is to find the machine the wizard found.
  std::error_code missing;
  if (std::filesystem::is_empty(kDestination, missing))
    RemoveAll(kDestination);
  ASSERT_FALSE(HasFailure()) << "the machine is not as before the wizard's installation";

  const std::string log = "C:\\quiet.log";
  const std::string day = Today();
  std::string shown;
  EXPECT_EQ(RunUnseen("/quiet /accepteula /log=" + log, shown), 0u);
  EXPECT_EQ(shown, "") << "a window of the quiet Setup was on the screen";
  ExpectUnchanged(byWizard, WholeByShortcutMeaning());

  const auto lines = LogLines(log);
  ASSERT_FALSE(lines.empty()) << log;
  for (const std::string& line : lines)
    EXPECT_TRUE(StartsWithTime(line)) << line;
  // Local time, as the administrator reads it; either day, should the run pass midnight.
  EXPECT_TRUE(lines.front().rfind(day, 0) == 0 || lines.front().rfind(Today(), 0) == 0)
      << lines.front();
  EXPECT_NE(TextOf(lines.front()).find("version 5.0"), std::string::npos) << lines.front();
  const std::string daemon = std::string(kDestination) + "\\qvdaemon.exe";
  const std::string bytes = test::FileBytes(daemon);
  EXPECT_TRUE(LogHasLineStarting(lines, "Wrote " + daemon + " (" + std::to_string(bytes.size()) +
                                            " bytes, SHA-256 " + Sha256Hex(bytes) + ")"))
      << "no line for the daemon with its size and hash";
  for (const std::string start :
       {"Command line: ", "Destination: C:\\Program Files\\QuolvexAntivirus", "Wrote value HKLM\\",
        "Registering service Quolvex:", "Registering service QuolvexMonitor:",
        "Created shortcut "}) {
    EXPECT_TRUE(LogHasLineStarting(lines, start)) << "no line starting \"" << start << "\"";
  }
  EXPECT_EQ(TextOf(lines.back()), "Exit code 0");

  EXPECT_EQ(Uninstall(false), 0u);
  WaitSelfRemoval();
  ExpectUnchanged(before, WholeAfterRemoval());
}

// Each refusal ends with the code a deployment tool reads, changes nothing
// and, in a quiet run, shows nothing.
TEST_F(Unattended, RefusalsEndWithTheirCodesAndChangeNothing) {
  std::string shown;
  RemoveHost();
  MachineState before = Whole();
  EXPECT_EQ(RunUnseen("/quiet /accepteula /log=C:\\nohost.log", shown),
            static_cast<DWORD>(ERROR_INSTALL_FAILURE));
  EXPECT_EQ(shown, "") << "without the mail server";
  EXPECT_TRUE(LogMentions("C:\\nohost.log", kHostMissing));
  ExpectUnchanged(before, Whole());

  InstallHost();
  before = Whole();
  for (const std::string mode : {"/quiet", "/passive"}) {
    SCOPED_TRACE(mode + " without /accepteula");
    const std::string log = "C:\\noeula-" + mode.substr(1) + ".log";
    EXPECT_EQ(RunUnseen(mode + " /log=" + log, shown), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // The command line does not name it: only the reason can.
    EXPECT_TRUE(LogMentions(log, "/accepteula")) << "the log does not say why";
  }
  EXPECT_EQ(RunUnseen("/quiet /bogus /log=C:\\bogus.log", shown),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(shown, "") << "with an unknown switch";
  EXPECT_TRUE(LogMentions("C:\\bogus.log", "/bogus"));

  // At the screen, /? lists the switches.
  setup_ = e2e::Launch(setupExe_, DirectoryOf(setupExe_), "-?");
  const HWND usage = e2e::WaitWindow("Information", kMessageClass, kStartTimeout, &setup_);
  const std::string text = MessageText(usage);
  for (const char* item : {"/quiet", "/passive", "/accepteula", "/dir=PATH", "/log=PATH"})
    EXPECT_NE(text.find(item), std::string::npos) << item << " is not listed:\n" << text;
  Shot("switches");
  Answer(usage, "OK");
  EXPECT_EQ(ExpectExit(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ExpectUnchanged(before, Whole());

  // A quiet Setup while one at the screen waits in its wizard.
  StartSetup();
  const HWND wizard = WaitWizard(kStartTimeout);
  before = Whole();
  e2e::Process first = std::move(setup_);
  EXPECT_EQ(RunUnseen("/quiet /accepteula /log=C:\\second.log", shown),
            static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING));
  EXPECT_EQ(shown, "") << "beside a running Setup";
  ExpectUnchanged(before, Whole());
  setup_ = std::move(first);
  EXPECT_EQ(FindWizard(), wizard) << "the first Setup carries on";
  Answer(PressExit(wizard), "&Yes");
  EXPECT_EQ(ExpectExit(), 0u);
}

TEST_F(Unattended, PassiveShowsProgressAndAsksNothing) {
  InstallHost();
  const std::string dest = "C:\\QuolvexPassive";
  const std::string defaultLog = TempDirectory() + "QuolvexSetup.log";
  std::string asked;
  bool backgroundSeen = false;
  bool welcomeSeen = false;
  std::string copying;
  DWORD_PTR position = 0;
  const DWORD code = RunToEnd("/passive /accepteula /dir=" + dest, [&] {
    for (HWND window : e2e::TopLevelWindowsOf(setup_.Id())) {
      const std::string name = e2e::ClassNameOf(window);
      if (asked.empty() && (name == kMessageClass || name == "#32770"))
        asked = e2e::DescribeWindow(window);
    }
    backgroundSeen = backgroundSeen || FindBackground() != nullptr;
    const HWND wizard = FindWizard();
    if (wizard == nullptr)
      return;
    // Read without waiting for Setup, which does not answer while a step runs.
    try {
      for (HWND control : VisibleDescendants(wizard)) {
        const std::string name = e2e::ClassNameOf(control);
        const std::string text = name == "Static" ? e2e::PeekText(control) : "";
        welcomeSeen = welcomeSeen || text == "Press next to continue installation process";
        if (text.rfind("Copying file: " + dest + "\\", 0) == 0)
          copying = text;
        DWORD_PTR now = 0;
        if (name == "msctls_progress32" &&
            ::SendMessageTimeoutW(control, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 50, &now) != 0)
          position = std::max(position, now);
      }
    } catch (const e2e::DriverError&) {
      return;  // gone with Setup's end
    }
    if (!copying.empty() && position > 0 && shots_ == 0)
      Shot("installing");
  });
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(asked, "") << "a message came up";
  EXPECT_TRUE(backgroundSeen);
  EXPECT_FALSE(welcomeSeen) << "the wizard showed its Welcome page";
  EXPECT_NE(copying, "") << "no file's copy was seen on the Installing page";
  EXPECT_GT(position, 0u) << "the progress bar never moved";
  ExpectInstalled(dest);
  ExpectConfigured(dest);
  const auto lines = LogLines(defaultLog);
  ASSERT_FALSE(lines.empty()) << "no log in " << defaultLog;
  EXPECT_EQ(TextOf(lines.back()), "Exit code 0");
}

// --- The shipped file ----------------------------------------------------------

class SetupFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = Env("QV_SETUP_EXE");
    if (path_.empty())
      GTEST_SKIP() << "QV_SETUP_EXE is not set";
  }
  std::string VersionString(const std::vector<char>& info, const char* name) {
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr) {
      return {};
    }
    return value;
  }
  std::string path_;
};

// The shipped Setup.exe is the 32-bit build; the 64-bit build of the same
// sources is tested under 64-bit Wine, so each is checked against its own
// architecture (the driver is built beside it).
TEST_F(SetupFile, IsAGuiProgramOfTheBuildsArchitectureWithoutDllsOfItsOwn) {
  HMODULE image = ::LoadLibraryExA(path_.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(image, nullptr);
  const auto* base = reinterpret_cast<const unsigned char*>(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine,
            sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  // Every imported DLL is one of the system's.
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    names.push_back(name);
  }
  // The DLLs it imports are looked for in System32 only, from the first: the
  // load configuration says so, read by the loader before any code runs.
  const IMAGE_DATA_DIRECTORY& loadConfig =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
  ASSERT_GT(nt->OptionalHeader.NumberOfRvaAndSizes, DWORD{IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG});
  ASSERT_NE(loadConfig.VirtualAddress, 0u) << "no load configuration";
  const auto* config =
      reinterpret_cast<const IMAGE_LOAD_CONFIG_DIRECTORY*>(base + loadConfig.VirtualAddress);
  // The loader may ignore a load configuration whose two sizes differ.
  EXPECT_EQ(config->Size, loadConfig.Size);
  ASSERT_GE(config->Size, offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) + sizeof(WORD));
  EXPECT_EQ(config->Reserved1, LOAD_LIBRARY_SEARCH_SYSTEM32) << "DependentLoadFlags";
  // A SafeSEH table naming no handler would end the process at any exception.
  EXPECT_EQ(config->SEHandlerTable, 0u);
  // The load configuration is written into the linked image: a checksum the
  // linker gave it must still hold (zero is none, never checked).
  DWORD stored = 0, computed = 0;
  EXPECT_EQ(::MapFileAndCheckSumA(path_.c_str(), &stored, &computed), DWORD{CHECKSUM_SUCCESS});
  EXPECT_TRUE(stored == 0 || stored == computed) << stored << " in the header, " << computed;
  ::FreeLibrary(image);
  const std::vector<std::string> system = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                           "advapi32.dll", "ole32.dll",   "shell32.dll",
                                           "msvcrt.dll",   "comctl32.dll"};
  for (const std::string& name : names) {
    EXPECT_NE(std::find(system.begin(), system.end(), name), system.end()) << name;
  }
}

TEST_F(SetupFile, CarriesItsVersionAndAnAdministratorManifest) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path_.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoA(path_.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, "ProductName"), "Quolvex Antivirus");
  EXPECT_EQ(VersionString(info, "ProductVersion"), "5.0");
  EXPECT_EQ(VersionString(info, "FileDescription"), "Setup");

  HMODULE image = ::LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC resource = ::FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(resource, nullptr) << "no manifest";
  const char* text = static_cast<const char*>(::LockResource(::LoadResource(image, resource)));
  const std::string manifest(text, ::SizeofResource(image, resource));
  ::FreeLibrary(image);
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

}  // namespace
