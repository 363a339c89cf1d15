#pragma once
// Owning handles of the payload programs. These programs stand alone (they
// are shipped inside Setup.exe, not linked with it), so they carry their own
// small set: one move-only owner per kind of handle, each with its close
// function and its empty value.
#include <windows.h>

#include <utility>

namespace qv::payload {

template <class Traits>
class Unique {
 public:
  using Handle = typename Traits::Handle;

  Unique() noexcept = default;
  explicit Unique(Handle handle) noexcept : handle_(handle) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  ~Unique() { reset(); }

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
// Service control manager and service handles share one close function.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};
// Memory the system allocated for us with LocalAlloc (CommandLineToArgvW,
// FormatMessage with FORMAT_MESSAGE_ALLOCATE_BUFFER).
template <class T>
struct LocalMemoryTraits {
  using Handle = T;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::LocalFree(h); }
};

using UniqueKernelHandle = Unique<KernelHandleTraits>;
using UniqueServiceHandle = Unique<ServiceHandleTraits>;
template <class T>
using UniqueLocalMemory = Unique<LocalMemoryTraits<T>>;

}  // namespace qv::payload
