#pragma once
// The system's own text for a Win32 error, as the payload programs show it:
// without its trailing line end, followed by the code.
#include <windows.h>

#include <string>

#include "Handles.h"

namespace qv::payload {

inline std::wstring SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  UniqueLocalMemory<wchar_t*> owned(buffer);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  return text + L" (error " + std::to_wstring(error) + L")";
}

}  // namespace qv::payload
