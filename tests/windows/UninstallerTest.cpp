// uninstall.exe run for real against an installation made up in a scratch
// folder: the product's two services (one running, the other never looked
// at before the removal), files as written and one changed since, a log
// folder in use, a link put where a recorded folder was, the product's keys
// and its entry in the list of installed programs, and a program menu that
// the machine's "Common Programs" points into the scratch folder for the
// test. A recorded file's name is not ASCII, so a record read in the ANSI
// code page would leave it (and its folder). The program comes
// from QV_PAYLOAD_DIR, as in PayloadProgramsTest; without it every case is
// skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "AccessList.h"
#include "TaskBar.h"
#include "TestSupport.h"
#include "core/InstallRecord.h"
#include "core/Sha256.h"
#include "win32/Handles.h"

namespace qv::test {
namespace {

constexpr DWORD kRunTimeoutMs = 40000;
// The product's own keys: the uninstaller refuses a record naming others.
constexpr wchar_t kTestKey[] = L"SOFTWARE\\Quolvex";
constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
constexpr wchar_t kShellFolders[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kCommonPrograms[] = L"Common Programs";
constexpr wchar_t kProductEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus";
constexpr wchar_t kPendingKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kService[] = L"Quolvex";
constexpr wchar_t kMonitor[] = L"QuolvexMonitor";
constexpr wchar_t kCaption[] = L"Quolvex Antivirus 5.0 Uninstall";
constexpr wchar_t kQuestion[] =
    L"Do you want to remove Quolvex Antivirus 5.0 and all of its components?";

std::string Utf8(const std::wstring& text) {
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length, nullptr, nullptr);
  return result;
}

std::wstring TempDir() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read != 0)
    bytes.append(buffer, read);
  return bytes;
}

void Write(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &written, nullptr))
      << Narrow(path) << ": error " << ::GetLastError();
}

std::string HashOf(const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return Sha256::Hex(hash.Final());
}

// Never enters a link: removing one removes the link alone.
void RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileW(path.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW entry{};
    UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    std::vector<std::wstring> names;
    while (find) {
      if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..")
        names.push_back(entry.cFileName);
      if (!::FindNextFileW(find.get(), &entry))
        break;
    }
    find.reset();
    for (const std::wstring& name : names)
      RemoveTree(path + L"\\" + name);
  }
  ::RemoveDirectoryW(path.c_str());
}

void SetMachineValue(const std::wstring& key, const std::wstring& name) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  UniqueRegistryKey owned(handle);
  const DWORD data = 1;
  ASSERT_EQ(::RegSetValueExW(handle, name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&data), sizeof data),
            ERROR_SUCCESS);
}

void SetMachineText(const std::wstring& key, const wchar_t* name, const std::wstring& text,
                    DWORD type = REG_SZ) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, type, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

bool ReadMachineText(const std::wstring& key, const wchar_t* name, std::wstring& text) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
    return false;
  text = buffer;
  return true;
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(handle);
  return true;
}

bool ValueExists(const std::wstring& key, const std::wstring& name) {
  return ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

// The raw REG_MULTI_SZ of the files the system deletes at the next start.
struct PendingDeletes {
  bool exists = false;
  std::wstring data;
};

PendingDeletes ReadPendingDeletes() {
  PendingDeletes pending;
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kPendingKey, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr,
                     nullptr, &size) != ERROR_SUCCESS) {
    return pending;
  }
  pending.data.resize(size / sizeof(wchar_t));
  pending.exists =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, kPendingKey, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr,
                     pending.data.data(), &size) == ERROR_SUCCESS;
  pending.data.resize(size / sizeof(wchar_t));
  return pending;
}

std::vector<std::wstring> PendingEntriesWith(const std::wstring& marker) {
  std::vector<std::wstring> entries;
  const std::wstring data = ReadPendingDeletes().data;
  for (size_t start = 0; start < data.size();) {
    const size_t end = std::min(data.find(L'\0', start), data.size());
    const std::wstring entry = data.substr(start, end - start);
    if (entry.find(marker) != std::wstring::npos)
      entries.push_back(entry);
    start = end + 1;
  }
  return entries;
}

UniqueService OpenServiceNamed(const wchar_t* name, DWORD access) {
  UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  return UniqueService(manager ? ::OpenServiceW(manager.get(), name, access) : nullptr);
}

bool ServiceInState(const wchar_t* name, DWORD state) {
  UniqueService service = OpenServiceNamed(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  return service && ::QueryServiceStatus(service.get(), &status) && status.dwCurrentState == state;
}

// "YYYY-MM-DD HH:MM:SS.mmm ", as each line of the uninstaller's log begins.
constexpr char kTimePattern[] = "dddd-dd-dd dd:dd:dd.ddd ";
constexpr size_t kTimeLength = sizeof kTimePattern - 1;

bool StartsWithTime(const std::string& line) {
  if (line.size() < kTimeLength)
    return false;
  for (size_t i = 0; i < kTimeLength; ++i) {
    const bool fits = kTimePattern[i] == 'd'
                          ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                          : line[i] == kTimePattern[i];
    if (!fits)
      return false;
  }
  return true;
}

template <class Done>
bool WaitUntil(Done done, DWORD timeoutMs = kRunTimeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() > deadline)
      return false;
    ::Sleep(50);
  }
  return true;
}

void RemoveServiceIfPresent(const wchar_t* name) {
  {
    UniqueService service = OpenServiceNamed(name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (!service)
      return;
    SERVICE_STATUS status{};
    if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
      WaitUntil([name] { return ServiceInState(name, SERVICE_STOPPED); }, 15000);
    ::DeleteService(service.get());
  }
  WaitUntil([name] { return !OpenServiceNamed(name, SERVICE_QUERY_STATUS); }, 15000);
}

struct RunResult {
  DWORD processId = 0;
  DWORD exitCode = STILL_ACTIVE;
  std::vector<std::wstring> boxes;  // "caption|text" of each message box shown
};

// Runs the program to its end. Each message box it shows is recorded and
// answered, the first with answers[0] and so on (the last answer for any
// further box: one that is not due is answered all the same, so that the
// run ends and the test says what it saw).
RunResult RunProgram(const std::wstring& program, const std::wstring& arguments,
                     const std::vector<int>& answers = {IDOK}) {
  RunResult run;
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    ADD_FAILURE() << "cannot start " << Narrow(program) << ": error " << ::GetLastError();
    return run;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  run.processId = info.dwProcessId;
  std::vector<HWND> answered;
  const ULONGLONG deadline = ::GetTickCount64() + kRunTimeoutMs;
  while (::WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
    for (HWND box : VisibleWindowsOf(info.dwProcessId)) {
      if (std::find(answered.begin(), answered.end(), box) != answered.end())
        continue;
      wchar_t caption[256] = {};
      wchar_t text[4096] = {};
      ::GetWindowTextW(box, caption, 256);
      ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
      run.boxes.push_back(std::wstring(caption) + L"|" + text);
      answered.push_back(box);
      const int answer = answers[std::min(answered.size(), answers.size()) - 1];
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    }
    if (::GetTickCount64() > deadline) {
      ADD_FAILURE() << Narrow(program) << " did not end";
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
      return run;
    }
  }
  ::GetExitCodeProcess(process.get(), &run.exitCode);
  return run;
}

class UninstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring payloads = PayloadDir();
    if (payloads.empty())
      GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
    scratch_ = TempDir() + L"QvUninstallTest-" + std::to_wstring(::GetCurrentProcessId());
    root_ = scratch_ + L"\\Quolvex Test";
    pendingBefore_ = ReadPendingDeletes();
    programsBefore_ = ReadMachineText(kShellFolders, kCommonPrograms, savedPrograms_);
    CleanUp();
    ASSERT_NO_FATAL_FAILURE(
        SetMachineText(kShellFolders, kCommonPrograms, scratch_ + L"\\Programs"));
    ASSERT_NO_FATAL_FAILURE(Install(payloads));
  }

  void TearDown() override {
    CleanUp();
    if (programsBefore_)
      SetMachineText(kShellFolders, kCommonPrograms, savedPrograms_);
    else
      ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kShellFolders, kCommonPrograms);
    // The clean-up copy waits for the next start; this prefix has none.
    if (!copy_.empty()) {
      WaitUntil([this] { return ::DeleteFileW(copy_.c_str()) || !Exists(copy_); }, 10000);
      ::RemoveDirectoryW(copy_.substr(0, copy_.rfind(L'\\')).c_str());
    }
    if (pendingBefore_.exists) {
      ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPendingKey, kPendingValue, REG_MULTI_SZ,
                        pendingBefore_.data.data(),
                        static_cast<DWORD>(pendingBefore_.data.size() * sizeof(wchar_t)));
    } else {
      ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPendingKey, kPendingValue);
    }
  }

  void CleanUp() {
    for (const wchar_t* service : {kService, kMonitor}) {
      RemoveServiceIfPresent(service);
      // One the manager never knew (see below) leaves its key.
      ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kServicesKey + std::wstring(service)).c_str());
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductEntry);
    RemoveLink(Narrow(root_ + L"\\cache"));
    RemoveTree(scratch_);
  }

  std::wstring In(const wchar_t* name) const { return root_ + L"\\" + name; }
  std::wstring InData(const wchar_t* name) const { return data_ + L"\\" + name; }

  void AddFile(const std::wstring& path, const std::string& bytes) {
    Write(path, bytes);
    record_.files.push_back({Utf8(path), HashOf(bytes)});
  }

  void Install(const std::wstring& payloads) {
    menu_ = scratch_ + L"\\Programs\\Quolvex";
    data_ = root_ + L"\\Data";
    for (const std::wstring& dir : {scratch_, root_, In(L"docs"), data_, InData(L"logs"),
                                    scratch_ + L"\\Programs", menu_, scratch_ + L"\\elsewhere"}) {
      ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr)) << Narrow(dir);
    }
    // The link stands where the installation made a folder.
    ASSERT_TRUE(MakeLink(Narrow(In(L"cache")), Narrow(scratch_ + L"\\elsewhere")));
    record_.destination = Utf8(root_);
    for (const std::wstring& dir :
         {root_, In(L"docs"), data_, InData(L"logs"), menu_, In(L"cache")}) {
      record_.directories.push_back(Utf8(dir));
    }

    for (const wchar_t* program : {L"uninstall.exe", L"qvdaemon.exe", L"qvmonitor.exe"}) {
      ASSERT_TRUE(::CopyFileW((payloads + program).c_str(), In(program).c_str(), FALSE));
      record_.files.push_back({Utf8(In(program)), HashOf(ReadAll(In(program)))});
    }
    AddFile(In(L"readme.txt"), "readme\r\n");
    AddFile(In(L"docs\\h\u00E9lp.txt"), "help\r\n");
    AddFile(InData(L"sms.txt"), "");
    Write(InData(L"sms.txt"), "555-0100\r\n");  // filled in by the administrator
    AddFile(In(L"register.txt"), "register\r\n");
    ::DeleteFileW(In(L"register.txt").c_str());  // deleted by the administrator
    AddFile(scratch_ + L"\\elsewhere\\data.bin", "data");
    record_.files.back().path = Utf8(In(L"cache\\data.bin"));
    Write(InData(L"logs\\20240101.log"), "log\r\n");
    Write(menu_ + L"\\Readme.lnk", "shortcut");
    record_.shortcuts.push_back(Utf8(menu_ + L"\\Readme.lnk"));

    // Recorded parents first, as Setup makes them; Product only empties
    // once Sub is gone.
    const std::wstring key = kTestKey;
    record_.keys = {Utf8(key), Utf8(key) + "\\Product", Utf8(key) + "\\Product\\Sub"};
    ASSERT_NO_FATAL_FAILURE(SetMachineValue(key, L"Recorded"));
    ASSERT_NO_FATAL_FAILURE(SetMachineValue(key, L"Kept"));  // there before the installation
    ASSERT_NO_FATAL_FAILURE(SetMachineValue(key + L"\\Product\\Sub", L"Port"));
    record_.values = {{Utf8(key), "Recorded"}, {Utf8(key) + "\\Product\\Sub", "Port"}};
    ASSERT_NO_FATAL_FAILURE(SetMachineValue(std::wstring(kProductEntry) + L"\\Details", L"Size"));

    ASSERT_EQ(RunProgram(In(L"qvdaemon.exe"), L"/install /silent").exitCode, 0u);
    ASSERT_EQ(RunProgram(In(L"qvmonitor.exe"), L"/install /silent").exitCode, 0u);
    {
      UniqueService service = OpenServiceNamed(kService, SERVICE_START);
      ASSERT_TRUE(service && ::StartServiceW(service.get(), 0, nullptr))
          << "error " << ::GetLastError();
    }
    ASSERT_TRUE(WaitUntil([] { return ServiceInState(kService, SERVICE_RUNNING); }));
    record_.services = {Utf8(kService), Utf8(kMonitor)};

    text_ = record_.Serialize();
    Write(In(L"install.rec"), text_);
  }

  void ExpectNothingRemoved() {
    for (const wchar_t* name :
         {L"uninstall.exe", L"qvdaemon.exe", L"readme.txt", L"docs\\h\u00E9lp.txt"})
      EXPECT_TRUE(Exists(In(name))) << Narrow(name);
    EXPECT_TRUE(Exists(InData(L"sms.txt")));
    EXPECT_TRUE(Exists(menu_ + L"\\Readme.lnk"));
    EXPECT_TRUE(ValueExists(kTestKey, L"Recorded"));
    EXPECT_TRUE(ValueExists(std::wstring(kTestKey) + L"\\Product\\Sub", L"Port"));
    EXPECT_TRUE(KeyExists(kProductEntry));
    EXPECT_TRUE(ServiceInState(kService, SERVICE_RUNNING));
    EXPECT_TRUE(ServiceInState(kMonitor, SERVICE_STOPPED));
  }

  // Gone for a fresh connection to the manager and for the registry alike:
  // the manager loads the services from there at the next start.
  static void ExpectServiceGone(const wchar_t* name) {
    EXPECT_FALSE(OpenServiceNamed(name, SERVICE_QUERY_STATUS)) << Narrow(name);
    EXPECT_FALSE(KeyExists(kServicesKey + std::wstring(name))) << Narrow(name);
  }

  // The clean-up copy's last act is to mark itself, then its folder, for
  // deletion at the next start; the marks it made, file first.
  std::vector<std::wstring> WaitForCleanup(DWORD uninstallerId) {
    const std::wstring marker = L"\\QuolvexUninstall-" + std::to_wstring(uninstallerId) + L"-";
    if (!WaitUntil([&] { return PendingEntriesWith(marker).size() == 2; }))
      return {};
    const std::vector<std::wstring> marked = PendingEntriesWith(marker);
    copy_ = marked[0].substr(marked[0].find(L":\\") - 1);
    return marked;
  }

  std::wstring scratch_;
  std::wstring root_;  // the installation folder, emptied by a removal
  std::wstring data_;  // a folder of it that the administrator uses
  std::wstring menu_;
  std::wstring copy_;  // the clean-up copy, once it has marked itself
  PendingDeletes pendingBefore_;
  bool programsBefore_ = false;
  std::wstring savedPrograms_;
  TInstallRecord record_;
  std::string text_;  // the record as written
};

TEST_F(UninstallerTest, RemovesWhatTheInstallationMadeAndKeepsWhatChangedSince) {
  const RunResult run = RunProgram(In(L"uninstall.exe"), L"/QUIET");

  ASSERT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.boxes.empty()) << Narrow(run.boxes.front());
  const std::vector<std::wstring> marked = WaitForCleanup(run.processId);
  ASSERT_EQ(marked.size(), 2u) << "the clean-up copy did not finish";
  EXPECT_EQ(marked[0], marked[1] + L"\\uninstall.exe");
  EXPECT_EQ(copy_.rfind(TempDir(), 0), 0u) << Narrow(copy_);
  // The copy's folder is for SYSTEM and Administrators alone; Wine shows a
  // folder made without rights of its own as Everyone's.
  const std::string rights = DaclText(Narrow(copy_.substr(0, copy_.rfind(L'\\'))));
  EXPECT_FALSE(rights.empty());
  EXPECT_EQ(rights.find(";;;WD)"), std::string::npos) << rights;

  // The program and its record went last; the folder that held them stays
  // with what the administrator keeps in it.
  EXPECT_TRUE(WaitUntil([this] { return !Exists(In(L"uninstall.exe")); }));
  EXPECT_FALSE(Exists(In(L"install.rec")));
  EXPECT_FALSE(Exists(In(L"docs")));
  EXPECT_FALSE(Exists(menu_));
  EXPECT_TRUE(Exists(scratch_ + L"\\Programs"));
  EXPECT_EQ(ReadAll(InData(L"sms.txt")), "555-0100\r\n");
  EXPECT_EQ(ReadAll(InData(L"logs\\20240101.log")), "log\r\n");
  // Nothing is removed through the link, nor the link itself.
  EXPECT_EQ(ReadAll(scratch_ + L"\\elsewhere\\data.bin"), "data");
  EXPECT_TRUE(Exists(In(L"cache")));

  const std::wstring key = kTestKey;
  EXPECT_FALSE(ValueExists(key, L"Recorded"));
  EXPECT_TRUE(ValueExists(key, L"Kept"));
  EXPECT_FALSE(KeyExists(key + L"\\Product"));
  EXPECT_FALSE(KeyExists(kProductEntry));
  // Nothing asked the manager about the monitor before the uninstaller did.
  ExpectServiceGone(kService);
  ExpectServiceGone(kMonitor);
}

// The record names the product's two services, but it is not their only
// witness: the monitor's key is there without the manager knowing it (as
// after a registration the manager lost track of, which it would load again
// at the next start), and the daemon's name has been registered since for
// a program elsewhere.
TEST_F(UninstallerTest, AServiceOnlyTheRegistryKnowsGoesAndOneOfAnotherProgramStays) {
  RemoveServiceIfPresent(kMonitor);
  const std::wstring monitorKey = kServicesKey + std::wstring(kMonitor);
  ASSERT_NO_FATAL_FAILURE(SetMachineText(monitorKey, L"ImagePath",
                                         L"\"" + In(L"qvmonitor.exe") + L"\"", REG_EXPAND_SZ));
  ASSERT_FALSE(OpenServiceNamed(kMonitor, SERVICE_QUERY_STATUS));
  RemoveServiceIfPresent(kService);
  const std::wstring other = scratch_ + L"\\elsewhere\\qvdaemon.exe";
  ASSERT_TRUE(::CopyFileW(In(L"qvdaemon.exe").c_str(), other.c_str(), FALSE));
  ASSERT_EQ(RunProgram(other, L"/install /silent").exitCode, 0u);

  const RunResult run = RunProgram(In(L"uninstall.exe"), L"", {IDYES, IDOK});

  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_NE(run.boxes[1].find(L"was removed.\r\n\r\nThese were kept:\r\nservice Quolvex "
                              L"(registered for a program outside the installation)"),
            std::wstring::npos)
      << Narrow(run.boxes[1]);
  ExpectServiceGone(kMonitor);
  std::wstring imagePath;
  EXPECT_TRUE(OpenServiceNamed(kService, SERVICE_QUERY_STATUS));
  EXPECT_TRUE(ReadMachineText(kServicesKey + std::wstring(kService), L"ImagePath", imagePath));
  EXPECT_EQ(imagePath, L"\"" + other + L"\"");
  EXPECT_EQ(WaitForCleanup(run.processId).size(), 2u) << "the clean-up copy did not finish";
}

TEST_F(UninstallerTest, AskedFirstItEndsByNamingWhatItKeptAndWhy) {
  const RunResult run = RunProgram(In(L"uninstall.exe"), L"", {IDYES, IDOK});

  EXPECT_EQ(run.exitCode, 0u);
  const std::wstring cache = In(L"cache");
  const std::vector<std::wstring> boxes{
      kCaption + std::wstring(L"|") + kQuestion,
      kCaption + std::wstring(L"|Quolvex Antivirus 5.0 was removed.\r\n\r\nThese were kept:") +
          L"\r\nHKEY_LOCAL_MACHINE\\" + kTestKey + L" (not empty)" + L"\r\n" + InData(L"sms.txt") +
          L" (changed since the installation)" + L"\r\n" + cache +
          L"\\data.bin (in a folder replaced by a link)" + L"\r\n" + InData(L"logs") +
          L" (not empty)" + L"\r\n" + data_ + L" (not empty)" + L"\r\n" + cache +
          L" (replaced by a link)" + L"\r\n" + root_ + L" (not empty)"};
  EXPECT_EQ(run.boxes, boxes);
  EXPECT_EQ(WaitForCleanup(run.processId).size(), 2u) << "the clean-up copy did not finish";
}

TEST_F(UninstallerTest, AMissingOrDamagedRecordOrANoRemovesNothing) {
  const std::wstring record = In(L"install.rec");
  std::string damaged = text_;
  damaged[damaged.size() / 2] ^= 0x01;
  // Whole, but naming a file as the system directory, the uninstaller's
  // current one, would find it.
  TInstallRecord relativeRecord = record_;
  relativeRecord.files.push_back({"readme.txt", HashOf("readme\r\n")});
  const std::string relative = relativeRecord.Serialize();
  struct Case {
    const char* name;
    const std::string* record;  // null: no record
    const wchar_t* arguments;
    DWORD exitCode;
    std::vector<std::wstring> boxes;  // how each box shown begins
  };
  const Case cases[] = {
      {"missing", nullptr, L"/quiet", ERROR_FILE_NOT_FOUND, {}},
      {"relative", &relative, L"/quiet", ERROR_INSTALL_FAILURE, {}},
      {"damaged",
       &damaged,
       L"",
       ERROR_INSTALL_FAILURE,
       {kCaption + std::wstring(L"|The install record ") + record + L" is damaged"}},
      {"declined",
       &text_,
       L"",
       ERROR_INSTALL_USEREXIT,
       {kCaption + std::wstring(L"|") + kQuestion}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.record != nullptr)
      Write(record, *c.record);
    else
      ::DeleteFileW(record.c_str());

    const RunResult run = RunProgram(In(L"uninstall.exe"), c.arguments, {IDNO});

    EXPECT_EQ(run.exitCode, c.exitCode);
    ASSERT_EQ(run.boxes.size(), c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i)
      EXPECT_EQ(run.boxes[i].substr(0, c.boxes[i].size()), c.boxes[i]);
    ExpectNothingRemoved();
    EXPECT_EQ(Exists(record), c.record != nullptr);
  }
}

// What deployment tools have besides the exit code. The log is made before
// anything is touched, so a run that cannot make it removes nothing; an
// earlier log of the account's own is made anew. Someone else's file at the
// log's name cannot be planted here: Wine keeps every file's owner as the
// prefix's account, whatever is set.
TEST_F(UninstallerTest, AQuietRunLogsEachItemAndALinkAtTheLogsNameRemovesNothing) {
  const std::wstring log = scratch_ + L"\\uninstall log.txt";
  const std::wstring arguments = L"-LOG=\"" + log + L"\" /quiet";
  const std::wstring target = scratch_ + L"\\elsewhere\\earlier.log";
  Write(target, "someone's\r\n");
  ASSERT_TRUE(MakeLink(Narrow(log), Narrow(target)));
  RunResult run = RunProgram(In(L"uninstall.exe"), arguments);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(ReadAll(target), "someone's\r\n");
  ExpectNothingRemoved();
  // Wine deletes what a link to a file leads to, not the link; once that
  // is gone, RemoveLink takes the link itself.
  ::DeleteFileW(target.c_str());
  RemoveLink(Narrow(log));
  ASSERT_FALSE(Exists(log));

  Write(log, "an earlier run\r\n");
  run = RunProgram(In(L"uninstall.exe"), arguments);
  ASSERT_EQ(run.exitCode, 0u);
  EXPECT_EQ(WaitForCleanup(run.processId).size(), 2u) << "the clean-up copy did not finish";
  const std::string text = ReadAll(log);
  std::vector<std::string> events;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find("\r\n", start), text.size());
    const std::string line = text.substr(start, end - start);
    // Also no byte order mark and no line end but CR LF, the last included.
    EXPECT_TRUE(StartsWithTime(line) && line.find_first_of("\r\n") == std::string::npos &&
                end < text.size())
        << line;
    events.push_back(line.substr(std::min(kTimeLength, line.size())));
    start = end + 2;
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().rfind("uninstall.exe 5.0", 0), 0u) << events.front();
  for (const std::string& event :
       {std::string("Stopped, deleted and verified gone: service Quolvex"),
        "Removed: " + Utf8(In(L"docs\\h\u00E9lp.txt")),
        "Kept: " + Utf8(InData(L"sms.txt")) + " (changed since the installation)"}) {
    EXPECT_NE(std::find(events.begin(), events.end(), event), events.end()) << event;
  }
  EXPECT_EQ(events.back(), "Exit code 0");
}

}  // namespace
}  // namespace qv::test
