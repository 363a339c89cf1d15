#pragma once
// Owning and scoped wrappers for Windows handles. Each owning type knows its
// close function and its empty value and is move-only; guards undo what they
// did (end painting, select the old GDI object back, release a window DC).
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <utility>

namespace qv {

template <class Traits>
class UniqueHandleT {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandleT() noexcept = default;
  explicit UniqueHandleT(Handle handle) noexcept : handle_(handle) {}
  UniqueHandleT(const UniqueHandleT&) = delete;
  UniqueHandleT& operator=(const UniqueHandleT&) = delete;
  UniqueHandleT(UniqueHandleT&& other) noexcept : handle_(other.release()) {}
  UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  ~UniqueHandleT() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Empty(); }
  Handle release() noexcept { return std::exchange(handle_, Traits::Empty()); }
  void reset(Handle handle = Traits::Empty()) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::Empty())
      Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
template <class T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteDC(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};
struct WindowTraits {
  using Handle = HWND;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};

// Service control manager and service handles share one close function.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
// Memory the system allocated with LocalAlloc for the caller
// (CommandLineToArgvW, FormatMessage with FORMAT_MESSAGE_ALLOCATE_BUFFER).
template <class T>
struct LocalMemoryTraits {
  using Handle = T;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::LocalFree(h); }
};

// A file search (FindFirstFile): its own close, and INVALID_HANDLE_VALUE.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindClose(h); }
};

// Memory the shell or COM allocates for the caller (item identifier lists).
template <class T>
struct CoTaskMemoryTraits {
  using Handle = T;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CoTaskMemFree(h); }
};

// A security identifier made by AllocateAndInitializeSid.
struct SidTraits {
  using Handle = PSID;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeSid(h); }
};

using UniqueHandle = UniqueHandleT<KernelHandleTraits>;
using UniqueFind = UniqueHandleT<FindHandleTraits>;
template <class T>
using UniqueCoTaskMemory = UniqueHandleT<CoTaskMemoryTraits<T>>;
using UniqueSid = UniqueHandleT<SidTraits>;
using UniqueService = UniqueHandleT<ServiceHandleTraits>;
using UniqueRegistryKey = UniqueHandleT<RegistryKeyTraits>;
template <class T>
using UniqueLocalMemory = UniqueHandleT<LocalMemoryTraits<T>>;
using UniqueFile = UniqueHandleT<FileHandleTraits>;
using UniqueFont = UniqueHandleT<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandleT<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandleT<GdiObjectTraits<HPEN>>;
using UniqueBitmap = UniqueHandleT<GdiObjectTraits<HBITMAP>>;
using UniqueMemoryDc = UniqueHandleT<MemoryDcTraits>;
using UniqueIcon = UniqueHandleT<IconTraits>;
using UniqueModule = UniqueHandleT<ModuleTraits>;
using UniqueWindow = UniqueHandleT<WindowTraits>;

// An exported function as the type it has; FARPROC is only a placeholder.
template <class F>
F EntryPoint(HMODULE module, const char* name) noexcept {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A DLL of the system directory, loaded by its full path so that a DLL of
// the same name elsewhere (beside Setup.exe, in a downloads folder) is
// never the one loaded; null when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const char* name) noexcept {
  char path[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  const auto nameLength = static_cast<UINT>(::lstrlenA(name));
  if (length == 0 || length + 1 + nameLength >= MAX_PATH)
    return nullptr;
  path[length] = '\\';
  ::lstrcpyA(path + length + 1, name);
  HMODULE module = ::LoadLibraryExA(path, nullptr, 0);
  // The loader's old failure values are below 32.
  return reinterpret_cast<uintptr_t>(module) < 32 ? nullptr : module;
}

// A window's device context, released to its window at scope end.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr)
      ::ReleaseDC(window_, dc_);
  }
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint ... EndPaint.
class PaintGuard {
 public:
  explicit PaintGuard(HWND window) noexcept : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
  PaintGuard(const PaintGuard&) = delete;
  PaintGuard& operator=(const PaintGuard&) = delete;
  ~PaintGuard() { ::EndPaint(window_, &ps_); }
  HDC dc() const noexcept { return dc_; }
  const RECT& rect() const noexcept { return ps_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Selects a GDI object into a DC and selects the previous one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;
  ~SelectGuard() {
    if (old_ != nullptr && old_ != HGDI_ERROR)
      ::SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace qv
