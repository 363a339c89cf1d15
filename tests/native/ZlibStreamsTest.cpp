#include "formstream/ZlibStreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "PayloadTestData.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;

using testdata::BytesStream;
using testdata::RandomBytes;
using testdata::TextBytes;
using testdata::ZlibCompress;
using testdata::ZlibUncompress;

// Takes at most capacity bytes in all.
class LimitedStream : public TMemoryStream {
 public:
  explicit LimitedStream(int64_t capacity) : capacity_(capacity) {}
  int64_t Write(const void* buffer, int64_t count) override {
    return TMemoryStream::Write(buffer, std::min(count, capacity_ - Size()));
  }

 private:
  int64_t capacity_;
};

Bytes ReadAll(TStream& stream) {
  Bytes result, buffer(1024);
  for (int64_t n; (n = stream.Read(buffer.data(), 1024)) > 0;) {
    result.insert(result.end(), buffer.begin(), buffer.begin() + n);
  }
  return result;
}

template <class E>
void ExpectRaises(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "nothing raised, expected " << message;
  } catch (const E& error) {
    EXPECT_EQ(error.Message(), message);
  }
}

const std::string kInvalid = "Invalid stream operation";

TEST(CompressionStream, EachLevelYieldsAZlibStreamWithItsHeader) {
  const Bytes data = TextBytes(200000);
  const std::pair<TCompressionLevel, uint8_t> cases[] = {
      {clNone, 0x01}, {clFastest, 0x01}, {clDefault, 0x9C}, {clMax, 0xDA}};
  for (const auto& [level, flags] : cases) {
    SCOPED_TRACE(CompressionLevelEnum().Names[level]);
    TMemoryStream destination;
    TCompressionStream compressor(level, destination);
    compressor.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    compressor.Finish();
    const Bytes& packed = destination.Bytes();
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(packed[1], flags);
    EXPECT_EQ(packed.size() > data.size(), level == clNone);
    EXPECT_EQ(ZlibUncompress(packed, data.size()), data);
  }
}

// Text of random words: compressible, but not so much that deflate keeps
// little back for the finishing step.
Bytes WordBytes(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"mail ",    "scan ",   "virus ", "queue ",      "server\r\n",
                                       "Quolvex ", "header ", "body ",  "attachment ", "IMail "};
  std::mt19937 gen(seed);
  Bytes bytes;
  bytes.reserve(size + 16);
  while (bytes.size() < size) {
    const std::string word = kWords[gen() % 10];
    bytes.insert(bytes.end(), word.begin(), word.end());
    if (gen() % 7 == 0)
      bytes.push_back(static_cast<uint8_t>(gen()));
  }
  bytes.resize(size);
  return bytes;
}

Bytes CompressedByTheStream(const Bytes& data) {
  TMemoryStream destination;
  TCompressionStream compressor(clMax, destination);
  compressor.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  compressor.Finish();
  return destination.Bytes();
}

// An input that zlib, at the settings the stream uses, compresses to exactly
// target bytes. Random bytes do not compress, so each byte more in gives
// about one byte more out: a few corrections and a look nearby hit it.
Bytes InputCompressingTo(int64_t target) {
  const Bytes noise = RandomBytes(static_cast<size_t>(target) + 4096, 11);
  const auto packedSize = [&](size_t n) {
    return static_cast<int64_t>(ZlibCompress(Bytes(noise.begin(), noise.begin() + n)).size());
  };
  size_t size = static_cast<size_t>(target) - 64;
  for (int round = 0; round < 8; ++round) {
    const int64_t miss = target - packedSize(size);
    if (miss == 0)
      return Bytes(noise.begin(), noise.begin() + size);
    size = static_cast<size_t>(static_cast<int64_t>(size) + miss);
  }
  for (size_t n = size - 16; n <= size + 16; ++n) {
    if (packedSize(n) == target)
      return Bytes(noise.begin(), noise.begin() + n);
  }
  ADD_FAILURE() << "no input compresses to " << target << " bytes";
  return {};
}

// The finishing step writes whole buffers and then the rest: every block
// whose finished size crosses a buffer boundary depends on where those
// writes land. The compressed sizes are just below, on and just above
// multiples of the 64 KiB buffer; then random sizes up to 8 MB.
TEST(CompressionStream, BlocksInflateAtSizesAroundEveryBufferBoundaryAndUpTo8MB) {
  for (const int64_t multiple : {1, 2, 5}) {
    for (const int64_t offset : {-1, 0, 1}) {
      const int64_t target = multiple * 65536 + offset;
      SCOPED_TRACE("compressed size " + std::to_string(target));
      const Bytes data = InputCompressingTo(target);
      const Bytes ours = CompressedByTheStream(data);
      EXPECT_EQ(static_cast<int64_t>(ours.size()), target);
      EXPECT_EQ(ZlibUncompress(ours, data.size()), data);
    }
  }
  std::mt19937 gen(2026);
  for (int i = 0; i < 2; ++i) {
    const size_t size = 1 + gen() % (8u << 20);
    SCOPED_TRACE("input size " + std::to_string(size));
    const Bytes data = (i % 2 == 0) ? WordBytes(size, gen()) : RandomBytes(size, gen());
    EXPECT_EQ(ZlibUncompress(CompressedByTheStream(data), data.size()), data);
  }
}

// Also: a destination moved by someone else is written where the wrapper
// left it.
TEST(CompressionStream, FullBuffersGoOutWithAProgressCallEach) {
  const Bytes data = RandomBytes(300000, 1);
  TMemoryStream destination;
  destination.WriteBuffer("head", 4);
  std::vector<int64_t> sizes;
  TCompressionStream compressor(clMax, destination);
  compressor.SetOnProgress([&](TCustomZlibStream& sender) {
    EXPECT_EQ(&sender, &compressor);
    sizes.push_back(destination.Size() - 4);
    destination.SetPosition(1);
  });
  compressor.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  ASSERT_GE(sizes.size(), 3u);
  for (size_t i = 0; i < sizes.size(); ++i)
    EXPECT_EQ(sizes[i], 65536 * int64_t(i + 1));
  const size_t calls = sizes.size();
  compressor.Finish();
  EXPECT_EQ(sizes.size(), calls) << "finishing makes no progress calls";
  const Bytes& written = destination.Bytes();
  EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "head");
  EXPECT_EQ(ZlibUncompress(Bytes(written.begin() + 4, written.end()), data.size()), data);
}

TEST(CompressionStream, ReadingAndSeekingAreInvalid) {
  TMemoryStream destination;
  TCompressionStream compressor(clDefault, destination);
  compressor.WriteBuffer(TextBytes(1000).data(), 1000);
  EXPECT_EQ(compressor.Seek(0, TSeekOrigin::soCurrent), 1000) << "input bytes consumed";
  uint8_t byte = 0;
  ExpectRaises<ECompressionError>([&] { compressor.Read(&byte, 1); }, kInvalid);
  ExpectRaises<ECompressionError>([&] { compressor.Seek(1, TSeekOrigin::soCurrent); }, kInvalid);
  ExpectRaises<EZlibError>([&] { compressor.Seek(0, TSeekOrigin::soBeginning); }, kInvalid);
}

TEST(CompressionStream, DestinationTakingFewerBytesRaisesWriteError) {
  const Bytes data = RandomBytes(100000, 2);
  LimitedStream small(1000);
  TCompressionStream whileWriting(clMax, small);
  ExpectRaises<EWriteError>([&] { whileWriting.WriteBuffer(data.data(), 100000); },
                            "Stream write error");
  LimitedStream oneBuffer(65536 + 10);
  TCompressionStream whileFinishing(clMax, oneBuffer);
  whileFinishing.WriteBuffer(data.data(), 100000);
  ExpectRaises<EWriteError>([&] { whileFinishing.Finish(); }, "Stream write error");
}

// Also: a source moved by someone else is read where the wrapper left it.
TEST(DecompressionStream, OneReadFillsTheRequestWithAProgressCallPerSourceBuffer) {
  const Bytes data = RandomBytes(200000, 3);
  const Bytes packed = ZlibCompress(data);
  BytesStream source(packed);
  std::vector<int64_t> positions;
  TDecompressionStream decompressor(source);
  decompressor.SetOnProgress([&](TCustomZlibStream&) {
    positions.push_back(source.Position());
    source.SetPosition(3);
  });
  Bytes out(data.size() + 10);
  const auto size = static_cast<int64_t>(data.size());
  EXPECT_EQ(decompressor.Read(out.data(), size + 10), size);
  out.resize(data.size());
  EXPECT_EQ(out, data);
  EXPECT_EQ(decompressor.Read(out.data(), 10), 0) << "the zlib stream has ended";
  EXPECT_EQ(positions, (std::vector<int64_t>{65536, 131072, 196608, int64_t(packed.size())}));
}

TEST(DecompressionStream, CorruptDataRaisesError) {
  const Bytes data = TextBytes(50000);
  Bytes badHeader = ZlibCompress(data), badChecksum = ZlibCompress(data);
  badHeader[0] = 0x79;
  badChecksum.back() ^= 0x01;
  // A stream asking for a preset dictionary could never make progress.
  Bytes needsDictionary(1000);
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, Z_BEST_COMPRESSION), Z_OK);
  deflateSetDictionary(&zs, data.data(), 100);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = 500;
  zs.next_out = needsDictionary.data();
  zs.avail_out = 1000;
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  needsDictionary.resize(zs.total_out);
  deflateEnd(&zs);
  for (const Bytes& packed : {badHeader, badChecksum, needsDictionary}) {
    BytesStream source(packed);
    TDecompressionStream decompressor(source);
    ExpectRaises<EDecompressionError>([&] { ReadAll(decompressor); }, "Error");
  }
}

TEST(DecompressionStream, TruncatedSourceEndsQuietlyWithAPrefix) {
  const Bytes data = RandomBytes(100000, 4);
  Bytes packed = ZlibCompress(data);
  packed.resize(packed.size() / 2);
  BytesStream source(packed);
  TDecompressionStream decompressor(source);
  const Bytes out = ReadAll(decompressor);
  ASSERT_GT(out.size(), 0u);
  ASSERT_LT(out.size(), data.size());
  EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST(DecompressionStream, BytesAfterTheStreamAreLeftInTheSource) {
  const Bytes data = TextBytes(70000);
  Bytes packed = ZlibCompress(data);
  const auto streamEnd = static_cast<int64_t>(packed.size());
  packed.insert(packed.end(), {'t', 'a', 'i', 'l'});
  BytesStream source(packed);
  {
    TDecompressionStream decompressor(source);
    EXPECT_EQ(ReadAll(decompressor), data);
    EXPECT_EQ(source.Position(), streamEnd + 4) << "the source was read ahead";
  }
  EXPECT_EQ(source.Position(), streamEnd) << "the read-ahead is given back";
}

TEST(DecompressionStream, WritingAndBackwardSeeksAreInvalid) {
  BytesStream source(ZlibCompress(TextBytes(10000)));
  TDecompressionStream decompressor(source);
  uint8_t buffer[100];
  decompressor.ReadBuffer(buffer, 100);
  ExpectRaises<EDecompressionError>([&] { decompressor.Write(buffer, 1); }, kInvalid);
  for (const auto& seek :
       {std::pair{-1, TSeekOrigin::soCurrent}, std::pair{0, TSeekOrigin::soEnd},
        std::pair{50, TSeekOrigin::soBeginning}, std::pair{100, TSeekOrigin::soBeginning}}) {
    ExpectRaises<EDecompressionError>([&] { decompressor.Seek(seek.first, seek.second); },
                                      kInvalid);
  }
  EXPECT_EQ(decompressor.Position(), 100);
}

TEST(DecompressionStream, SeekToZeroRestartsAndForwardSeeksDiscard) {
  const Bytes data = RandomBytes(150000, 5);
  BytesStream source(ZlibCompress(data));
  TDecompressionStream decompressor(source);
  Bytes out(100);
  auto readsFrom = [&](size_t offset) {
    decompressor.ReadBuffer(out.data(), 100);
    return std::equal(out.begin(), out.end(), data.begin() + static_cast<ptrdiff_t>(offset));
  };
  EXPECT_TRUE(readsFrom(0));
  EXPECT_EQ(decompressor.Seek(10000, TSeekOrigin::soCurrent), 10100);
  EXPECT_TRUE(readsFrom(10100));
  EXPECT_EQ(decompressor.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_TRUE(readsFrom(0));
  EXPECT_EQ(decompressor.Seek(123457, TSeekOrigin::soBeginning), 123457);
  EXPECT_TRUE(readsFrom(123457));
  ExpectRaises<EReadError>([&] { decompressor.Seek(100000, TSeekOrigin::soCurrent); },
                           "Stream read error");
}

}  // namespace
}  // namespace qv
