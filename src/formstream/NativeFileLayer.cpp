// The POSIX file layer of the native builds and tests.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "formstream/FileLayer.h"

namespace qv {

namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  int release() noexcept { return std::exchange(fd_, -1); }
  explicit operator bool() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

// Repeats a read or write until count bytes are done, the file ends or it
// fails; an interrupted call is simply made again.
template <class Call>
int64_t Transfer(int64_t count, Call call) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = call(done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += n;
  }
  return done;
}

class TPosixFileStream : public TStream {
 public:
  explicit TPosixFileStream(int fd) : fd_(fd) {}
  const char* ClassName() const noexcept override { return "TPosixFileStream"; }

  int64_t Read(void* buffer, int64_t count) override {
    auto* out = static_cast<char*>(buffer);
    return Transfer(count, [&](int64_t done) {
      return ::read(fd_.get(), out + done, static_cast<size_t>(count - done));
    });
  }

  // A short count tells the caller the file took no more (ENOSPC and the
  // like); the caller turns that into its own error.
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* in = static_cast<const char*>(buffer);
    return Transfer(count, [&](int64_t done) {
      return ::write(fd_.get(), in + done, static_cast<size_t>(count - done));
    });
  }

  int Descriptor() const noexcept { return fd_.get(); }

  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int whence = SEEK_SET;
    if (origin == TSeekOrigin::soCurrent)
      whence = SEEK_CUR;
    if (origin == TSeekOrigin::soEnd)
      whence = SEEK_END;
    return ::lseek(fd_.get(), static_cast<off_t>(offset), whence);
  }

 private:
  UniqueFd fd_;
};

class TNativeFileLayer : public TFileLayer {
 public:
  // O_EXCL also refuses a symbolic link of that name, dangling or not.
  std::unique_ptr<TStream> CreateNew(const std::string& fileName, uint32_t& error) override {
    UniqueFd fd(::open(fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) {
      Fail(error);
      return nullptr;
    }
    return std::make_unique<TPosixFileStream>(fd.release());
  }

  bool Flush(TStream& stream, uint32_t& error) override {
    auto* file = dynamic_cast<TPosixFileStream*>(&stream);
    if (file == nullptr) {
      error = EBADF;
      return false;
    }
    if (::fsync(file->Descriptor()) != 0)
      return Fail(error);
    return true;
  }

  bool Replace(const std::string& source, const std::string& target, uint32_t& error) override {
    if (::rename(source.c_str(), target.c_str()) != 0)
      return Fail(error);
    return true;
  }

  void Delete(const std::string& fileName) noexcept override { ::unlink(fileName.c_str()); }

  std::string ExpandFileName(const std::string& fileName) override {
    std::string path = fileName;
    if (path.empty() || path[0] != '/') {
      std::vector<char> cwd(4096);
      while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) {
        cwd.resize(cwd.size() * 2);
      }
      path = std::string(cwd.data()) + "/" + path;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string::npos)
        end = path.size();
      const std::string part = path.substr(start, end - start);
      if (part == "..") {
        if (!parts.empty())
          parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts)
      result += "/" + part;
    if (result.empty())
      return "/";
    if (path.back() == '/')
      result += "/";
    return result;
  }

  std::string SysErrorMessage(uint32_t error) override {
    return std::strerror(static_cast<int>(error));
  }

 private:
  static bool Fail(uint32_t& error) {
    error = static_cast<uint32_t>(errno);
    return false;
  }
};

}  // namespace

TFileLayer& NativeFileLayer() {
  static TNativeFileLayer layer;
  return layer;
}

}  // namespace qv
