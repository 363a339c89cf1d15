#pragma once
// Registry access through one small object: a root, at most one open
// ("current") key, and typed text and number values of that key. Each user
// makes its own object; nothing is shared or kept between operations.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/Exceptions.h"
#include "win32/Handles.h"

namespace qv {

QV_DECLARE_EXCEPTION(ERegistryException, Exception);

// How this layer classifies a stored value's type.
enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdBinary, rdInteger };
TRegDataType DataTypeOf(DWORD storedType) noexcept;

class TRegistry {
 public:
  TRegistry() = default;
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY CurrentHandle() const noexcept { return current_.get(); }
  HKEY Root() const noexcept { return root_; }
  bool DeferFlush() const noexcept { return deferFlush_; }
  const std::string& CurrentPathName() const noexcept { return currentPathName_; }
  bool OwnsRoot() const noexcept { return ownsRoot_; }
  REGSAM AccessMask() const noexcept { return accessMask_; }

  // Replacing the root closes the current key; the same root again is a no-op.
  void SetRoot(HKEY root);
  // A leading "\" makes the path absolute (below Root); any other path is
  // below the current key, or below Root while none is open. On failure the
  // current key stays open and current.
  bool OpenPath(const std::string& path, bool mayCreate);
  void ClosePath() noexcept;
  // Whether the key can be opened for reading; leaves the state alone.
  bool PathExists(const std::string& path);

  bool HasValue(const std::string& name) const;
  // Missing or zero-size values read as empty; only REG_SZ and
  // REG_EXPAND_SZ are text, and the latter is returned unexpanded.
  std::string ReadText(const std::string& name) const;
  void WriteText(const std::string& name, const std::string& text);
  void WriteNumber(const std::string& name, int32_t value);

 private:
  // The base key and sub-path a path names.
  HKEY ResolveBase(const std::string& path, std::string& subPath, bool& relative) const noexcept;
  // Stores a value in the current key; raises the layer's error on failure,
  // no key open included.
  void SetValue(const std::string& name, DWORD type, const void* data, DWORD size);

  UniqueRegistryKey current_;
  HKEY root_ = HKEY_CURRENT_USER;
  bool deferFlush_ = true;
  std::string currentPathName_;
  bool ownsRoot_ = false;
  REGSAM accessMask_ = KEY_ALL_ACCESS;
};

}  // namespace qv
