#include "win32/WindowsFileLayer.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "win32/FileSystem.h"
#include "win32/Handles.h"
#include "win32/Security.h"

namespace qv {

namespace {

class TWindowsFileStream : public TStream {
 public:
  explicit TWindowsFileStream(UniqueFile file) : file_(std::move(file)) {}
  const char* ClassName() const noexcept override { return "TWindowsFileStream"; }

  int64_t Read(void* buffer, int64_t count) override {
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, kMaxTransfer));
      if (!::ReadFile(file_.get(), out + done, want, &got, nullptr) || got == 0)
        break;
      done += got;
    }
    return done;
  }

  // A short count tells the caller the file took no more (a full disk);
  // the caller turns that into its own error.
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* in = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, kMaxTransfer));
      if (!::WriteFile(file_.get(), in + done, want, &put, nullptr) || put == 0)
        break;
      done += put;
    }
    return done;
  }

  HANDLE Handle() const noexcept { return file_.get(); }

  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    DWORD method = FILE_BEGIN;
    if (origin == TSeekOrigin::soCurrent)
      method = FILE_CURRENT;
    if (origin == TSeekOrigin::soEnd)
      method = FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    if (!::SetFilePointerEx(file_.get(), distance, &result, method))
      return -1;
    return result.QuadPart;
  }

 private:
  static constexpr int64_t kMaxTransfer = 1 << 30;
  UniqueFile file_;
};

}  // namespace

std::unique_ptr<TStream> TWindowsFileLayer::CreateNew(const std::string& fileName,
                                                      uint32_t& error) {
  // Installed files carry their own protected rights, whatever the
  // directory they are written into would hand down; a link of that name is
  // never followed.
  TSecurityDescriptor security(TProtection::kInstalled);
  UniqueFile file(security.Attributes() == nullptr
                      ? INVALID_HANDLE_VALUE
                      : ::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      security.Attributes(), CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
  if (!file) {
    error = ::GetLastError();
    return nullptr;
  }
  return std::make_unique<TWindowsFileStream>(std::move(file));
}

bool TWindowsFileLayer::Flush(TStream& stream, uint32_t& error) {
  auto* file = dynamic_cast<TWindowsFileStream*>(&stream);
  if (file == nullptr) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  if (!::FlushFileBuffers(file->Handle())) {
    error = ::GetLastError();
    return false;
  }
  return true;
}

bool TWindowsFileLayer::Replace(const std::string& source, const std::string& target,
                                uint32_t& error) {
  // A read-only file is one its owner means to keep: refused as it always
  // was, even by a system whose move would go over it.
  const DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  // A link where a payload goes may point anywhere; whoever planted it does
  // not choose what the installer replaces.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error = kLinkRefused;
    return false;
  }
  if (!::MoveFileExA(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = ::GetLastError();
    return false;
  }
  return true;
}

void TWindowsFileLayer::Delete(const std::string& fileName) noexcept {
  ::DeleteFileA(fileName.c_str());
}

std::string TWindowsFileLayer::ExpandFileName(const std::string& fileName) {
  return FullPath(fileName);
}

std::string TWindowsFileLayer::SysErrorMessage(uint32_t error) {
  char buffer[256];
  DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, error, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                        buffer[length - 1] == ' ' || buffer[length - 1] == '\0')) {
    --length;
  }
  return std::string(buffer, length);
}

TFileLayer& WindowsFileLayer() {
  static TWindowsFileLayer layer;
  return layer;
}

}  // namespace qv
