#include "win32/Security.h"

#include <sddl.h>

namespace qv {

namespace {
// D:P - a protected list; OICI - inherited by files and directories below.
// 0x1200a9 is read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
constexpr const char* kInstalled = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr const char* kAdministratorsOnly = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}  // namespace

TSecurityDescriptor::TSecurityDescriptor(TProtection protection) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const char* text = protection == TProtection::kInstalled ? kInstalled : kAdministratorsOnly;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &descriptor,
                                                             nullptr) == FALSE) {
    return;
  }
  descriptor_.reset(descriptor);
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor;
  attributes_.bInheritHandle = FALSE;
}

bool CreateProtectedDirectory(const std::string& path, TProtection protection) {
  TSecurityDescriptor security(protection);
  if (security.Attributes() == nullptr)
    return false;
  return ::CreateDirectoryA(path.c_str(), security.Attributes()) != FALSE;
}

bool ProtectFile(const std::string& path, TProtection protection) {
  TSecurityDescriptor security(protection);
  if (security.Attributes() == nullptr)
    return false;
  // The protected flag of the descriptor is what cuts the inheritance.
  return ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION,
                            security.Attributes()->lpSecurityDescriptor) != FALSE;
}

}  // namespace qv
