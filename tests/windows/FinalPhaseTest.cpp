// The install sequence's final phase against the real (Wine) registry,
// service control manager and shell links: configuration defaults, service
// registration (with a probe program standing in for the installers, and
// with the real service programs) and the program-menu shortcuts, driven
// through the installation engine alone: no window takes part.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DirectorySnapshot.h"
#include "ShellLinkReader.h"
#include "TestSupport.h"
#include "win32/Registry.h"
#include "install/RunAndWait.h"
#include "core/InstallRecord.h"
#include "core/Sha256.h"
#include "install/InstallEngine.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettingsKey = "SOFTWARE\\Quolvex";
constexpr const char* kDaemonKey = "SYSTEM\\CurrentControlSet\\Services\\Quolvex";
constexpr const char* kMonitorKey = "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor";
constexpr const char* kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

using Value = StoredValue;

Value Read(const std::string& key, const std::string& name) {
  return ReadMachineValue(key, name);
}

DWORD Number(const Value& value) {
  DWORD number = 0;
  if (value.data.size() == sizeof number)
    memcpy(&number, value.data.data(), sizeof number);
  return number;
}

Value Text(const std::string& text) {
  return StoredText(text);
}

Value Dword(DWORD number) {
  return StoredNumber(number);
}

void Write(const std::string& key, const std::string& name, const Value& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(handle, name.c_str(), 0, value.type,
                   reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
  ::RegCloseKey(handle);
}

void DeleteValue(const std::string& key, const std::string& name) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &handle) ==
      ERROR_SUCCESS) {
    ::RegDeleteValueA(handle, name.c_str());
    ::RegCloseKey(handle);
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The payload directory as Wine sees it (QV_PAYLOAD_DIR may be a Unix path).
fs::path PayloadDirectory() {
  char buffer[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("QV_PAYLOAD_DIR", buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return {};
  std::string dir(buffer, length);
  if (dir.front() == '/') {
    for (char& c : dir) {
      if (c == '/')
        c = '\\';
    }
    dir = "Z:" + dir;
  }
  return dir;
}

class FinalPhase : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    root_ = fs::path("C:\\qvfinal-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(root_);
    dest_ = root_ / "Quolvex Antivirus";
    fs::create_directories(dest_);
    ForgetInstallation();
    savedPrograms_ = Read(kShellFolders, "Common Programs");
    w = std::make_unique<Installer>();
    w->destination = dest_.string();
  }
  void TearDown() override {
    w.reset();
    ShellTest::TearDown();
    if (savedPrograms_.exists)
      Write(kShellFolders, "Common Programs", savedPrograms_);
    ForgetInstallation();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The probe program under the installers' names in the destination.
  void PlantProbes() {
    fs::copy_file(ProbeProgramPath(), dest_ / "qvdaemon.exe");
    fs::copy_file(ProbeProgramPath(), dest_ / "qvmonitor.exe");
  }
  std::vector<std::string> ProbeRuns() const { return Lines(FileBytes(dest_ / "run-probe.log")); }
  std::string ProbeLine(const std::string& program) const {
    return program + "|/install /silent|" + dest_.string() + "|0";
  }

  // The engine with the destination as the wizard's edit field would give
  // it; the user's turn is the shell's message pumping, and Cancel never
  // stands.
  struct Installer : TInstallProgress, TInstallCancel {
    void StatusChanged(const std::string&) override {}
    void ProgressChanged(int) override {}
    // The user's turns are counted; from turn cancelFromTurn on (none when
    // 0) the request to leave stands, as after a confirmed abort.
    void LetUserAct() override {
      ++turns;
      Application->PumpMessages();
    }
    bool Cancelled() const override {
      ++questions;
      return (cancelFromTurn > 0 && turns >= cancelFromTurn) ||
             (cancelFromQuestion > 0 && questions >= cancelFromQuestion);
    }
    void WriteDefaultSettings() { engine.WriteDefaultSettings(); }
    void RegisterServices() { engine.RegisterServices(DestinationFromText(destination)); }
    void CreateProgramMenu() { engine.CreateProgramMenu(DestinationFromText(destination)); }

    std::string destination;
    int turns = 0;
    int cancelFromTurn = 0;
    // From this question on (none when 0), as when the abort is confirmed
    // in the pumping while a service installer runs.
    mutable int questions = 0;
    int cancelFromQuestion = 0;
    TInstallEngine engine{*this, *this};
  };

  fs::path root_;
  fs::path dest_;
  Value savedPrograms_;
  std::unique_ptr<Installer> w;
};

// ---- Configuration defaults ----

struct Default {
  const char* name;
  Value value;
};
const Default kDefaults[] = {
    {"Codepage", Text("windows-1251")},
    {"Trusted", Text("")},
    {"TrustedIP", Text("")},
    {"MailboxList", Text("main.mbx")},
    {"WebPath", Text("")},
    {"KillFile", Text("")},
    {"ScannerHost", Text("127.0.0.1")},
    {"WapPath", Text("")},
    {"Codeword", Text("")},
    {"Keywords", Text("failed, invalid, bogus, rdeliver, ERR")},
    {"MonitorExecPath", Text("")},
    {"IgnoreMbxAfter", Dword(0x800)},
    {"ScannerPort", Dword(0xD39)},
    {"WholeLimit", Dword(0x20000)},
    {"Base64Limit", Dword(0x10000)},
    {"EventReload", Dword(5000)},
    {"DSizeLimit", Dword(0x200000)},
    {"ViewKeyLog", Dword(0)},
    {"MbxEnabled", Dword(0)},
    {"RestrictBulk", Dword(0)},
    {"BulkMax", Dword(10)},
    {"BulkInterval", Dword(0)},
    {"BulkPause", Dword(2)},
    {"MinThreads", Dword(1)},
    {"MaxThreads", Dword(0)},
    {"MaxQueue", Dword(2)},
    {"CPULimit", Dword(10)},
    {"PurgeLogsAfterDays", Dword(0x20000)},
    {"MonitorInterval", Dword(0xEA60)},
};

DWORD ValueCount(const char* key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return 0;
  DWORD count = 0;
  ::RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
  ::RegCloseKey(handle);
  return count;
}

TEST_F(FinalPhase, OnAnEmptyMachineEveryDefaultIsWrittenWithItsType) {
  w->WriteDefaultSettings();
  EXPECT_EQ(ValueCount(kSettingsKey), 29u);
  for (const Default& d : kDefaults)
    EXPECT_EQ(Read(kSettingsKey, d.name), d.value) << d.name;
}

TEST_F(FinalPhase, ExistingValuesOfAnyTypeAreKeptAndOnlyMissingOnesAdded) {
  Write(kSettingsKey, "ScannerPort", Dword(4000));
  Write(kSettingsKey, "Trusted", Text("mail.example.org"));
  Write(kSettingsKey, "BulkMax", Text("twenty"));
  Write(kSettingsKey, "Codepage", {true, REG_BINARY, "\x01\x02"});
  w->WriteDefaultSettings();
  EXPECT_EQ(Read(kSettingsKey, "ScannerPort"), Dword(4000));
  EXPECT_EQ(Read(kSettingsKey, "Trusted"), Text("mail.example.org"));
  EXPECT_EQ(Read(kSettingsKey, "BulkMax"), Text("twenty")) << "a string stays a string";
  EXPECT_EQ(Read(kSettingsKey, "Codepage"), (Value{true, REG_BINARY, "\x01\x02"}));
  EXPECT_EQ(ValueCount(kSettingsKey), 29u);
  EXPECT_EQ(Read(kSettingsKey, "MonitorInterval"), Dword(60000));
  EXPECT_EQ(Read(kSettingsKey, "ScannerHost"), Text("127.0.0.1"));
}

TEST_F(FinalPhase, ASecondRunChangesNothing) {
  w->WriteDefaultSettings();
  Write(kSettingsKey, "MaxThreads", Dword(8));  // the administrator's own choice
  std::vector<Value> before;
  for (const Default& d : kDefaults)
    before.push_back(Read(kSettingsKey, d.name));
  w->WriteDefaultSettings();
  for (size_t i = 0; i < std::size(kDefaults); ++i)
    EXPECT_EQ(Read(kSettingsKey, kDefaults[i].name), before[i]) << kDefaults[i].name;
  EXPECT_EQ(Number(Read(kSettingsKey, "MaxThreads")), 8u);
}

// ---- Starting a program and waiting for it ----

TEST_F(FinalPhase, RunAndWaitStartsWithTheShowStateAndReturnsTheExitCode) {
  const fs::path probe = dest_ / "probe.exe";
  fs::copy_file(ProbeProgramPath(), probe);
  const int expectedShow[] = {SW_SHOWNORMAL, SW_MINIMIZE, SW_SHOWMAXIMIZED, SW_HIDE};
  for (int state = 0; state < 4; ++state) {
    const std::string arguments = "/exit " + std::to_string(40 + state);
    EXPECT_EQ(RunAndWait(probe.string(), arguments, root_.string(), state), 40 + state);
    const std::vector<std::string> runs = ProbeRuns();
    ASSERT_EQ(runs.size(), static_cast<size_t>(state + 1));
    EXPECT_EQ(runs.back(), "probe.exe|" + arguments + "|" + root_.string() + "|" +
                               std::to_string(expectedShow[state]))
        << "state " << state;
  }
}

TEST_F(FinalPhase, RunAndWaitKeepsTheWindowResponsiveAndEndsOnTermination) {
  const fs::path probe = dest_ / "probe.exe";
  fs::copy_file(ProbeProgramPath(), probe);
  bool pumped = false;
  After(200, [&] { pumped = true; });
  After(400, [&] { app->RequestTermination(); });
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(RunAndWait(probe.string(), "/sleep 2500", root_.string(), kRunHidden), 259)
      << "still active when the wait ended";
  EXPECT_LT(::GetTickCount() - start, 2000u) << "the wait ends without waiting for the program";
  EXPECT_TRUE(pumped) << "messages were handled during the wait";
}

// ---- Service registration ----

TEST_F(FinalPhase, WithNeitherServiceBothInstallersRunHiddenInOrderFromTheDestination) {
  PlantProbes();
  w->RegisterServices();
  EXPECT_EQ(ProbeRuns(),
            (std::vector<std::string>{ProbeLine("qvdaemon.exe"), ProbeLine("qvmonitor.exe")}));
}

TEST_F(FinalPhase, WithBothServicesRegisteredNothingRunsAndStartBecomesManual) {
  PlantProbes();
  Write(kDaemonKey, "Start", Dword(2));
  Write(kMonitorKey, "Start", Dword(4));
  w->RegisterServices();
  EXPECT_TRUE(ProbeRuns().empty());
  EXPECT_EQ(Read(kDaemonKey, "Start"), Dword(3));
  EXPECT_EQ(Read(kMonitorKey, "Start"), Dword(3));
}

TEST_F(FinalPhase, WithOnlyTheMonitorRegisteredOnlyTheDaemonInstallerRuns) {
  PlantProbes();
  Write(kMonitorKey, "Start", Dword(2));
  w->RegisterServices();
  EXPECT_EQ(ProbeRuns(), std::vector<std::string>{ProbeLine("qvdaemon.exe")});
  EXPECT_EQ(Read(kMonitorKey, "Start"), Dword(3));
  EXPECT_FALSE(MachineKeyExists(kDaemonKey)) << "the probe registers nothing";
}

TEST_F(FinalPhase, AServiceKeyWithoutStartGetsNone) {
  PlantProbes();
  Write(kDaemonKey, "Type", Dword(16));
  Write(kMonitorKey, "Type", Dword(16));
  w->RegisterServices();
  EXPECT_FALSE(Read(kDaemonKey, "Start").exists);
  EXPECT_FALSE(Read(kMonitorKey, "Start").exists);
}

TEST_F(FinalPhase, TheInstallersAreStartedFromTheDestinationNeverFoundElsewhere) {
  // A program of the daemon's name where a search would look first: the
  // directory the installer was started from, which is the current one.
  const fs::path elsewhere = root_ / "downloads";
  fs::create_directories(elsewhere);
  fs::copy_file(ProbeProgramPath(), elsewhere / "qvdaemon.exe");
  fs::copy_file(ProbeProgramPath(), dest_ / "qvmonitor.exe");
  const fs::path previous = fs::current_path();
  fs::current_path(elsewhere);
  // The shell reports the missing daemon installer in a box of its own.
  std::function<void()> dismiss = [&] {
    for (HWND box : FindTopWindows("#32770"))
      ::PostMessageA(box, WM_CLOSE, 0, 0);
    After(100, dismiss);
  };
  After(100, dismiss);
  w->RegisterServices();
  fs::current_path(previous);
  EXPECT_FALSE(fs::exists(elsewhere / "run-probe.log")) << "the planted program never ran";
  EXPECT_EQ(ProbeRuns(), std::vector<std::string>{ProbeLine("qvmonitor.exe")});
}

TEST_F(FinalPhase, TheRealServiceProgramsRegisterBothServicesStartedOnDemand) {
  const fs::path payloads = PayloadDirectory();
  if (payloads.empty())
    GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
  fs::copy_file(payloads / "qvdaemon.exe", dest_ / "qvdaemon.exe");
  fs::copy_file(payloads / "qvmonitor.exe", dest_ / "qvmonitor.exe");
  w->RegisterServices();
  EXPECT_EQ(Read(kDaemonKey, "Start"), Dword(3));
  EXPECT_EQ(Read(kMonitorKey, "Start"), Dword(3));
  const Value daemonImage = Read(kDaemonKey, "ImagePath");
  EXPECT_NE(daemonImage.data.find(dest_.string() + "\\qvdaemon.exe"), std::string::npos)
      << daemonImage.data;
  const Value monitorImage = Read(kMonitorKey, "ImagePath");
  EXPECT_NE(monitorImage.data.find(dest_.string() + "\\qvmonitor.exe"), std::string::npos)
      << monitorImage.data;
}

// ---- Program-menu shortcuts ----

// A link that cannot be read fails the test but lets it go on to the next.
ShellLink ReadLink(const fs::path& file) {
  try {
    return ReadShellLink(file);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    return {};
  }
}

class ProgramMenu : public FinalPhase {
 protected:
  void SetUp() override {
    FinalPhase::SetUp();
    app->Startup();  // the shell link is a COM object, as at program start
    programs_ = root_ / "Programs";
    fs::create_directories(programs_);
    Write(kShellFolders, "Common Programs", Text(programs_.string()));
  }
  fs::path programs_;
};

// An abort confirmed in a stage's turn has removed the destination's files:
// nothing after it may register, start or point to them.
TEST_F(ProgramMenu, TheFinalPhaseStopsWhereAnAbortWasConfirmed) {
  PlantProbes();
  for (int turn = 1; turn <= 3; ++turn) {
    SCOPED_TRACE("abort confirmed in turn " + std::to_string(turn));
    ForgetInstallation();
    fs::remove(dest_ / "run-probe.log");
    w->turns = 0;
    w->cancelFromTurn = turn;
    EXPECT_FALSE(w->engine.RunFinalPhase(DestinationFromText(w->destination)));
    EXPECT_EQ(MachineKeyExists(kSettingsKey), turn > 1) << "defaults only before the abort";
    EXPECT_EQ(ProbeRuns().size(), turn > 2 ? 2u : 0u) << "installers only before the abort";
    EXPECT_TRUE(FileNames(programs_ / "Quolvex").empty()) << "no shortcut after the abort";
  }
  w->cancelFromTurn = 0;
  EXPECT_TRUE(w->engine.RunFinalPhase(DestinationFromText(w->destination)));
}

// The second question is asked when the daemon's installer has ended.
TEST_F(FinalPhase, AnAbortWhileAnInstallerRunsStartsNothingMore) {
  PlantProbes();
  w->cancelFromQuestion = 2;
  w->RegisterServices();
  EXPECT_EQ(ProbeRuns(), std::vector<std::string>{ProbeLine("qvdaemon.exe")});
}

// What the final phase changed goes back: the values it added, a service's
// Start as it was, the shortcuts it made; the administrator's own value and
// shortcut stay.
TEST_F(ProgramMenu, ARollBackUndoesTheFinalPhase) {
  PlantProbes();
  Write(kSettingsKey, "ScannerPort", Dword(4000));
  Write(kDaemonKey, "Start", Dword(2));
  const fs::path menu = programs_ / "Quolvex";
  fs::create_directories(menu);
  { std::ofstream(menu / "Readme.lnk", std::ios::binary) << "mine"; }
  ASSERT_TRUE(w->engine.RunFinalPhase(DestinationFromText(w->destination)));
  ASSERT_EQ(ValueCount(kSettingsKey), 29u);
  EXPECT_TRUE(w->engine.RollBack());
  EXPECT_EQ(ValueCount(kSettingsKey), 1u);
  EXPECT_EQ(Read(kSettingsKey, "ScannerPort"), Dword(4000));
  EXPECT_EQ(Read(kDaemonKey, "Start"), Dword(2));
  EXPECT_EQ(FileNames(menu), std::vector<std::string>{"Readme.lnk"});
  EXPECT_EQ(FileBytes(menu / "Readme.lnk"), "mine");
}

// The record is what the uninstaller will go by, and the list of installed
// programs is how the administrator finds it; until the commit both are
// the installation's like everything else, and a roll-back takes them back.
TEST_F(ProgramMenu, TheInstallRecordListsWhatWasMadeAndTheProgramListNamesTheUninstaller) {
  PlantProbes();
  Write(kSettingsKey, "ScannerPort", Dword(4000));  // the administrator's own
  const fs::path payload = dest_ / "licence.txt";
  w->engine.Journal().FileCreated(payload.string());
  { std::ofstream(payload, std::ios::binary) << "licence"; }
  ASSERT_TRUE(w->engine.RunFinalPhase(DestinationFromText(w->destination)));
  // Typed with a separator at its end: recorded in the one spelling the
  // uninstaller accepts, naming only the product's own.
  w->engine.RecordInstallation(DestinationFromText(w->destination + "\\"));

  const TInstallRecord record = TInstallRecord::Parse(FileBytes(dest_ / "install.rec"));
  EXPECT_NO_THROW(record.CheckConfined((programs_ / "Quolvex").string()));
  EXPECT_EQ(record.destination, dest_.string());
  ASSERT_EQ(record.files.size(), 1u);
  EXPECT_EQ(record.files[0].path, payload.string());
  Sha256 hash;
  hash.Update("licence", 7);
  EXPECT_EQ(record.files[0].sha256, Sha256::Hex(hash.Final()));
  EXPECT_EQ(record.shortcuts.size(), 5u);
  EXPECT_EQ(record.directories, std::vector<std::string>{(programs_ / "Quolvex").string()});
  EXPECT_TRUE(record.keys.empty());  // the settings key was there before
  EXPECT_EQ(record.values.size(), 28u);
  for (const auto& value : record.values)
    EXPECT_NE(value.name, "ScannerPort");

  const char* uninstallKey =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus";
  EXPECT_EQ(Read(uninstallKey, "DisplayName"), Text("Quolvex Antivirus 5.0"));
  EXPECT_EQ(Read(uninstallKey, "Publisher"), Text("Quolvex Software Laboratory"));
  EXPECT_EQ(Read(uninstallKey, "UninstallString"),
            Text("\"" + (dest_ / "uninstall.exe").string() + "\""));
  EXPECT_EQ(Read(uninstallKey, "InstallLocation"), Text(dest_.string()));
  EXPECT_EQ(Read(uninstallKey, "NoModify"), Dword(1));
  EXPECT_EQ(Read(uninstallKey, "NoRepair"), Dword(1));

  EXPECT_TRUE(w->engine.RollBack());
  EXPECT_FALSE(fs::exists(dest_ / "install.rec"));
  EXPECT_FALSE(Read(uninstallKey, "DisplayName").exists);
}

TEST_F(ProgramMenu, FiveShortcutsPointIntoTheDestination) {
  w->CreateProgramMenu();
  const fs::path menu = programs_ / "Quolvex";
  EXPECT_EQ(FileNames(menu), (std::vector<std::string>{
                                 "How to register.lnk", "License agreement.lnk",
                                 "Quolvex Manager.lnk", "Readme.lnk", "Uninstall program.lnk"}));
  const std::string d = dest_.string() + "\\";
  const struct {
    const char* file;
    std::string target;
    const char* description;
  } expected[] = {
      {"Quolvex Manager.lnk", d + "qvmanager.exe", "Quolvex Manager"},
      {"License agreement.lnk", d + "licence.txt", "Lincense agreement"},
      {"Readme.lnk", d + "readme.txt", "Readme"},
      {"How to register.lnk", d + "register.txt", "How to register"},
      {"Uninstall program.lnk", d + "uninstall.exe", "Uninstall program"},
  };
  for (const auto& e : expected) {
    const ShellLink link = ReadLink(menu / e.file);
    EXPECT_EQ(link.target, e.target) << e.file;
    EXPECT_EQ(link.description, e.description) << e.file;
    EXPECT_EQ(link.arguments, "") << e.file;
    EXPECT_EQ(link.workingDirectory, d) << e.file;
  }
}

TEST_F(ProgramMenu, ASecondRunReplacesTheShortcuts) {
  w->CreateProgramMenu();
  const fs::path readme = programs_ / "Quolvex" / "Readme.lnk";
  { std::ofstream(readme, std::ios::binary | std::ios::trunc) << "damaged"; }
  w->CreateProgramMenu();
  EXPECT_EQ(FileNames(programs_ / "Quolvex").size(), 5u);
  EXPECT_EQ(ReadLink(readme).target, dest_.string() + "\\readme.txt");
}

TEST_F(ProgramMenu, ATrailingDelimiterInTheDestinationDoesNotDouble) {
  w->destination = dest_.string() + "\\";
  w->CreateProgramMenu();
  const ShellLink link = ReadLink(programs_ / "Quolvex" / "Quolvex Manager.lnk");
  EXPECT_EQ(link.target, dest_.string() + "\\qvmanager.exe");
  EXPECT_EQ(link.workingDirectory, dest_.string() + "\\");
}

TEST_F(ProgramMenu, WithoutTheProgramsFolderNothingIsMadeAndNothingSaid) {
  DeleteValue(kShellFolders, "Common Programs");
  w->CreateProgramMenu();
  EXPECT_TRUE(FileNames(programs_).empty());
  EXPECT_TRUE(reported.empty());

  Write(kShellFolders, "Common Programs", Text((root_ / "missing").string()));
  w->CreateProgramMenu();
  EXPECT_FALSE(fs::exists(root_ / "missing"));
  EXPECT_TRUE(reported.empty());
}

TEST_F(FinalPhase, WithoutTheShellLinkObjectTheErrorLeavesTheMenuHalfMade) {
  // No COM apartment on this thread: the object cannot be created.
  const fs::path programs = root_ / "Programs";
  fs::create_directories(programs);
  Write(kShellFolders, "Common Programs", Text(programs.string()));
  std::string raised;
  try {
    w->CreateProgramMenu();
  } catch (const Exception& e) {
    raised = e.ClassName();
  }
  EXPECT_EQ(raised, "EOleSysError");
  EXPECT_TRUE(fs::is_directory(programs / "Quolvex")) << "the folder comes first";
  EXPECT_TRUE(FileNames(programs / "Quolvex").empty());
}

}  // namespace
}  // namespace qv::test
