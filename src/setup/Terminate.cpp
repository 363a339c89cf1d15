// What std::terminate runs in Setup.exe. The C++ runtime's own handler
// prints the exception's demangled type to a standard error that a GUI
// program does not have, and drags the runtime's whole demangler (a
// sixth of the program's code) into the image. Reaching it means an
// exception escaped the guards or a noexcept function: say so and end.
#include <windows.h>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() {
  ::MessageBoxA(nullptr, "An error occurred that could not be reported.", "Application Error",
                MB_TASKMODAL | MB_ICONERROR);
  // The exit code of abort(), without the runtime's own message box.
  ::TerminateProcess(::GetCurrentProcess(), 3);
  for (;;) {
  }
}

}  // namespace __gnu_cxx
