// The payload stand-ins, run for real: the two service programs against the
// service control manager of the prefix, the two window programs as a
// user closes them, and the built images as Windows loads them. The payload
// directory comes from QV_PAYLOAD_DIR (a Windows path, or a Unix path, which
// Wine's drive Z: maps); without it every case is skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "TaskBar.h"
#include "TestSupport.h"
#include "win32/Handles.h"

namespace qv::test {
namespace {

using UniqueKey = UniqueRegistryKey;

constexpr DWORD kProgramTimeoutMs = 30000;
constexpr DWORD kStateTimeoutMs = 15000;

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// What a run of a program showed and how it ended.
const std::vector<std::string> kNoWindows;

struct RunResult {
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  std::vector<std::string> windowClasses;  // visible top-level windows it showed
};

std::string ClassOf(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

struct StartedProcess {
  UniqueHandle process;
  DWORD id = 0;
};

StartedProcess Start(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty())
    commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  StartedProcess started;
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    ADD_FAILURE() << "cannot start " << Narrow(program) << ": error " << ::GetLastError();
    return started;
  }
  ::CloseHandle(info.hThread);
  started.process.reset(info.hProcess);
  started.id = info.dwProcessId;
  return started;
}

// Runs program to its end, watching all the while for visible windows of
// its own. Each one is recorded and then closed, so that a program that
// shows one where it must not still ends, and the test says what it saw.
RunResult RunProgram(const std::wstring& program, const std::wstring& arguments) {
  RunResult result;
  StartedProcess started = Start(program, arguments);
  if (!started.process)
    return result;
  std::set<HWND> seen;
  const ULONGLONG deadline = ::GetTickCount64() + kProgramTimeoutMs;
  for (;;) {
    const bool exited = ::WaitForSingleObject(started.process.get(), 2) == WAIT_OBJECT_0;
    for (HWND window : VisibleWindowsOf(started.id)) {
      if (!seen.insert(window).second)
        continue;
      result.windowClasses.push_back(ClassOf(window));
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (exited)
      break;
    if (::GetTickCount64() > deadline) {
      ::TerminateProcess(started.process.get(), 1);
      ::WaitForSingleObject(started.process.get(), 5000);
      return result;
    }
  }
  result.ended = true;
  ::GetExitCodeProcess(started.process.get(), &result.exitCode);
  return result;
}

UniqueService OpenManager() {
  UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  EXPECT_TRUE(manager) << "service control manager: error " << ::GetLastError();
  return manager;
}

UniqueService OpenServiceNamed(const std::wstring& name, DWORD access = SERVICE_ALL_ACCESS) {
  UniqueService manager = OpenManager();
  if (!manager)
    return {};
  return UniqueService(::OpenServiceW(manager.get(), name.c_str(), access));
}

// True once the service is gone; the control manager may take a moment to
// drop a service that was deleted while handles to it were still open.
bool WaitUntilGone(const std::wstring& name) {
  const ULONGLONG deadline = ::GetTickCount64() + kStateTimeoutMs;
  for (;;) {
    UniqueService service = OpenServiceNamed(name, SERVICE_QUERY_STATUS);
    if (!service && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
      return true;
    if (::GetTickCount64() > deadline)
      return false;
    ::Sleep(50);
  }
}

bool WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS_PROCESS* last = nullptr) {
  const ULONGLONG deadline = ::GetTickCount64() + kStateTimeoutMs;
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed)) {
      return false;
    }
    if (last != nullptr)
      *last = status;
    if (status.dwCurrentState == state)
      return true;
    if (::GetTickCount64() > deadline)
      return false;
    ::Sleep(50);
  }
}

void RemoveServiceIfPresent(const std::wstring& name) {
  {
    UniqueService service = OpenServiceNamed(name);
    if (!service)
      return;
    SERVICE_STATUS status{};
    if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
      WaitForState(service.get(), SERVICE_STOPPED);
    }
    ::DeleteService(service.get());
  }
  WaitUntilGone(name);
}

struct ServiceConfig {
  DWORD serviceType = 0;
  DWORD startType = 0;
  std::wstring binaryPath;
  std::wstring displayName;
};

ServiceConfig ConfigOf(const std::wstring& name) {
  ServiceConfig config;
  UniqueService service = OpenServiceNamed(name, SERVICE_QUERY_CONFIG);
  if (!service) {
    ADD_FAILURE() << Narrow(name) << " cannot be opened: error " << ::GetLastError();
    return config;
  }
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  auto* raw = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (needed == 0 || !::QueryServiceConfigW(service.get(), raw, needed, &needed)) {
    ADD_FAILURE() << "QueryServiceConfig " << Narrow(name) << ": error " << ::GetLastError();
    return config;
  }
  config.serviceType = raw->dwServiceType;
  config.startType = raw->dwStartType;
  config.binaryPath = raw->lpBinaryPathName != nullptr ? raw->lpBinaryPathName : L"";
  config.displayName = raw->lpDisplayName != nullptr ? raw->lpDisplayName : L"";
  return config;
}

UniqueKey OpenServiceKey(const std::wstring& name) {
  HKEY key = nullptr;
  const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  return UniqueKey(key);
}

// A folder whose name has spaces, as "C:\Program Files\..." has: the case
// in which an unquoted image path goes wrong.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"Quolvex payload test";
    ::CreateDirectoryW(root_.c_str(), nullptr);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    for (const std::wstring& file : files_) {
      // A service process may take a moment to let go of its program file.
      for (int i = 0; i < 100 && !::DeleteFileW(file.c_str()) && FileExists(file); ++i)
        ::Sleep(50);
    }
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
      ::RemoveDirectoryW(it->c_str());
    ::RemoveDirectoryW(root_.c_str());
  }

  // Copies source into a subfolder of that name; returns the copy's path.
  std::wstring Copy(const std::wstring& source, const std::wstring& subfolder) {
    const std::wstring folder = root_ + L"\\" + subfolder;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    folders_.push_back(folder);
    const std::wstring target = folder + source.substr(source.find_last_of(L'\\'));
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
      ADD_FAILURE() << "cannot copy " << Narrow(source) << ": error " << ::GetLastError();
    }
    files_.push_back(target);
    return target;
  }

 private:
  std::wstring root_;
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> files_;
};

// ---------------------------------------------------------------------------
// The service programs

struct ServiceCase {
  const wchar_t* program;
  const wchar_t* service;
  const wchar_t* displayName;
};

void PrintTo(const ServiceCase& param, std::ostream* out) {
  *out << Narrow(param.program);
}

class ServiceProgram : public ::testing::TestWithParam<ServiceCase> {
 protected:
  void SetUp() override {
    dir_ = PayloadDir();
    if (dir_.empty())
      GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
    source_ = dir_ + GetParam().program;
    ASSERT_TRUE(FileExists(source_)) << Narrow(source_);
    service_ = GetParam().service;
    RemoveServiceIfPresent(service_);
  }
  void TearDown() override {
    if (!service_.empty())
      RemoveServiceIfPresent(service_);
    scratch_.reset();
  }

  std::wstring CopyTo(const std::wstring& subfolder) {
    if (!scratch_)
      scratch_ = std::make_unique<ScratchFolder>();
    return scratch_->Copy(source_, subfolder);
  }

  std::wstring dir_;
  std::wstring source_;
  std::wstring service_;
  std::unique_ptr<ScratchFolder> scratch_;
};

TEST_P(ServiceProgram, SilentInstallRegistersItsQuotedFullPathWithoutAnyWindow) {
  const std::wstring program = CopyTo(L"Program Files A");

  const RunResult run = RunProgram(program, L"/install /silent");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, kNoWindows);
  const ServiceConfig config = ConfigOf(service_);
  EXPECT_EQ(config.binaryPath, L"\"" + program + L"\"");
  EXPECT_EQ(config.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(config.displayName, GetParam().displayName);
}

// The installer finds the service by its key and writes Start there.
TEST_P(ServiceProgram, SilentInstallLeavesTheServiceKeyWithImagePathAndStart) {
  const std::wstring program = CopyTo(L"Program Files A");
  ASSERT_EQ(RunProgram(program, L"/install /silent").exitCode, 0u);

  UniqueKey key = OpenServiceKey(service_);
  ASSERT_TRUE(key);
  DWORD type = 0;
  DWORD start = 0;
  DWORD size = sizeof start;
  ASSERT_EQ(::RegQueryValueExW(key.get(), L"Start", nullptr, &type, reinterpret_cast<BYTE*>(&start),
                               &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(start, static_cast<DWORD>(SERVICE_DEMAND_START));
  wchar_t imagePath[MAX_PATH * 2] = {};
  size = sizeof imagePath - sizeof(wchar_t);
  ASSERT_EQ(::RegQueryValueExW(key.get(), L"ImagePath", nullptr, &type,
                               reinterpret_cast<BYTE*>(imagePath), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(imagePath), L"\"" + program + L"\"");
}

TEST_P(ServiceProgram, SecondInstallFromAnotherCopyChangesNothing) {
  const std::wstring first = CopyTo(L"Program Files A");
  const std::wstring second = CopyTo(L"Program Files B");
  ASSERT_EQ(RunProgram(first, L"/install /silent").exitCode, 0u);
  {
    // As the installer does after the first run: the start type is its own.
    UniqueService service = OpenServiceNamed(service_, SERVICE_CHANGE_CONFIG);
    ASSERT_TRUE(service);
    ASSERT_TRUE(::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                       SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr));
  }

  const RunResult run = RunProgram(second, L"/install /silent");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, kNoWindows);
  const ServiceConfig config = ConfigOf(service_);
  EXPECT_EQ(config.binaryPath, L"\"" + first + L"\"");
  EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
}

TEST_P(ServiceProgram, RunsUnderTheControlManagerAndStopsOnRequest) {
  const std::wstring program = CopyTo(L"Program Files A");
  ASSERT_EQ(RunProgram(program, L"/install /silent").exitCode, 0u);
  UniqueService service = OpenServiceNamed(service_);
  ASSERT_TRUE(service);

  ASSERT_TRUE(::StartServiceW(service.get(), 0, nullptr)) << "error " << ::GetLastError();
  SERVICE_STATUS_PROCESS status{};
  ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING, &status))
      << "state " << status.dwCurrentState;
  EXPECT_EQ(status.dwControlsAccepted & SERVICE_ACCEPT_STOP,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP));
  ASSERT_NE(status.dwProcessId, 0u);
  UniqueHandle process(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId));
  ASSERT_TRUE(process);

  SERVICE_STATUS stopping{};
  ASSERT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_STOP, &stopping));
  ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED, &status));
  EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
  ASSERT_EQ(::WaitForSingleObject(process.get(), kStateTimeoutMs), WAIT_OBJECT_0);
  DWORD exitCode = STILL_ACTIVE;
  ::GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

TEST_P(ServiceProgram, SilentUninstallStopsAndRemovesARunningService) {
  const std::wstring program = CopyTo(L"Program Files A");
  ASSERT_EQ(RunProgram(program, L"/install /silent").exitCode, 0u);
  DWORD processId = 0;
  {
    UniqueService service = OpenServiceNamed(service_);
    ASSERT_TRUE(service);
    ASSERT_TRUE(::StartServiceW(service.get(), 0, nullptr));
    SERVICE_STATUS_PROCESS status{};
    ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING, &status));
    processId = status.dwProcessId;
  }
  UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
  ASSERT_TRUE(process);

  const RunResult run = RunProgram(program, L"/uninstall /silent");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, kNoWindows);
  EXPECT_TRUE(WaitUntilGone(service_));
  EXPECT_FALSE(OpenServiceKey(service_));
  EXPECT_EQ(::WaitForSingleObject(process.get(), kStateTimeoutMs), WAIT_OBJECT_0);
}

TEST_P(ServiceProgram, SilentUninstallOfAMissingServiceSucceeds) {
  const RunResult run = RunProgram(source_, L"/uninstall /silent");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, kNoWindows);
}

TEST_P(ServiceProgram, StartedWithoutArgumentsOutsideTheControlManagerEndsWithAnError) {
  const RunResult run = RunProgram(source_, L"");

  ASSERT_TRUE(run.ended) << "still waiting for a control manager that will not call";
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
  EXPECT_EQ(run.windowClasses, kNoWindows);
}

TEST_P(ServiceProgram, UnknownOrContradictoryArgumentsChangeNothing) {
  for (const wchar_t* arguments : {L"/install /force /silent", L"/install /uninstall /silent",
                                   L"/silent", L"install /silent"}) {
    SCOPED_TRACE(Narrow(arguments));
    const RunResult run = RunProgram(source_, arguments);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(run.windowClasses, kNoWindows);
    EXPECT_TRUE(WaitUntilGone(service_));
  }
}

TEST_P(ServiceProgram, SwitchesAreReadWithoutRegardToCaseOrPrefix) {
  const RunResult run = RunProgram(source_, L"-INSTALL /Silent");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, kNoWindows);
  EXPECT_TRUE(OpenServiceNamed(service_, SERVICE_QUERY_STATUS));
}

// A display name that another service already uses makes the control
// manager refuse the registration: a real failure, reported by exit code
// alone.
TEST_P(ServiceProgram, SilentInstallThatTheControlManagerRefusesFailsWithoutAWindow) {
  const std::wstring blocker = L"QvPayloadTestBlocker";
  RemoveServiceIfPresent(blocker);
  {
    UniqueService manager = OpenManager();
    ASSERT_TRUE(manager);
    UniqueService created(::CreateServiceW(
        manager.get(), blocker.c_str(), GetParam().displayName, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        L"C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(created) << "error " << ::GetLastError();
  }

  const RunResult run = RunProgram(source_, L"/install /silent");
  RemoveServiceIfPresent(blocker);

  ASSERT_TRUE(run.ended);
  EXPECT_NE(run.exitCode, 0u);
  EXPECT_NE(run.exitCode, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(run.windowClasses, kNoWindows);
  EXPECT_TRUE(WaitUntilGone(service_));
}

// Also shows that the window watch of these tests sees a window when one
// comes (a message box, class #32770).
TEST_P(ServiceProgram, InstallWithoutSilentReportsTheResultInAWindow) {
  const RunResult run = RunProgram(source_, L"/install");

  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.windowClasses, std::vector<std::string>{"#32770"});
  EXPECT_TRUE(OpenServiceNamed(service_, SERVICE_QUERY_STATUS));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, ServiceProgram,
    ::testing::Values(ServiceCase{L"qvdaemon.exe", L"Quolvex", L"Quolvex Antivirus Daemon"},
                      ServiceCase{L"qvmonitor.exe", L"QuolvexMonitor",
                                  L"Quolvex Antivirus Monitor"}),
    [](const ::testing::TestParamInfo<ServiceCase>& info) { return Narrow(info.param.service); });

// ---------------------------------------------------------------------------
// The window programs

struct WindowCase {
  const wchar_t* program;
  const char* windowClass;
  const wchar_t* title;
};

void PrintTo(const WindowCase& param, std::ostream* out) {
  *out << Narrow(param.program);
}

class WindowProgram : public ::testing::TestWithParam<WindowCase> {
 protected:
  void SetUp() override {
    const std::wstring dir = PayloadDir();
    if (dir.empty())
      GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
    program_ = dir + GetParam().program;
    ASSERT_TRUE(FileExists(program_)) << Narrow(program_);
  }
  void TearDown() override {
    if (started_.process) {
      ::TerminateProcess(started_.process.get(), 1);
      ::WaitForSingleObject(started_.process.get(), 5000);
    }
  }

  // Starts the program and waits for its main window.
  HWND StartAndFindWindow() {
    started_ = Start(program_, L"");
    if (!started_.process)
      return nullptr;
    const ULONGLONG deadline = ::GetTickCount64() + kProgramTimeoutMs;
    while (::GetTickCount64() < deadline) {
      for (HWND window : VisibleWindowsOf(started_.id)) {
        if (ClassOf(window) == GetParam().windowClass)
          return window;
      }
      if (::WaitForSingleObject(started_.process.get(), 20) == WAIT_OBJECT_0)
        break;
    }
    ADD_FAILURE() << "no visible window of class " << GetParam().windowClass;
    return nullptr;
  }

  // The exit code once the program has ended by itself.
  DWORD WaitForExit() {
    if (::WaitForSingleObject(started_.process.get(), kProgramTimeoutMs) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the program did not end";
      return STILL_ACTIVE;
    }
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(started_.process.get(), &exitCode);
    started_.process.reset();
    return exitCode;
  }

  std::wstring program_;
  StartedProcess started_;
};

TEST_P(WindowProgram, ShowsWhatItStandsInForAndEndsWhenClosed) {
  HWND window = StartAndFindWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), GetParam().title);
  HWND text = ::FindWindowExW(window, nullptr, L"STATIC", nullptr);
  ASSERT_NE(text, nullptr);
  const std::wstring said = TextOf(text);
  EXPECT_NE(said.find(GetParam().title), std::wstring::npos) << Narrow(said);
  EXPECT_NE(said.find(L"stand-in"), std::wstring::npos) << Narrow(said);

  ::PostMessageW(window, WM_CLOSE, 0, 0);

  EXPECT_EQ(WaitForExit(), 0u);
}

TEST_P(WindowProgram, CloseButtonEndsTheProgram) {
  HWND window = StartAndFindWindow();
  ASSERT_NE(window, nullptr);
  HWND button = ::FindWindowExW(window, nullptr, L"BUTTON", L"Close");
  ASSERT_NE(button, nullptr);

  ::PostMessageW(button, BM_CLICK, 0, 0);

  EXPECT_EQ(WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, WindowProgram,
    ::testing::Values(WindowCase{L"qvmanager.exe", "QuolvexManager", L"Quolvex Antivirus Manager"},
                      WindowCase{L"qvscanner.exe", "QuolvexScanner", L"Quolvex Antivirus Scanner"}),
    [](const ::testing::TestParamInfo<WindowCase>& info) {
      return std::string(info.param.windowClass);
    });

// ---------------------------------------------------------------------------
// The built files

std::vector<char> ReadAll(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
  if (!file) {
    ADD_FAILURE() << "cannot open " << Narrow(path) << ": error " << ::GetLastError();
    return {};
  }
  std::vector<char> bytes(::GetFileSize(file.get(), nullptr));
  DWORD read = 0;
  if (!bytes.empty() &&
      !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    read = 0;
  }
  bytes.resize(read);
  return bytes;
}

template <class T>
bool ReadAt(const std::vector<char>& image, size_t offset, T& value) {
  if (offset > image.size() || image.size() - offset < sizeof(T))
    return false;
  std::memcpy(&value, image.data() + offset, sizeof(T));
  return true;
}

// Names of the DLLs an image imports, read from its import directory.
std::vector<std::string> ImportedDlls(const std::vector<char>& image,
                                      const IMAGE_NT_HEADERS& headers, size_t sectionsAt) {
  std::vector<IMAGE_SECTION_HEADER> sections(headers.FileHeader.NumberOfSections);
  for (size_t i = 0; i < sections.size(); ++i) {
    if (!ReadAt(image, sectionsAt + i * sizeof(IMAGE_SECTION_HEADER), sections[i]))
      return {};
  }
  auto fileOffset = [&](DWORD rva) -> size_t {
    for (const IMAGE_SECTION_HEADER& s : sections) {
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
        return rva - s.VirtualAddress + s.PointerToRawData;
      }
    }
    return image.size();
  };
  std::vector<std::string> names;
  const DWORD importsRva =
      headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (size_t at = fileOffset(importsRva);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor{};
    if (!ReadAt(image, at, descriptor) || descriptor.Name == 0)
      break;
    const size_t nameAt = fileOffset(descriptor.Name);
    std::string name;
    for (size_t i = nameAt; i < image.size() && image[i] != '\0'; ++i)
      name += image[i];
    names.push_back(name);
  }
  return names;
}

class PayloadImage : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    const std::wstring dir = PayloadDir();
    if (dir.empty())
      GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
    path_ = dir + GetParam();
  }
  std::wstring path_;
};

// Setup.exe copies the programs alone into the destination: a DLL of the
// compiler's runtime left beside them in the build would not be there. They
// are built for the architecture of the Setup.exe that carries them.
TEST_P(PayloadImage, IsAProgramOfTheBuildsArchitectureThatNeedsOnlySystemDlls) {
  const std::vector<char> image = ReadAll(path_);
  IMAGE_DOS_HEADER dos{};
  ASSERT_TRUE(ReadAt(image, 0, dos));
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  IMAGE_NT_HEADERS headers{};
  ASSERT_TRUE(ReadAt(image, static_cast<size_t>(dos.e_lfanew), headers));
  ASSERT_EQ(headers.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
  EXPECT_EQ(headers.FileHeader.Machine,
            sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  // The headers type and this magic follow the build's architecture.
  EXPECT_EQ(headers.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
  EXPECT_EQ(headers.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  const size_t sectionsAt = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD) +
                            sizeof(IMAGE_FILE_HEADER) + headers.FileHeader.SizeOfOptionalHeader;
  const std::vector<std::string> dlls = ImportedDlls(image, headers, sectionsAt);
  ASSERT_FALSE(dlls.empty());
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  for (const std::string& dll : dlls) {
    const std::string inSystem = std::string(system) + "\\" + dll;
    EXPECT_NE(::GetFileAttributesA(inSystem.c_str()), INVALID_FILE_ATTRIBUTES)
        << dll << " is not a system DLL";
  }
}

INSTANTIATE_TEST_SUITE_P(Payloads, PayloadImage,
                         ::testing::Values(L"qvdaemon.exe", L"qvmonitor.exe", L"qvmanager.exe",
                                           L"qvscanner.exe", L"uninstall.exe"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           std::string name = Narrow(info.param);
                           return name.substr(0, name.find('.'));
                         });

TEST(PayloadHelpFile, IsCompiledHtmlHelp) {
  const std::wstring dir = PayloadDir();
  if (dir.empty())
    GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
  const std::vector<char> help = ReadAll(dir + L"quolvex.chm");
  ASSERT_GE(help.size(), 0x60u);
  EXPECT_EQ(std::string(help.data(), 4), "ITSF");
}

}  // namespace
}  // namespace qv::test
