#pragma once
// Setup started by a deployment tool: its command line, its log, and the
// answers nobody at the screen can give.
#include <cstdint>
#include <string>
#include <vector>

#include "core/SetupOptions.h"
#include "win32/Log.h"

namespace qv {

// The arguments after the program's name, split as the system splits a
// command line, in the ANSI code page.
std::vector<std::string> CommandLineArguments();

// Opens the log that options ask for: /log's path, else, for /quiet and
// /passive, %TEMP%\QuolvexSetup.log (another name beside it when that one
// is refused: any user may have left a file of that name in a shared temp
// folder). False with the system's error when the asked-for log cannot be
// made; true, with nothing opened, when none is asked for.
bool OpenSetupLog(TSetupLog& log, const TSetupOptions& options, uint32_t& error);

// From now on, a dialog gets the answer a deployment tool expects instead
// of waiting for a click: an earlier installation's files are overwritten,
// a restart is declined, a message is taken as read; in a passive run the
// abort question, which only a click on Cancel raises, is still asked.
// With /norestart alone, only the restart is declined. Every message is
// logged.
void AnswerUnattended(const TSetupOptions& options);

}  // namespace qv
