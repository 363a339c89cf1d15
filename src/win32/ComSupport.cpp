#include "win32/ComSupport.h"

#include "win32/WindowsFileLayer.h"

namespace qv {

std::string SystemErrorText(DWORD code) {
  std::string text = WindowsFileLayer().SysErrorMessage(code);
  return text.empty() ? "A call to an OS function failed" : text;
}

void OleCheck(HRESULT result) {
  if (FAILED(result))
    throw EOleSysError(SystemErrorText(static_cast<DWORD>(result)));
}

}  // namespace qv
