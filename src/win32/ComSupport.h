#pragma once
// The platform's error classes, and ownership of COM interface pointers.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>

#include "core/Exceptions.h"

namespace qv {

// A failed system call, with the system's text for its error code.
QV_DECLARE_EXCEPTION(EOSError, Exception);
// A failed COM call, with the system's text for its HRESULT.
QV_DECLARE_EXCEPTION(EOleSysError, Exception);
// An object that does not provide an interface asked of it.
QV_DECLARE_EXCEPTION(EInterfaceNotSupported, Exception);

// The system's text for an error code or HRESULT; a generic text when the
// system has none.
std::string SystemErrorText(DWORD code);
// Raises EOleSysError for a failed HRESULT.
void OleCheck(HRESULT result);

// One reference to a COM interface, released at scope end. Move-only.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Release();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Release(); }

  T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  // For a call that hands out a new reference; drops the one held.
  T** put() noexcept {
    Release();
    return &ptr_;
  }
  void Release() noexcept {
    if (ptr_ != nullptr)
      std::exchange(ptr_, nullptr)->Release();
  }

  // Another interface of the same object; raises EInterfaceNotSupported
  // when the object has none.
  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> other;
    if (ptr_ == nullptr ||
        FAILED(ptr_->QueryInterface(iid, reinterpret_cast<void**>(other.put()))) || !other) {
      throw EInterfaceNotSupported("Interface not supported");
    }
    return other;
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace qv
