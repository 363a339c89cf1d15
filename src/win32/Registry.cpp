#include "win32/Registry.h"

#include <algorithm>

#include "core/Format.h"

namespace qv {

namespace {
constexpr REGSAM kReadOnlyAccess = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
}  // namespace

TRegDataType DataTypeOf(DWORD storedType) noexcept {
  switch (storedType) {
    case REG_SZ:
      return TRegDataType::rdString;
    case REG_EXPAND_SZ:
      return TRegDataType::rdExpandString;
    case REG_BINARY:
      return TRegDataType::rdBinary;
    case REG_DWORD:
      return TRegDataType::rdInteger;
    default:
      return TRegDataType::rdUnknown;
  }
}

TRegistry::~TRegistry() {
  ClosePath();
  if (ownsRoot_)
    ::RegCloseKey(root_);
}

void TRegistry::SetRoot(HKEY root) {
  if (root == root_)
    return;
  if (ownsRoot_) {
    ::RegCloseKey(root_);
    ownsRoot_ = false;
  }
  root_ = root;
  ClosePath();
}

HKEY TRegistry::ResolveBase(const std::string& path, std::string& subPath,
                            bool& relative) const noexcept {
  // Only the first character decides: "\\a" names the key "\a" below Root.
  if (!path.empty() && path.front() == '\\') {
    subPath = path.substr(1);
    relative = false;
    return root_;
  }
  subPath = path;
  relative = static_cast<bool>(current_);
  return relative ? current_.get() : root_;
}

bool TRegistry::OpenPath(const std::string& path, bool mayCreate) {
  std::string subPath;
  bool relative = false;
  const HKEY base = ResolveBase(path, subPath, relative);
  HKEY opened = nullptr;
  LONG result;
  if (mayCreate && !subPath.empty()) {
    result = ::RegCreateKeyExA(base, subPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               accessMask_, nullptr, &opened, nullptr);
  } else {
    result = ::RegOpenKeyExA(base, subPath.c_str(), 0, accessMask_, &opened);
  }
  if (result != ERROR_SUCCESS)
    return false;
  UniqueRegistryKey key(opened);
  std::string newPath = subPath;
  if (relative && !currentPathName_.empty())
    newPath = subPath.empty() ? currentPathName_ : currentPathName_ + "\\" + subPath;
  ClosePath();
  current_ = std::move(key);
  currentPathName_ = std::move(newPath);
  return true;
}

void TRegistry::ClosePath() noexcept {
  current_.reset();
  currentPathName_.clear();
}

bool TRegistry::PathExists(const std::string& path) {
  const REGSAM saved = accessMask_;
  accessMask_ = kReadOnlyAccess;
  std::string subPath;
  bool relative = false;
  const HKEY base = ResolveBase(path, subPath, relative);
  HKEY opened = nullptr;
  const bool exists =
      ::RegOpenKeyExA(base, subPath.c_str(), 0, accessMask_, &opened) == ERROR_SUCCESS;
  UniqueRegistryKey closeAtOnce(exists ? opened : nullptr);
  accessMask_ = saved;
  return exists;
}

bool TRegistry::HasValue(const std::string& name) const {
  if (!current_)
    return false;
  DWORD type = 0;
  DWORD size = 0;
  return ::RegQueryValueExA(current_.get(), name.c_str(), nullptr, &type, nullptr, &size) ==
         ERROR_SUCCESS;
}

std::string TRegistry::ReadText(const std::string& name) const {
  if (!current_)
    return {};
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(current_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return {};
  }
  std::string text(size, '\0');
  if (::RegQueryValueExA(current_.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    throw ERegistryException(Format("Failed to get data for '%s'", name));
  }
  const TRegDataType kind = DataTypeOf(type);
  if (kind != TRegDataType::rdString && kind != TRegDataType::rdExpandString)
    throw ERegistryException(Format("Invalid data type for '%s'", name));
  // The value may have shrunk between the two queries; trust the read. The
  // text ends at its first zero.
  text.resize(std::min<size_t>(text.size(), size));
  return text.substr(0, text.find('\0'));
}

void TRegistry::WriteText(const std::string& name, const std::string& text) {
  // The stored size counts the terminating zero: an empty text is one byte.
  SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void TRegistry::WriteNumber(const std::string& name, int32_t value) {
  const DWORD data = static_cast<DWORD>(value);
  SetValue(name, REG_DWORD, &data, sizeof data);
}

void TRegistry::SetValue(const std::string& name, DWORD type, const void* data, DWORD size) {
  if (!current_ || ::RegSetValueExA(current_.get(), name.c_str(), 0, type,
                                    static_cast<const BYTE*>(data), size) != ERROR_SUCCESS) {
    throw ERegistryException(Format("Failed to set data for '%s'", name));
  }
}

}  // namespace qv
