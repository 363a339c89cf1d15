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

// Who, besides SYSTEM, Administrators, the system's installer account and
// the account this process runs as, may change what the descriptor guards:
// its owner when that is someone else, or an account its access list lets
// write, delete or change rights (a missing list lets everyone). Empty when
// nobody else may; otherwise the first such account, as a SID string.
std::string OthersWhoMayChange(PSECURITY_DESCRIPTOR descriptor);

// Whether the account is SYSTEM, Administrators, the system's installer
// account or the one this process runs as.
bool IsTrustedAccount(PSID sid);

// An account as an administrator reads it ("Everyone", "BUILTIN\Users"),
// given as a SID string; the SID string itself when the system cannot name
// it, and any other text as it is.
std::string AccountName(const std::string& sid);

// The same for a file or directory on disk, read without following a link
// (a link is someone else's by definition and answers "a link"). False,
// with the last error set, when its descriptor cannot be read.
bool OthersWhoMayChange(const std::string& path, std::string& who);

}  // namespace qv
