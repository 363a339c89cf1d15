#include "win32/Security.h"

#include <sddl.h>

#include <vector>

namespace qv {

namespace {
// D:P - a protected list; OICI - inherited by files and directories below.
// 0x1200a9 is read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
constexpr const char* kInstalled = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr const char* kAdministratorsOnly = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Rights that change an object or what is in it: writing, appending,
// extended attributes, deleting children, attributes, deleting it, changing
// its list or its owner, and the generic rights that include them.
constexpr ACCESS_MASK kChangingRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// SYSTEM, Administrators and the system's installer account.
constexpr const char* kTrustedSids[] = {
    "S-1-5-18", "S-1-5-32-544", "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};

std::string SidText(PSID sid) {
  LPSTR text = nullptr;
  if (sid == nullptr || ::ConvertSidToStringSidA(sid, &text) == FALSE)
    return "?";
  const UniqueLocalMemory<LPSTR> owned(text);
  return text;
}

// The account this process runs as: Setup is elevated, and what it made
// itself may carry its own account as owner (Wine reports every file so).
std::string ProcessUser() {
  HANDLE raw = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw) == FALSE)
    return {};
  const UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 ||
      ::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) == FALSE)
    return {};
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

bool Trusted(PSID sid) {
  const std::string text = SidText(sid);
  for (const char* trusted : kTrustedSids) {
    if (text == trusted)
      return true;
  }
  static const std::string self = ProcessUser();
  return !self.empty() && text == self;
}

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

std::string OthersWhoMayChange(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) == FALSE || owner == nullptr)
    return "no owner";
  // An owner may always rewrite the list.
  if (!Trusted(owner))
    return SidText(owner);
  BOOL present = FALSE;
  PACL acl = nullptr;
  if (::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) == FALSE)
    return "?";
  if (present == FALSE || acl == nullptr)
    return "S-1-1-0";  // no list: everyone may do anything
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (::GetAce(acl, i, reinterpret_cast<void**>(&header)) == FALSE)
      return "?";
    // Inherited by what is made below only; it does not guard this object.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
      continue;
    // Denials only take rights away. Of the grants, only the plain kind is
    // read; any other kind of grant to someone else counts against.
    if (header->AceType == ACCESS_DENIED_ACE_TYPE)
      continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
      return "?";
    const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if ((ace->Mask & kChangingRights) != 0 && !Trusted(sid))
      return SidText(sid);
  }
  return {};
}

bool IsTrustedAccount(PSID sid) {
  return Trusted(sid);
}

std::string AccountName(const std::string& sid) {
  PSID binary = nullptr;
  if (::ConvertStringSidToSidA(sid.c_str(), &binary) == FALSE)
    return sid;
  const UniqueLocalMemory<PSID> owned(binary);
  char name[256] = {};
  char domain[256] = {};
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use{};
  if (::LookupAccountSidA(nullptr, binary, name, &nameSize, domain, &domainSize, &use) == FALSE ||
      name[0] == '\0') {
    return sid;
  }
  return domain[0] == '\0' ? std::string(name) : std::string(domain) + "\\" + name;
}

bool OthersWhoMayChange(const std::string& path, std::string& who) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    who = "a link";
    return true;
  }
  constexpr SECURITY_INFORMATION kWanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), kWanted, nullptr, 0, &size);
  if (size == 0)
    return false;
  std::vector<BYTE> buffer(size);
  if (::GetFileSecurityA(path.c_str(), kWanted, buffer.data(), size, &size) == FALSE)
    return false;
  who = OthersWhoMayChange(buffer.data());
  return true;
}

}  // namespace qv
