#include "setup/Unattended.h"

#include <windows.h>
#include <shellapi.h>

#include "core/Format.h"
#include "ui/MessageDialog.h"
#include "win32/Handles.h"

namespace qv {

namespace {

constexpr char kLogName[] = "QuolvexSetup";

TSetupOptions::TMode answeringMode = TSetupOptions::TMode::kWizard;
bool noRestart = false;

std::string Narrow(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0)
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
  return narrow.c_str();
}

TModalResult Answer(const std::string& text, TDialogKind kind, TDialogButtons buttons) {
  const bool question = (buttons & ButtonBit(dbYes)) != 0 && (buttons & ButtonBit(dbNo)) != 0;
  // The restart offer is the only question shown as an error.
  const bool restart = question && kind == TDialogKind::dkError;
  if (answeringMode == TSetupOptions::TMode::kWizard) {
    Log("Message: " + text);
    if (!restart || !noRestart)
      return resNone;
    Log("Answered No (/norestart)");
    return resNo;
  }
  // Only Cancel raises the abort question, and only a passive run has it.
  if (question && kind == TDialogKind::dkInformation &&
      answeringMode == TSetupOptions::TMode::kPassive) {
    Log("Asked: " + text);
    return resNone;
  }
  Log("Message: " + text);
  const TModalResult answer = !question ? resOK : restart ? resNo : resYes;
  Log(answer == resOK ? "Answered OK" : answer == resYes ? "Answered Yes" : "Answered No");
  return answer;
}

std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(MAX_PATH, temp);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(temp, length);
}

}  // namespace

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  UniqueLocalMemory<LPWSTR*> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<std::string> result;
  for (int i = 1; arguments && i < count; ++i)
    result.push_back(Narrow(arguments.get()[i]));
  return result;
}

bool OpenSetupLog(TSetupLog& log, const TSetupOptions& options, uint32_t& error) {
  if (options.hasLog)
    return log.Open(options.log, error);
  if (!options.Unattended())
    return true;
  const std::string temp = TempFolder();
  if (temp.empty())
    return true;
  if (log.Open(temp + kLogName + ".log", error))
    return true;
  // Refused where it stands: a name of our own beside it.
  log.Open(temp + kLogName + "-" + std::to_string(::GetCurrentProcessId()) + ".log", error);
  return true;
}

void AnswerUnattended(const TSetupOptions& options) {
  answeringMode = options.mode;
  noRestart = options.noRestart;
  SetUnattendedAnswer(&Answer);
}

}  // namespace qv
