#pragma once
// Stream wrappers around zlib: a write-only stream that deflates what it is
// given into another stream, and a read-only stream that inflates a zlib
// stream read from another. Both move data through their own 64 KiB buffer
// and report progress each time they exchange a buffer with the other
// stream. The data components keep their payload blocks through these.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"

struct z_stream_s;

namespace qv {

QV_DECLARE_EXCEPTION(EZlibError, Exception);
QV_DECLARE_EXCEPTION(ECompressionError, EZlibError);
QV_DECLARE_EXCEPTION(EDecompressionError, EZlibError);

// One byte, as the form stream stores its ordinal.
enum TCompressionLevel : uint8_t { clNone = 0, clFastest = 1, clDefault = 2, clMax = 3 };

// Type information of TCompressionLevel: "clNone" ... "clMax" by ordinal.
const TEnumInfo& CompressionLevelEnum();

// The level handed to deflate initialisation: 0, 1, zlib's default (-1), 9.
int ZlibLevel(TCompressionLevel level);

class TCustomZlibStream : public TStream {
 public:
  // Called with the wrapper each time it has exchanged a buffer with the
  // other stream.
  using TProgressCallback = std::function<void(TCustomZlibStream& sender)>;

  ~TCustomZlibStream() override;
  const char* ClassName() const noexcept override { return "TCustomZlibStream"; }

  void SetOnProgress(TProgressCallback callback) { onProgress_ = std::move(callback); }

 protected:
  static constexpr int64_t kBufferSize = 65536;

  // The other stream is not owned and must outlive the wrapper.
  explicit TCustomZlibStream(TStream& other);

  // Someone else may have moved the other stream since the wrapper last
  // touched it; every access starts from where the wrapper left off.
  void RestoreOtherPosition();
  void RememberOtherPosition() { otherPosition_ = other_.Position(); }
  void Progress();

  TStream& other_;
  int64_t otherPosition_;
  std::unique_ptr<z_stream_s> zs_;
  std::vector<uint8_t> buffer_;

 private:
  TProgressCallback onProgress_;
};

// Deflates everything written to it into the destination. Finish() completes
// the zlib stream; a wrapper destroyed without Finish() abandons it (what
// reached the destination so far stays there, without an end).
class TCompressionStream : public TCustomZlibStream {
 public:
  // Raises ECompressionError "Error" when deflate cannot be initialised.
  TCompressionStream(TCompressionLevel level, TStream& destination);
  ~TCompressionStream() override;
  const char* ClassName() const noexcept override { return "TCompressionStream"; }

  // Raises ECompressionError "Invalid stream operation".
  int64_t Read(void* buffer, int64_t count) override;
  // Always accepts count bytes; full output buffers go to the destination
  // (EWriteError "Stream write error" when it takes fewer), each followed
  // by a progress call. A deflate failure raises ECompressionError "Error".
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, soCurrent): the number of input bytes consumed. Any other
  // seek raises ECompressionError "Invalid stream operation".
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Flushes deflate's remaining output and the trailer into the destination
  // (no progress calls). Idempotent; after it, writing is an error.
  void Finish();

 private:
  void WriteOutBuffer(int64_t count);

  int64_t consumed_ = 0;
  bool finished_ = false;
};

// Inflates the zlib stream read from the source, starting at the source's
// position at creation. Reading stops at the end of the zlib stream: bytes
// after it in the source are never inflated. A source that ends early ends
// the data without an error.
class TDecompressionStream : public TCustomZlibStream {
 public:
  // Raises EDecompressionError "Error" when inflate cannot be initialised.
  explicit TDecompressionStream(TStream& source);
  // Moves the source back to just after the bytes inflate consumed.
  ~TDecompressionStream() override;
  const char* ClassName() const noexcept override { return "TDecompressionStream"; }

  // Fills up to count bytes; fewer only at the end of the zlib stream or of
  // the source. Corrupt data raises EDecompressionError "Error".
  int64_t Read(void* buffer, int64_t count) override;
  // Raises EDecompressionError "Invalid stream operation".
  int64_t Write(const void* buffer, int64_t count) override;
  // Seek(0, soBeginning) restarts from the start of the source; seeking
  // forward reads and discards; anything else raises EDecompressionError
  // "Invalid stream operation". Returns the number of bytes produced.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // True once the zlib stream's end has been read, its checksum verified.
  bool StreamEnded() const noexcept { return streamEnd_; }

 private:
  int64_t produced_ = 0;
  bool streamEnd_ = false;
};

}  // namespace qv
