#include "core/Exceptions.h"

namespace qv {

Exception::Exception(std::string message) : message_(std::move(message)) {}
Exception::~Exception() = default;

EAbort::EAbort() : Exception("Operation aborted") {}

__attribute__((noinline)) void SilentAbort() {
  EAbort error;
  error.SetExceptAddress(__builtin_extract_return_addr(__builtin_return_address(0)));
  throw error;
}

}  // namespace qv
