// Entry of uninstall.exe, the uninstaller of Quolvex Antivirus 5.0. It
// removes what the install record beside it (install.rec) lists:
//
//   (no arguments)   asks once, removes, reports what stayed and why
//   /quiet           asks nothing and shows nothing: the exit code tells
//   /cleanup PID RECORD PROGRAM
//                    only for the copy the uninstaller starts from the temp
//                    directory: deletes PROGRAM and RECORD once PID has ended
//
// Exit codes: 0 when the product is removed (files the administrator
// changed stay, and that is no failure); ERROR_INSTALL_USEREXIT (1602) when
// the question is answered No; ERROR_INSTALL_FAILURE (1603) for a damaged
// record; ERROR_INVALID_PARAMETER for unknown arguments; otherwise the
// Win32 error of what failed, reading the record (ERROR_FILE_NOT_FOUND when
// it is missing) included, and ERROR_SERVICE_EXISTS for a service that is
// still registered after its removal. Whenever it fails, the uninstaller and its record
// stay, and running it again carries on where it stopped.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "../common/Handles.h"
#include "../common/SystemMessage.h"
#include "../service/ServiceInstaller.h"
#include "Uninstaller.h"

namespace qv::payload {
namespace {

constexpr wchar_t kCaption[] = L"Quolvex Antivirus 5.0 Uninstall";
constexpr wchar_t kRecordName[] = L"install.rec";

enum class Mode { kUninstall, kCleanup, kUsage };

struct Command {
  Mode mode = Mode::kUsage;
  bool quiet = false;
  DWORD processId = 0;
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

Command ParseCommand(int count, wchar_t** arguments) {
  Command command;
  if (count == 1 || (count == 2 && IsSwitch(arguments[1], L"quiet"))) {
    command.mode = Mode::kUninstall;
  } else if (count == 5 && IsSwitch(arguments[1], L"cleanup") &&
             ParseProcessId(arguments[2], command.processId)) {
    command.mode = Mode::kCleanup;
    command.record = arguments[3];
    command.program = arguments[4];
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

DWORD Uninstall(bool quiet) {
  const Reporter reporter(quiet);
  DWORD error = ERROR_SUCCESS;
  const std::wstring program = OwnProgramPath(error);
  if (program.empty())
    return reporter.Fail(L"The uninstaller cannot tell where it is:\r\n" + SystemMessage(error),
                         error);
  const std::wstring record = program.substr(0, program.find_last_of(L'\\') + 1) + kRecordName;
  // Started from a shortcut, the installation is the current directory,
  // which Windows would not let go of while we run.
  wchar_t system[MAX_PATH] = {};
  if (::GetSystemDirectoryW(system, MAX_PATH) != 0)
    ::SetCurrentDirectoryW(system);

  const RecordReading reading = ReadInstallRecord(record);
  if (reading.state == RecordState::kUnreadable) {
    return reporter.Fail(L"The install record " + record + L" cannot be read:\r\n" +
                             SystemMessage(reading.error) + L"\r\n\r\nNothing was removed.",
                         reading.error);
  }
  if (reading.state == RecordState::kDamaged) {
    return reporter.Fail(L"The install record " + record +
                             L" is damaged, so the uninstaller cannot tell what the installation "
                             L"put on this computer.\r\n\r\nNothing was removed.",
                         ERROR_INSTALL_FAILURE);
  }
  if (!reporter.Confirm())
    return ERROR_INSTALL_USEREXIT;

  const Installation& installation = reading.installation;
  std::vector<Kept> keptServices;
  const ServiceFailure service = RemoveServices(installation, keptServices);
  if (service.error != ERROR_SUCCESS) {
    const std::wstring what =
        service.service.empty() ? std::wstring(L"The service control manager cannot be reached")
                                : L"The service \"" + service.service +
                                      (service.stopping ? L"\" cannot be stopped"
                                       : service.stays ? L"\" is still registered after its removal"
                                                       : L"\" cannot be removed");
    return reporter.Fail(what + L":\r\n" + SystemMessage(service.error) +
                             L"\r\n\r\nQuolvex Antivirus 5.0 was not removed; its files and "
                             L"settings are as they were.",
                         service.error);
  }

  Removal removal = RemoveInstallation(installation, program, record);
  removal.kept.insert(removal.kept.begin(), keptServices.begin(), keptServices.end());
  if (!removal.failures.empty()) {
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
    return reporter.Fail(L"The uninstaller cannot remove itself and " + record + L":\r\n" +
                             SystemMessage(error) + L"\r\n\r\nDelete them by hand.",
                         error);
  }
  return ERROR_SUCCESS;
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
      return Uninstall(command.quiet);
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
                  L"Usage: uninstall.exe [/quiet]\r\n\r\nRemoves Quolvex Antivirus 5.0 as the "
                  L"install record beside the program lists it. With /quiet it asks nothing "
                  L"and shows nothing; the exit code tells the result.",
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
  // an error code instead. Whoever waits for us reads STILL_ACTIVE (259) as
  // "running", so that value is never the one we end with.
  try {
    const DWORD code = qv::payload::Run();
    return static_cast<int>(code == STILL_ACTIVE ? ERROR_GEN_FAILURE : code);
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}
