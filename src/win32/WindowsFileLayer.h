#pragma once
// The file layer of the product, on the Windows API: the files that
// SaveToFile writes are created the way the installer requires
// (CreateFileA, read and write access, share mode 0, CREATE_ALWAYS, normal
// attributes). Install it with SetDefaultFileLayer(&WindowsFileLayer()).
#include "formstream/FileLayer.h"

namespace qv {

class TWindowsFileLayer final : public TFileLayer {
 public:
  std::unique_ptr<TStream> CreateAlways(const std::string& fileName, uint32_t& error) override;
  // GetFullPathNameA; the name as given when that fails.
  std::string ExpandFileName(const std::string& fileName) override;
  // FormatMessageA's system text, trailing line break removed; empty for an
  // unknown code.
  std::string SysErrorMessage(uint32_t error) override;
};

TFileLayer& WindowsFileLayer();

}  // namespace qv
