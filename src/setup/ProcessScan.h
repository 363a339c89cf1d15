#pragma once
// The running-process scan of the start-up checks: none of the add-on's own
// programs may run while the installer would overwrite them.
#include <string>
#include <vector>

namespace qv {

// The add-on's program names, lower case, in the order they are reported.
const std::vector<std::string>& AddOnProgramNames();

// One entry per (name, path) pair in which the lower-cased path contains
// the name: names in list order, and for each name the paths in order.
std::vector<std::string> RunningProgramMatches(const std::vector<std::string>& names,
                                               const std::vector<std::string>& runningPaths);

// The executable paths of the processes this user may inspect, in the order
// the system lists them; empty when the process-status library is missing
// or the enumeration fails.
std::vector<std::string> RunningProgramPaths();

// Shows an error for every match and requests termination after each.
void CheckRunningProcesses(const std::vector<std::string>& names);

}  // namespace qv
