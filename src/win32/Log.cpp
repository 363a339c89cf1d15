#include "win32/Log.h"

#include <windows.h>

#include <vector>

#include "core/LogLine.h"
#include "formstream/TextEncoding.h"
#include "win32/Security.h"
#include "win32/WindowsFileLayer.h"

namespace qv {

namespace {

TSetupLog* current = nullptr;

// An existing file is replaced only when it is a plain file of a trusted
// owner: anyone else's could be a trap laid for the elevated writer.
bool MayReplace(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<BYTE> descriptor(size);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return size != 0 &&
         ::GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor.data(), size,
                            &size) != FALSE &&
         ::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) != FALSE &&
         owner != nullptr && IsTrustedAccount(owner);
}

}  // namespace

TSetupLog::~TSetupLog() {
  if (current == this)
    current = nullptr;
}

bool TSetupLog::Open(const std::string& path, uint32_t& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Never opening an existing file, this follows no link at the name.
    file_.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) {
      path_ = path;
      return true;
    }
    error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return false;
    if (attempt == 1 || !MayReplace(path)) {
      error = kLinkRefused;
      return false;
    }
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::DeleteFileA(path.c_str()) == FALSE) {
      error = ::GetLastError();
      return false;
    }
  }
  return false;
}

void TSetupLog::Line(const std::string& text) {
  if (!file_)
    return;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  const std::string line = LogLine(
      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds},
      WideToUtf8(AnsiToWide(text)));
  // Written, not flushed: the system keeps it when the process dies, and a
  // flush per line would cost the installation a disk write per line.
  DWORD written = 0;
  ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void SetLog(TSetupLog* log) noexcept {
  current = log;
}

void Log(const std::string& text) noexcept {
  if (current == nullptr)
    return;
  try {
    current->Line(text);
  } catch (...) {
  }
}

}  // namespace qv
