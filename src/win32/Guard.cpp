#include "win32/Guard.h"

#include <windows.h>

namespace qv {

namespace {
ExceptionReporter installedReporter = nullptr;
}  // namespace

ExceptionReporter SetExceptionReporter(ExceptionReporter reporter) noexcept {
  const ExceptionReporter previous = installedReporter;
  installedReporter = reporter;
  return previous;
}

void HandleCurrentException() noexcept {
  try {
    if (installedReporter == nullptr)
      throw;
    installedReporter();
  } catch (...) {
    // The report itself failed, or nobody can report: the last resort must
    // still tell the user something.
    ::MessageBoxA(nullptr, "An error occurred that could not be reported.", "Application Error",
                  MB_TASKMODAL | MB_ICONERROR);
  }
}

}  // namespace qv
