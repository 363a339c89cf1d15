#pragma once
// The exception barrier of every callback the shell makes into handler code:
// window procedures, timer ticks, OnCreate, the modal close step, the loop.
// A C++ exception must never unwind through a Windows frame (DWARF-2
// unwinding on i686 cannot), so each of them ends here and is reported.

namespace qv {

// Reports the exception being handled; called only inside a catch block.
// May rethrow it to say it could not report it.
using ExceptionReporter = void (*)();

// The shell installs its reporter while an application object exists; the
// previous one is returned so that it can be put back.
ExceptionReporter SetExceptionReporter(ExceptionReporter reporter) noexcept;

// Reports the exception being handled (call only inside a catch block)
// through the installed reporter, or in a last-resort box when there is
// none or it fails. Never throws.
void HandleCurrentException() noexcept;

// Runs action inside a guard; returns false when an exception was reported.
template <class Action>
bool Guarded(Action&& action) noexcept {
  try {
    action();
    return true;
  } catch (...) {
    HandleCurrentException();
    return false;
  }
}

}  // namespace qv
