#pragma once
// Byte streams: the abstract TStream with the exact-length helpers that raise
// the framework's stream errors, a growable in-memory stream, and a read-only
// stream over bytes that live elsewhere (a mapped resource, read in place).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Component.h"

namespace qv {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  const char* ClassName() const noexcept override { return "TStream"; }

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t size);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  // Exactly count bytes, or EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source (count 0: the whole source from its
  // start) in chunks of at most chunkSize; returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count, int64_t chunkSize = 0xF000);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  const char* ClassName() const noexcept override { return "TMemoryStream"; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  // Growing keeps the bytes (the new ones are zero); shrinking cuts; a
  // position beyond the new end moves to the end.
  void SetSize(int64_t size) override;
  void Clear();

  const uint8_t* Memory() const noexcept { return bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const noexcept { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

// Reads bytes owned by someone else, without copying them. Lasting bytes
// stay, unchanged, as long as the program runs (a resource of its image):
// a reader may keep referring to them instead of copying.
class TReadOnlyMemoryStream : public TStream {
 public:
  TReadOnlyMemoryStream(const void* data, size_t size, bool lasting = false)
      : data_(static_cast<const uint8_t*>(data)),
        size_(static_cast<int64_t>(size)),
        lasting_(lasting) {}
  const char* ClassName() const noexcept override { return "TReadOnlyMemoryStream"; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  const uint8_t* Data() const noexcept { return data_; }
  bool Lasting() const noexcept { return lasting_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  bool lasting_;
  int64_t position_ = 0;
};

}  // namespace qv
