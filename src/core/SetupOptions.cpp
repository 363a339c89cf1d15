#include "core/SetupOptions.h"

#include "core/ShellText.h"

namespace qv {

const char kSetupUsage[] =
    "Setup [/quiet | /passive] [/accepteula] [/dir=PATH] [/log=PATH] [/norestart] [/?]\r\n\r\n"
    "/quiet: installs with no window at all; the exit code tells the result\r\n"
    "/passive: shows only the progress and asks nothing\r\n"
    "/accepteula: accepts the licence agreement; required by /quiet and /passive\r\n"
    "/dir=PATH: installs into PATH (an earlier installation's folder wins)\r\n"
    "/log=PATH: writes a log to PATH (/quiet and /passive: %TEMP%\\QuolvexSetup.log)\r\n"
    "/norestart: never restarts the computer\r\n"
    "/?: shows this list";

TSetupOptions ParseSetupOptions(const std::vector<std::string>& arguments) {
  TSetupOptions options;
  bool quiet = false;
  bool passive = false;
  for (const std::string& argument : arguments) {
    const size_t equals = argument.find('=');
    const std::string name =
        argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')
            ? LowerAsciiLetters(
                  argument.substr(1, equals == std::string::npos ? std::string::npos : equals - 1))
            : std::string();
    const bool valued = equals != std::string::npos;
    const std::string value = valued ? argument.substr(equals + 1) : std::string();
    bool known = true;
    if (name == "dir" && valued && !value.empty()) {
      options.hasDir = true;
      options.dir = value;
    } else if (name == "log" && valued && !value.empty()) {
      options.hasLog = true;
      options.log = value;
    } else if (valued) {
      known = false;
    } else if (name == "quiet") {
      quiet = true;
    } else if (name == "passive") {
      passive = true;
    } else if (name == "accepteula") {
      options.acceptEula = true;
    } else if (name == "norestart") {
      options.noRestart = true;
    } else if (name == "?" || name == "h" || name == "help") {
      options.help = true;
    } else {
      known = false;
    }
    if (!known)
      options.wrong.push_back(argument);
  }
  // Two answers to "who is at the screen": neither is guessed.
  if (quiet && passive)
    options.wrong.push_back("/quiet with /passive");
  options.mode = quiet     ? TSetupOptions::TMode::kQuiet
                 : passive ? TSetupOptions::TMode::kPassive
                           : TSetupOptions::TMode::kWizard;
  return options;
}

}  // namespace qv
