#pragma once
// Starting a program through the shell and waiting for it on the GUI
// thread, which keeps handling window messages meanwhile.
#include <array>
#include <cstdint>
#include <string>

namespace qv {

// Show-window values by state: Normal, Minimized, Maximized, Hidden.
inline constexpr std::array<int, 4> RunWindowState = {1, 6, 3, 0};
inline constexpr int kRunHidden = 3;

// Starts program with parameters in directory, shown as RunWindowState[state],
// and waits for it while pumping messages. Returns -1 when nothing could be
// waited for, otherwise the last exit code read: 259 (still active) when the
// wait ended because the application is terminating. While it waits,
// *running (when given) holds the program's process handle, so that what
// runs inside the pumping can wait for the program too; null afterwards.
int32_t RunAndWait(const std::string& program, const std::string& parameters,
                   const std::string& directory, int state, void** running = nullptr);

}  // namespace qv
