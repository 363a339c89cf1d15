#pragma once
// The few file operations that writing a payload to disk needs, behind an
// interface: the product implements it on the Windows API, the native tests
// on POSIX, and tests can count or refuse what is written.
#include <cstdint>
#include <memory>
#include <string>

#include "core/Stream.h"

namespace qv {

class TFileLayer {
 public:
  virtual ~TFileLayer() = default;

  // Creates the file, or truncates it when it exists, open for reading and
  // writing and shared with no one while the returned stream lives (it
  // closes the file). On failure: null, and error holds the system's code,
  // taken before anything else can overwrite it.
  virtual std::unique_ptr<TStream> CreateAlways(const std::string& fileName, uint32_t& error) = 0;

  // The fully expanded name of a file (absolute, "." and ".." resolved);
  // the file and its directory need not exist.
  virtual std::string ExpandFileName(const std::string& fileName) = 0;

  // The system's text for an error code, without a trailing line break.
  virtual std::string SysErrorMessage(uint32_t error) = 0;
};

// The layer that TBinaryData::SaveToFile uses when it is given none. The
// program installs one at start-up; the layer must outlive every save.
// Without one, DefaultFileLayer() raises EInvalidOperation.
void SetDefaultFileLayer(TFileLayer* layer) noexcept;
TFileLayer& DefaultFileLayer();

// The POSIX implementation (native builds only). Share mode 0 is emulated
// with an exclusive advisory lock, which binds every user of this layer.
TFileLayer& NativeFileLayer();

}  // namespace qv
