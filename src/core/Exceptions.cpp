#include "core/Exceptions.h"

namespace qv {

// The raiser's address: the code that called this constructor (the throw
// site, or the constructor of a derived class called from it).
__attribute__((noinline)) Exception::Exception(std::string message)
    : message_(std::move(message)),
      address_(__builtin_extract_return_addr(__builtin_return_address(0))) {}
Exception::~Exception() = default;

EAbort::EAbort() : Exception("Operation aborted") {}

__attribute__((noinline)) void SilentAbort() {
  EAbort error;
  error.SetExceptAddress(__builtin_extract_return_addr(__builtin_return_address(0)));
  throw error;
}

}  // namespace qv
