// Entry of uninstall.exe, the uninstaller of Quolvex Antivirus 5.0. It
// removes what the install record beside it (install.rec) lists:
//
//   (no arguments)   asks once, removes, reports what stayed and why
//   /quiet           asks nothing and shows nothing: the exit code tells
//   /log=PATH        writes what it does to PATH, a file it creates new
//                    (see common/Log.h); with /quiet, in either order
//   /cleanup PID RECORD PROGRAM
//                    only for the copy the uninstaller starts from the temp
//                    directory: deletes PROGRAM and RECORD once PID has ended
//
// Exit codes: 0 when the product is removed (files the administrator
// changed stay, and that is no failure); ERROR_INSTALL_USEREXIT (1602) when
// the question is answered No; ERROR_INSTALL_FAILURE (1603) for a damaged
// record; ERROR_INVALID_PARAMETER for unknown arguments; otherwise the
// Win32 error of what failed: creating the log (ERROR_ACCESS_DENIED for a
// link or someone else's file under its name), reading the record
// (ERROR_FILE_NOT_FOUND when it is missing), and ERROR_SERVICE_EXISTS for a
// service that is still registered after its removal. Whenever it fails,
// the uninstaller and its record stay, and running it again carries on
// where it stopped.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "../common/Handles.h"
#include "../common/Log.h"
#include "../common/SystemMessage.h"
#include "../service/ServiceInstaller.h"
#include "Uninstaller.h"

namespace qv::payload {
namespace {

constexpr wchar_t kCaption[] = L"Quolvex Antivirus 5.0 Uninstall";
constexpr wchar_t kRecordName[] = L"install.rec";
// As in the version information of uninstall.exe (common/VersionInfo.rc.in).
constexpr wchar_t kProgramLine[] = L"uninstall.exe 5.0.0.0, Quolvex Antivirus 5.0 Uninstall";

enum class Mode { kUninstall, kCleanup, kUsage };

struct Command {
  Mode mode = Mode::kUsage;
  bool quiet = false;
  DWORD processId = 0;
  std::wstring log;  // empty: no log
  std::wstring record;
  std::wstring program;
};

bool IsSwitch(const wchar_t* argument, const wchar_t* name) {
  return (argument[0] == L'/' || argument[0] == L'-') && ::lstrcmpiW(argument + 1, name) == 0;
}

bool ParseProcessId(const wchar_t* text, DWORD& id) {
  if (*text == L'\0')
    return false;
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text, &end, 10);
  id = static_cast<DWORD>(value);
  return *end == L'\0' && value != 0;
}

// "/log=PATH" or "-log=PATH", the name in any case. CommandLineToArgvW has
// taken away the quotes, whether around the path or the whole argument.
bool IsLogSwitch(const wchar_t* argument, std::wstring& path) {
  constexpr wchar_t kName[] = L"log=";
  constexpr int kLength = static_cast<int>(std::size(kName)) - 1;
  if ((argument[0] != L'/' && argument[0] != L'-') || std::wcslen(argument + 1) < kLength ||
      ::CompareStringOrdinal(argument + 1, kLength, kName, kLength, TRUE) != CSTR_EQUAL) {
    return false;
  }
  path = argument + 1 + kLength;
  return true;
}

Command ParseCommand(int count, wchar_t** arguments) {
  Command command;
  if (count == 5 && IsSwitch(arguments[1], L"cleanup") &&
      ParseProcessId(arguments[2], command.processId)) {
    command.mode = Mode::kCleanup;
    command.record = arguments[3];
    command.program = arguments[4];
  } else {
    // Each switch once: of two logs, which one would the caller read?
    bool quiet = false;
    bool known = true;
    for (int i = 1; i < count && known; ++i) {
      std::wstring log;
      if (!quiet && IsSwitch(arguments[i], L"quiet"))
        quiet = true;
      else if (command.log.empty() && IsLogSwitch(arguments[i], log) && !log.empty())
        command.log = std::move(log);
      else
        known = false;
    }
    if (known)
      command.mode = Mode::kUninstall;
    else
      command.log.clear();
  }
  // Whoever asked for quiet cannot answer a usage box either.
  for (int i = 1; i < count; ++i)
    command.quiet = command.quiet || IsSwitch(arguments[i], L"quiet");
  return command;
}

const wchar_t* Why(KeptReason reason) {
  switch (reason) {
    case KeptReason::kChanged:
      return L"changed since the installation";
    case KeptReason::kNotEmpty:
      return L"not empty";
    case KeptReason::kLink:
      return L"replaced by a link";
    case KeptReason::kBehindLink:
      return L"in a folder replaced by a link";
    case KeptReason::kNotRecorded:
      return L"not in the install record";
    case KeptReason::kOtherProgram:
      return L"registered for a program outside the installation";
  }
  return L"";
}

const wchar_t* How(Gone how) {
  switch (how) {
    case Gone::kRemoved:
      return L"Removed: ";
    case Gone::kAbsent:
      return L"Not there: ";
    case Gone::kServiceRemoved:
      return L"Stopped, deleted and verified gone: ";
    case Gone::kAtCleanup:
      return L"Left to the clean-up copy: ";
  }
  return L"";
}

// Removed first, then kept, then failed: the order of the closing message.
void LogRemoval(Log& log, const Removal& removal) {
  for (const Removed& removed : removal.removed)
    log.Line(How(removed.how) + removed.what);
  for (const Kept& kept : removal.kept)
    log.Line(L"Kept: " + kept.what + L" (" + Why(kept.reason) + L")");
  for (const Failure& failure : removal.failures)
    log.Line(L"Failed: " + failure.what + L": " + SystemMessage(failure.error));
}

std::wstring KeptList(const Removal& removal) {
  if (removal.kept.empty())
    return {};
  std::wstring text = L"\r\n\r\nThese were kept:";
  for (const Kept& kept : removal.kept)
    text += L"\r\n" + kept.what + L" (" + Why(kept.reason) + L")";
  return text;
}

class Reporter {
 public:
  explicit Reporter(bool quiet) : quiet_(quiet) {}

  bool Confirm() const {
    return quiet_ ||
           ::MessageBoxW(nullptr,
                         L"Do you want to remove Quolvex Antivirus 5.0 and all of its "
                         L"components?",
                         kCaption,
                         MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) == IDYES;
  }
  void Inform(const std::wstring& text) const { Show(text, MB_ICONINFORMATION); }
  // Returns the error, which becomes the exit code.
  DWORD Fail(const std::wstring& text, DWORD error) const {
    Show(text, MB_ICONERROR);
    return error;
  }

 private:
  void Show(const std::wstring& text, UINT icon) const {
    if (!quiet_)
      ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | icon | MB_SETFOREGROUND);
  }

  bool quiet_;
};

DWORD Uninstall(const Reporter& reporter, Log& log) {
  DWORD error = ERROR_SUCCESS;
  const std::wstring program = OwnProgramPath(error);
  if (program.empty()) {
    log.Line(L"Failed: the uninstaller cannot tell where it is: " + SystemMessage(error));
    return reporter.Fail(L"The uninstaller cannot tell where it is:\r\n" + SystemMessage(error),
                         error);
  }
  const std::wstring record = program.substr(0, program.find_last_of(L'\\') + 1) + kRecordName;
  // Started from a shortcut, the installation is the current directory,
  // which Windows would not let go of while we run.
  wchar_t system[MAX_PATH] = {};
  if (::GetSystemDirectoryW(system, MAX_PATH) != 0)
    ::SetCurrentDirectoryW(system);

  const RecordReading reading = ReadInstallRecord(record);
  if (reading.state == RecordState::kUnreadable) {
    log.Line(L"Failed: the install record " + record + L" cannot be read: " +
             SystemMessage(reading.error) + L" Nothing was removed.");
    return reporter.Fail(L"The install record " + record + L" cannot be read:\r\n" +
                             SystemMessage(reading.error) + L"\r\n\r\nNothing was removed.",
                         reading.error);
  }
  if (reading.state == RecordState::kDamaged) {
    log.Line(L"Failed: the install record " + record + L" is damaged. Nothing was removed.");
    return reporter.Fail(L"The install record " + record +
                             L" is damaged, so the uninstaller cannot tell what the installation "
                             L"put on this computer.\r\n\r\nNothing was removed.",
                         ERROR_INSTALL_FAILURE);
  }
  log.Line(L"Read the install record " + record);
  if (!reporter.Confirm()) {
    log.Line(L"Answered No. Nothing was removed.");
    return ERROR_INSTALL_USEREXIT;
  }

  const Installation& installation = reading.installation;
  Removal services;
  const ServiceFailure service = RemoveServices(installation, services);
  LogRemoval(log, services);
  if (service.error != ERROR_SUCCESS) {
    const std::wstring what =
        service.service.empty() ? std::wstring(L"The service control manager cannot be reached")
                                : L"The service \"" + service.service +
                                      (service.stopping ? L"\" cannot be stopped"
                                       : service.stays ? L"\" is still registered after its removal"
                                                       : L"\" cannot be removed");
    log.Line(L"Failed: " + what + L": " + SystemMessage(service.error) +
             L" Files and settings were left as they were.");
    return reporter.Fail(what + L":\r\n" + SystemMessage(service.error) +
                             L"\r\n\r\nQuolvex Antivirus 5.0 was not removed; its files and "
                             L"settings are as they were.",
                         service.error);
  }

  Removal removal = RemoveInstallation(installation, program, record);
  LogRemoval(log, removal);
  removal.kept.insert(removal.kept.begin(), services.kept.begin(), services.kept.end());
  if (!removal.failures.empty()) {
    log.Line(
        L"Quolvex Antivirus 5.0 was not removed completely; the uninstaller and its record "
        L"stay.");
    std::wstring text =
        L"Quolvex Antivirus 5.0 was not removed completely. These could not be "
        L"removed:";
    for (const Failure& failure : removal.failures)
      text += L"\r\n" + failure.what + L": " + SystemMessage(failure.error);
    text += KeptList(removal) + L"\r\n\r\nThe uninstaller stays: run " + program +
            L" again once this is put right.";
    return reporter.Fail(text, removal.failures.front().error);
  }

  CleanupCopy copy;
  error = PrepareCleanup(program, copy);
  if (error != ERROR_SUCCESS) {
    log.Line(
        L"Failed: the uninstaller cannot copy itself to the temp directory to remove "
        L"itself and its record: " +
        SystemMessage(error));
    return reporter.Fail(
        L"Quolvex Antivirus 5.0 was removed, but the uninstaller cannot remove "
        L"itself and " +
            record + L":\r\n" + SystemMessage(error) + KeptList(removal),
        error);
  }
  reporter.Inform(L"Quolvex Antivirus 5.0 was removed." + KeptList(removal));
  error = StartCleanup(copy, program, record);
  if (error != ERROR_SUCCESS) {
    DiscardCleanup(copy);
    log.Line(L"Failed: the clean-up copy " + copy.program + L" cannot be started: " +
             SystemMessage(error) + L" Delete " + program + L" and " + record + L" by hand.");
    return reporter.Fail(L"The uninstaller cannot remove itself and " + record + L":\r\n" +
                             SystemMessage(error) + L"\r\n\r\nDelete them by hand.",
                         error);
  }
  log.Line(L"Started the clean-up copy " + copy.program + L", which deletes " + record +
           (removal.programGoes ? L" and " + program : std::wstring()) +
           L" once this program has ended");
  log.Line(L"Quolvex Antivirus 5.0 was removed.");
  return ERROR_SUCCESS;
}

// Whoever waits for us reads STILL_ACTIVE (259) as "running", so that value
// is never the one we end with.
DWORD ExitCode(DWORD code) {
  return code == STILL_ACTIVE ? ERROR_GEN_FAILURE : code;
}

// The log comes first: a run that cannot keep the log it was asked for
// removes nothing, since nobody would learn what it removed.
DWORD UninstallWithLog(const Command& command) {
  const Reporter reporter(command.quiet);
  Log log;
  if (!command.log.empty()) {
    if (const DWORD error = log.Create(command.log); error != ERROR_SUCCESS) {
      return reporter.Fail(L"The log " + command.log + L" cannot be created:\r\n" +
                               SystemMessage(error) + L"\r\n\r\nNothing was removed.",
                           error);
    }
  }
  log.Line(kProgramLine);
  log.Line(L"Command line: " + std::wstring(::GetCommandLineW()));
  DWORD code = ERROR_GEN_FAILURE;
  // Ends as WinMain would, with the last line written.
  try {
    code = ExitCode(Uninstall(reporter, log));
  } catch (...) {
    log.Line(L"Failed: an unexpected error ended the uninstaller");
  }
  log.Line(L"Exit code " + std::to_wstring(code));
  return code;
}

DWORD Run() {
  int count = 0;
  UniqueLocalMemory<wchar_t**> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  // Without the arguments we cannot know that /quiet was not asked for.
  if (!arguments) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_PARAMETER;
  }
  const Command command = ParseCommand(count, arguments.get());
  switch (command.mode) {
    case Mode::kUninstall:
      return UninstallWithLog(command);
    case Mode::kCleanup: {
      DWORD error = ERROR_SUCCESS;
      const std::wstring self = OwnProgramPath(error);
      if (self.empty())
        return error;
      CleanUpAfter(command.processId, command.record, command.program, self);
      return ERROR_SUCCESS;
    }
    case Mode::kUsage:
      break;
  }
  if (!command.quiet) {
    ::MessageBoxW(nullptr,
                  L"Usage: uninstall.exe [/quiet] [/log=PATH]\r\n\r\nRemoves Quolvex "
                  L"Antivirus 5.0 as the install record beside the program lists it. With /quiet "
                  L"it asks nothing and shows nothing; the exit code tells the result. With "
                  L"/log=PATH it writes what it does to the file PATH, which it creates new.",
                  kCaption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace
}  // namespace qv::payload

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No system box (a missing disk, a crash report): a quiet run and the
  // clean-up copy have nobody to click it away.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // An exception escaping WinMain ends in the runtime's abort box; end with
  // an error code instead.
  try {
    return static_cast<int>(qv::payload::ExitCode(qv::payload::Run()));
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}
