#pragma once
// The few file operations that writing a payload to disk needs, behind an
// interface: the product implements it on the Windows API, the native tests
// on POSIX, and tests can count or refuse what is written.
#include <cstdint>
#include <memory>
#include <string>

#include "core/Exceptions.h"
#include "core/Stream.h"

namespace qv {

// Every operation that fails reports the system's code in error, taken
// before anything else can overwrite it.
class TFileLayer {
 public:
  virtual ~TFileLayer() = default;

  // Creates a file that does not exist yet, open for reading and writing
  // and shared with no one while the returned stream lives (it closes the
  // file). A file, link or device already of that name is neither opened
  // nor followed: null, with the system's code.
  virtual std::unique_ptr<TStream> CreateNew(const std::string& fileName, uint32_t& error) = 0;

  // Makes the data written so far to a stream from CreateNew reach the
  // disk; false for a failure or a stream of any other origin.
  virtual bool Flush(TStream& stream, uint32_t& error) = 0;

  // Puts the closed file source in the place of target, which may exist,
  // in one step: target is either the old file or the whole source, never a
  // mix. On failure both stay as they were.
  virtual bool Replace(const std::string& source, const std::string& target, uint32_t& error) = 0;

  // Removes the file if it can; what is left behind is cleaned up later.
  virtual void Delete(const std::string& fileName) noexcept = 0;

  // The fully expanded name of a file (absolute, "." and ".." resolved);
  // the file and its directory need not exist.
  virtual std::string ExpandFileName(const std::string& fileName) = 0;

  // The system's text for an error code, without a trailing line break.
  virtual std::string SysErrorMessage(uint32_t error) = 0;
};

// The framework's error for a file that could not be created or written,
// naming the file as the user knows it, with the system's reason for error.
EFCreateError CannotCreateError(TFileLayer& files, const std::string& fileName, uint32_t error);

// The name under which a payload for target is written before it replaces
// target: beside it, so that the replacement stays on one volume. A file of
// this name left by a crash is never reused; the install journal removes it.
std::string TemporaryFileName(const std::string& target);

// The layer that TBinaryData::SaveToFile uses when it is given none. The
// program installs one at start-up; the layer must outlive every save.
// Without one, DefaultFileLayer() raises EInvalidOperation.
void SetDefaultFileLayer(TFileLayer* layer) noexcept;
TFileLayer& DefaultFileLayer();

// The POSIX implementation (native builds only). It has no share modes,
// which nothing needs while no operation opens an existing file; Replace is
// rename(), which unlike the Windows layer also replaces a read-only target.
TFileLayer& NativeFileLayer();

}  // namespace qv
