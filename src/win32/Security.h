#pragma once
// The rights of what the installer creates. The services run as LocalSystem
// from the destination and the installer runs elevated, so nothing it makes
// may take its rights from a parent that ordinary users can write to (a
// drive root lets every authenticated user modify what is created there).
#include <string>

#include <windows.h>

#include "win32/Handles.h"

namespace qv {

enum class TProtection {
  // Full control for SYSTEM and Administrators, read and execute for Users.
  kInstalled,
  // SYSTEM and Administrators only: copies of the user's originals.
  kAdministratorsOnly,
};

// An explicit, protected descriptor (nothing inherited from the parent),
// inherited in turn by what is created below a directory that carries it.
class TSecurityDescriptor {
 public:
  explicit TSecurityDescriptor(TProtection protection);
  // For CreateDirectory and CreateFile; null when the system could not make
  // the descriptor, which the callers treat as a failure to create.
  SECURITY_ATTRIBUTES* Attributes() noexcept { return descriptor_ ? &attributes_ : nullptr; }

 private:
  UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
};

// CreateDirectoryA with the protected descriptor; false (last error set)
// when the directory could not be made, or exists.
bool CreateProtectedDirectory(const std::string& path, TProtection protection);

// Gives an existing file the protected descriptor, replacing what it had
// inherited. False (last error set) on failure.
bool ProtectFile(const std::string& path, TProtection protection);

}  // namespace qv
