#pragma once
// The file layer of the product, on the Windows API: the files that
// SaveToFile writes are created the way the installer requires
// (CreateFileA, read and write access, share mode 0, CREATE_NEW, normal
// attributes) and moved into place with MoveFileExA. Install it with
// SetDefaultFileLayer(&WindowsFileLayer()).
#include "formstream/FileLayer.h"

namespace qv {

class TWindowsFileLayer final : public TFileLayer {
 public:
  std::unique_ptr<TStream> CreateNew(const std::string& fileName, uint32_t& error) override;
  // FlushFileBuffers.
  bool Flush(TStream& stream, uint32_t& error) override;
  // MoveFileExA, replacing an existing target and returning only once the
  // move is on the disk. A target that is read-only or open is refused
  // (ERROR_ACCESS_DENIED) and kept.
  bool Replace(const std::string& source, const std::string& target, uint32_t& error) override;
  // DeleteFileA.
  void Delete(const std::string& fileName) noexcept override;
  // GetFullPathNameA; the name as given when that fails.
  std::string ExpandFileName(const std::string& fileName) override;
  // FormatMessageA's system text, trailing line break removed; empty for an
  // unknown code.
  std::string SysErrorMessage(uint32_t error) override;
};

TFileLayer& WindowsFileLayer();

// The system's error for a file name that is a link where a file of the
// installer's is to be written.
inline constexpr uint32_t kLinkRefused = 1920;  // ERROR_CANT_ACCESS_FILE

}  // namespace qv
