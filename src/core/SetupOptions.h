#pragma once
// What the administrator asked of Setup on its command line. Deployment
// tools start it with switches and nobody at the screen; without any, it
// is the interactive wizard it always was.
//
//   /quiet            no window at all; the result is the exit code and the log
//   /passive          the background and the progress only, no question
//   /accepteula       the licence accepted; required by /quiet and /passive
//   /dir=PATH         the destination
//   /log=PATH         a log of everything Setup does, in UTF-8
//   /norestart        never restart the computer
//   /?                the list of switches
//
// A switch starts with '/' or '-' and is matched without regard to case; a
// value follows '='. Quotes are the system's to remove when it splits the
// command line: "/dir=C:\My Dir" and /dir="C:\My Dir" arrive alike.
#include <string>
#include <vector>

namespace qv {

struct TSetupOptions {
  enum class TMode { kWizard, kQuiet, kPassive };
  TMode mode = TMode::kWizard;
  bool acceptEula = false;
  bool noRestart = false;
  bool help = false;
  bool hasDir = false;
  std::string dir;
  bool hasLog = false;
  std::string log;
  // Arguments that are no switch of Setup's, a switch given a value it does
  // not take or lacking one it needs, or /quiet with /passive.
  std::vector<std::string> wrong;

  bool Unattended() const noexcept { return mode != TMode::kWizard; }
};

// The arguments without the program's own name, as the system split them.
TSetupOptions ParseSetupOptions(const std::vector<std::string>& arguments);

// The switches, for the box /? shows and a wrong argument's log line.
extern const char kSetupUsage[];

}  // namespace qv
