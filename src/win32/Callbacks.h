#pragma once
// The only way a function of ours is handed to Windows to be called back:
// these pointer types take nothing but noexcept functions, so a callback
// that could let a C++ exception unwind into a system frame does not
// compile. Each such function runs its body through Guarded (Guard.h).
#include <windows.h>
#include <shlobj.h>

namespace qv {

using WindowProcedure = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM) noexcept;
using WindowEnumerator = BOOL(CALLBACK*)(HWND, LPARAM) noexcept;
using HookProcedure = LRESULT(CALLBACK*)(int, WPARAM, LPARAM) noexcept;
using TimerProcedure = void(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD) noexcept;
using BrowseProcedure = int(CALLBACK*)(HWND, UINT, LPARAM, LPARAM) noexcept;

// The system's own pointer types, from ours; the other way does not exist.
inline WNDPROC SystemCallback(WindowProcedure procedure) noexcept {
  return procedure;
}
inline WNDENUMPROC SystemCallback(WindowEnumerator procedure) noexcept {
  return procedure;
}
inline HOOKPROC SystemCallback(HookProcedure procedure) noexcept {
  return procedure;
}
inline TIMERPROC SystemCallback(TimerProcedure procedure) noexcept {
  return procedure;
}
inline BFFCALLBACK SystemCallback(BrowseProcedure procedure) noexcept {
  return procedure;
}

// Replaces the window procedure of `window`; returns the previous one.
inline WNDPROC ReplaceWindowProcedure(HWND window, WindowProcedure procedure) noexcept {
  return reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SystemCallback(procedure))));
}

}  // namespace qv
