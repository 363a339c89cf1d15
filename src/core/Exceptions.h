#pragma once
// The exception hierarchy of the framework. Every failure the framework
// raises derives from Exception and carries a fixed English message; the
// shell shows it by message and by class name (the last-resort box).
#include <exception>
#include <string>

namespace qv {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  ~Exception() override;

  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

  // Code address at which the exception was raised (SilentAbort passes its
  // caller's).
  void* ExceptAddress() const noexcept { return address_; }
  void SetExceptAddress(void* address) noexcept { address_ = address; }

 private:
  std::string message_;
  void* address_ = nullptr;
};

#define QV_DECLARE_EXCEPTION(Name, Base)                              \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// EAbort is the silent exception: guards swallow it without a sign.
class EAbort : public Exception {
 public:
  EAbort();
  explicit EAbort(std::string message) : Exception(std::move(message)) {}
  const char* ClassName() const noexcept override { return "EAbort"; }
};

QV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
QV_DECLARE_EXCEPTION(EOutOfResources, Exception);
QV_DECLARE_EXCEPTION(EComponentError, Exception);
QV_DECLARE_EXCEPTION(EStreamError, Exception);
QV_DECLARE_EXCEPTION(EReadError, EStreamError);
QV_DECLARE_EXCEPTION(EWriteError, EStreamError);
QV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
QV_DECLARE_EXCEPTION(EClassNotFound, EReadError);
QV_DECLARE_EXCEPTION(EResNotFound, Exception);

// Raises EAbort: leaves the current handler at once; the nearest guard
// ignores it. Used by a close handler to refuse the close.
[[noreturn]] void SilentAbort();

}  // namespace qv
