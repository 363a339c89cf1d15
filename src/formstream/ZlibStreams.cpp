#include "formstream/ZlibStreams.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace qv {

namespace {

// zlib's own allocations come zero-filled from the C heap.
voidpf ZAlloc(voidpf, uInt items, uInt size) {
  return std::calloc(items, size);
}
void ZFree(voidpf, voidpf address) {
  std::free(address);
}

// zlib counts in uInt; larger requests are handed over in slices.
constexpr int64_t kMaxSlice = int64_t{1} << 30;

uInt SliceOf(int64_t left) {
  return static_cast<uInt>(std::min(left, kMaxSlice));
}

}  // namespace

const TEnumInfo& CompressionLevelEnum() {
  static const TEnumInfo info{"TCompressionLevel", {"clNone", "clFastest", "clDefault", "clMax"}};
  return info;
}

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case clNone:
      return Z_NO_COMPRESSION;
    case clFastest:
      return Z_BEST_SPEED;
    case clMax:
      return Z_BEST_COMPRESSION;
    case clDefault:
      break;
  }
  return Z_DEFAULT_COMPRESSION;
}

// ------------------------------------------------------- TCustomZlibStream

TCustomZlibStream::TCustomZlibStream(TStream& other)
    : other_(other),
      otherPosition_(other.Position()),
      zs_(std::make_unique<z_stream_s>()),
      buffer_(static_cast<size_t>(kBufferSize)) {
  zs_->zalloc = ZAlloc;
  zs_->zfree = ZFree;
  zs_->opaque = Z_NULL;
}

// The derived destructors end zlib's state: only they know whether deflate
// or inflate owns it, and a wrapper whose initialisation failed has none.
TCustomZlibStream::~TCustomZlibStream() = default;

void TCustomZlibStream::RestoreOtherPosition() {
  if (other_.Position() != otherPosition_)
    other_.SetPosition(otherPosition_);
}

void TCustomZlibStream::Progress() {
  if (onProgress_)
    onProgress_(*this);
}

// ------------------------------------------------------ TCompressionStream

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& destination)
    : TCustomZlibStream(destination) {
  if (deflateInit2(zs_.get(), ZlibLevel(level), Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw ECompressionError("Error");
  }
  zs_->next_out = buffer_.data();
  zs_->avail_out = static_cast<uInt>(kBufferSize);
}

TCompressionStream::~TCompressionStream() {
  deflateEnd(zs_.get());
}

int64_t TCompressionStream::Read(void*, int64_t) {
  throw ECompressionError("Invalid stream operation");
}

void TCompressionStream::WriteOutBuffer(int64_t count) {
  RestoreOtherPosition();
  other_.WriteBuffer(buffer_.data(), count);
  // Remembered after every write, the finishing loop's included: otherwise
  // its last, partial write is moved back over the full buffers before it.
  RememberOtherPosition();
  zs_->next_out = buffer_.data();
  zs_->avail_out = static_cast<uInt>(kBufferSize);
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  const auto* in = static_cast<const Bytef*>(buffer);
  int64_t left = std::max<int64_t>(count, 0);
  while (left > 0) {
    const uInt slice = SliceOf(left);
    zs_->next_in = const_cast<Bytef*>(in);
    zs_->avail_in = slice;
    while (zs_->avail_in > 0) {
      if (deflate(zs_.get(), Z_NO_FLUSH) < 0)
        throw ECompressionError("Error");
      if (zs_->avail_out == 0) {
        WriteOutBuffer(kBufferSize);
        Progress();
      }
    }
    in += slice;
    left -= slice;
    consumed_ += slice;
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent)
    return consumed_;
  throw ECompressionError("Invalid stream operation");
}

void TCompressionStream::Finish() {
  if (finished_)
    return;
  finished_ = true;
  zs_->next_in = Z_NULL;
  zs_->avail_in = 0;
  for (;;) {
    const int result = deflate(zs_.get(), Z_FINISH);
    if (result < 0)
      throw ECompressionError("Error");
    if (result == Z_STREAM_END || zs_->avail_out != 0)
      break;
    WriteOutBuffer(kBufferSize);
  }
  const int64_t filled = kBufferSize - zs_->avail_out;
  if (filled > 0)
    WriteOutBuffer(filled);
}

// ---------------------------------------------------- TDecompressionStream

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source) {
  zs_->next_in = buffer_.data();
  zs_->avail_in = 0;
  if (inflateInit(zs_.get()) != Z_OK)
    throw EDecompressionError("Error");
}

TDecompressionStream::~TDecompressionStream() {
  // Gives back what was read ahead, so that the source's next reader starts
  // right after the zlib stream. A failing seek cannot be reported from
  // here, and leaves the source where the read-ahead left it.
  try {
    other_.SetPosition(otherPosition_ - zs_->avail_in);
  } catch (const Exception&) {
  }
  inflateEnd(zs_.get());
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<Bytef*>(buffer);
  int64_t left = std::max<int64_t>(count, 0);
  bool sourceEnded = false;
  while (left > 0 && !streamEnd_ && !sourceEnded) {
    const uInt slice = SliceOf(left);
    zs_->next_out = out;
    zs_->avail_out = slice;
    while (zs_->avail_out > 0) {
      if (zs_->avail_in == 0) {
        RestoreOtherPosition();
        const int64_t got = other_.Read(buffer_.data(), kBufferSize);
        if (got <= 0) {
          sourceEnded = true;
          break;
        }
        zs_->next_in = buffer_.data();
        zs_->avail_in = static_cast<uInt>(got);
        RememberOtherPosition();
        Progress();
      }
      const int result = inflate(zs_.get(), Z_NO_FLUSH);
      // A stream that asks for a preset dictionary can never make progress
      // here: failing is the only alternative to looping for ever.
      if (result < 0 || result == Z_NEED_DICT)
        throw EDecompressionError("Error");
      if (result == Z_STREAM_END) {
        streamEnd_ = true;
        break;
      }
    }
    const int64_t done = slice - zs_->avail_out;
    out += done;
    left -= done;
    produced_ += done;
  }
  return std::max<int64_t>(count, 0) - left;
}

int64_t TDecompressionStream::Write(const void*, int64_t) {
  throw EDecompressionError("Invalid stream operation");
}

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soBeginning) {
    if (inflateReset(zs_.get()) != Z_OK)
      throw EDecompressionError("Error");
    zs_->next_in = buffer_.data();
    zs_->avail_in = 0;
    other_.SetPosition(0);
    otherPosition_ = 0;
    produced_ = 0;
    streamEnd_ = false;
    return 0;
  }
  int64_t skip = 0;
  if (origin == TSeekOrigin::soCurrent && offset >= 0) {
    skip = offset;
  } else if (origin == TSeekOrigin::soBeginning && offset > produced_) {
    skip = offset - produced_;
  } else {
    throw EDecompressionError("Invalid stream operation");
  }
  uint8_t discard[4096];
  while (skip > 0) {
    const int64_t n = std::min<int64_t>(skip, sizeof discard);
    ReadBuffer(discard, n);
    skip -= n;
  }
  return produced_;
}

}  // namespace qv
