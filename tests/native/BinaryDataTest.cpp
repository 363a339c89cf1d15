#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Filer.h"
#include "formstream/BinaryData.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FileLayer.h"

#include "DirectorySnapshot.h"
#include "PayloadTestData.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using testdata::BytesStream;
using testdata::RandomBytes;
// The corruption tests are tuned to this text's deflate stream.
Bytes TextBytes(size_t size) {
  return testdata::TextBytes(size, "QVDAEMON.EXE scans mail for viruses.\r\n");
}
using testdata::ZlibCompress;
using testdata::ZlibUncompress;

// A Payload block: the signed data size, then the bytes.
Bytes PayloadBlock(const Bytes& data, int32_t size) {
  Bytes block(4);
  std::memcpy(block.data(), &size, 4);
  block.insert(block.end(), data.begin(), data.end());
  return block;
}
Bytes PayloadBlock(const Bytes& data) {
  return PayloadBlock(data, int32_t(data.size()));
}

// Claims more bytes than it delivers.
class ShortStream : public TStream {
 public:
  ShortStream(const std::vector<uint8_t>& bytes, int64_t claimed)
      : inner_(bytes), claimed_(claimed) {}
  int64_t Read(void* buffer, int64_t count) override { return inner_.Read(buffer, count); }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return origin == TSeekOrigin::soEnd ? claimed_ + offset : inner_.Seek(offset, origin);
  }

 private:
  BytesStream inner_;
  int64_t claimed_;
};

Bytes Contents(TStream& stream) {
  Bytes bytes(static_cast<size_t>(stream.Size()));
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

// The stored bytes, as "TheData" writes them after their size.
Bytes Stored(TBinaryData& data) {
  TMemoryStream block;
  data.WriteData(block);
  return Bytes(block.Bytes().begin() + 4, block.Bytes().end());
}

Bytes FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
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

// Records the define-properties step of a component.
class RecordingFiler : public TFiler {
 public:
  std::vector<std::string> names;
  bool theDataHasData = false;
  std::function<void(TStream&)> readTheData, writeTheData;

  void DefineProperty(const std::string& name, const std::function<void(TReader&)>&,
                      const std::function<void(TWriter&)>&, bool) override {
    names.push_back(name);
  }
  void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>& read,
                            const std::function<void(TStream&)>& write, bool hasData) override {
    names.push_back(name + " (binary)");
    readTheData = read;
    writeTheData = write;
    theDataHasData = hasData;
  }
};

// What the form reader does for a payload component: marks set,
// "Compressed" and "CompressionRate" through type information, the Binary
// payload of "TheData" through the defined property, loaded notification.
void ReadFromForm(TCompressedBinaryData& component, const Bytes& packed, float rate) {
  component.SetState(csLoading);
  component.SetState(csReading);
  component.ClassType().FindProperty("Compressed")->SetOrd(component, 1);
  component.ClassType().FindProperty("CompressionRate")->SetFloat(component, rate);
  RecordingFiler filer;
  component.DefineProperties(filer);
  BytesStream payload(PayloadBlock(packed));
  filer.readTheData(payload);
  component.ClearState(csReading);
  component.Loaded();
}

// A file system in memory that logs each call. Every step can be refused
// with a code; capacity (per file) models a full disk.
class FakeFileLayer : public TFileLayer {
 public:
  std::map<std::string, Bytes> disk;
  std::vector<std::string> log;
  std::vector<int64_t> writes;
  int64_t capacity = INT64_MAX;
  uint32_t refuseCreate = 0, refuseFlush = 0, refuseReplace = 0;

  std::unique_ptr<TStream> CreateNew(const std::string& name, uint32_t& error) override {
    log.push_back("create " + name);
    error = disk.count(name) ? 80 : refuseCreate;
    if (error != 0)
      return nullptr;
    disk[name];
    return std::make_unique<Stream>(*this, name);
  }
  bool Flush(TStream&, uint32_t& error) override {
    log.push_back("flush");
    error = refuseFlush;
    return error == 0;
  }
  bool Replace(const std::string& source, const std::string& target, uint32_t& error) override {
    log.push_back("replace " + source + " " + target);
    error = refuseReplace;
    if (error != 0)
      return false;
    disk[target] = disk.at(source);
    disk.erase(source);
    return true;
  }
  void Delete(const std::string& name) noexcept override {
    log.push_back("delete " + name);
    disk.erase(name);
  }
  std::string ExpandFileName(const std::string& name) override { return "X:\\full\\" + name; }
  std::string SysErrorMessage(uint32_t error) override { return "text " + std::to_string(error); }

 private:
  class Stream : public TStream {
   public:
    Stream(FakeFileLayer& files, std::string name) : files_(files), name_(std::move(name)) {}
    ~Stream() override { files_.log.push_back("close"); }
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override {
      files_.writes.push_back(count);
      Bytes& bytes = files_.disk.at(name_);
      const int64_t taken = std::min<int64_t>(count, files_.capacity - int64_t(bytes.size()));
      const auto* in = static_cast<const uint8_t*>(buffer);
      bytes.insert(bytes.end(), in, in + taken);
      return taken;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return int64_t(files_.disk.at(name_).size()); }

   private:
    FakeFileLayer& files_;
    std::string name_;
  };
};

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qv-binarydata-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = fs::canonical(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// ------------------------------------------------------------- TBinaryData

TEST(BinaryDataBlock, TheDataFollowsTheDesignPositionAndRoundTrips) {
  TBinaryData data(nullptr);
  RecordingFiler filer;
  data.DefineProperties(filer);
  EXPECT_EQ(filer.names, (std::vector<std::string>{"Left", "Top", "TheData (binary)"}));
  EXPECT_TRUE(filer.theDataHasData);

  const Bytes bytes = RandomBytes(220331, 1);
  const Bytes block = PayloadBlock(bytes);
  ASSERT_EQ(block.size(), 220335u) << "the Binary count is N + 4";
  BytesStream payload(block);
  filer.readTheData(payload);
  EXPECT_EQ(payload.Position(), payload.Size());
  EXPECT_EQ(data.GetDataSize(), 220331);
  EXPECT_EQ(Contents(data.GetData()), bytes);
  TMemoryStream written;
  filer.writeTheData(written);
  EXPECT_EQ(written.Bytes(), block);
}

TEST(BinaryDataBlock, SizeZeroOrNegativeKeepsWhatWasHeld) {
  TBinaryData data(nullptr);
  BytesStream empty(PayloadBlock({}, 0)), first(PayloadBlock({1, 2, 3})),
      negative(PayloadBlock({9, 9}, -2));
  data.ReadData(empty);
  EXPECT_EQ(data.GetDataSize(), 0);
  data.ReadData(first);
  data.ReadData(negative);
  EXPECT_EQ(Contents(data.GetData()), (Bytes{1, 2, 3}));
}

TEST(BinaryDataBlock, ShortBlockIsRejectedAndChangesNothing) {
  TBinaryData data(nullptr);
  BytesStream first(PayloadBlock({1, 2, 3}));
  data.ReadData(first);
  for (const Bytes& block : {Bytes{5, 0}, PayloadBlock({7, 7, 7}, 4)}) {
    BytesStream stream(block);
    ExpectRaises<EReadError>([&] { data.ReadData(stream); }, "Stream read error");
    EXPECT_EQ(Contents(data.GetData()), (Bytes{1, 2, 3}));
  }
}

TEST(BinaryDataContent, SetDataCopiesTheWholeSourceOrEmpties) {
  TBinaryData data(nullptr);
  BytesStream source({1, 2, 3, 4, 5});
  source.SetPosition(3);
  data.SetData(&source);
  EXPECT_EQ(Contents(data.GetData()), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(source.Position(), 5);

  ShortStream liar(RandomBytes(1000, 2), 2000);
  ExpectRaises<EReadError>([&] { data.SetData(&liar); }, "Stream read error");
  EXPECT_EQ(Contents(data.GetData()), (Bytes{1, 2, 3, 4, 5}));

  data.SetData(nullptr);
  EXPECT_EQ(data.GetDataSize(), 0);
}

TEST(BinaryDataSave, CopiesFromTheStartInChunksThenReplacesTheTarget) {
  TBinaryData data(nullptr);
  const Bytes bytes = RandomBytes(150000, 3);
  BytesStream source(bytes);
  data.SetData(&source);
  data.GetData().SetPosition(1234);
  FakeFileLayer files;
  files.disk["payload.bin"] = {1, 2, 3};
  data.SaveToFile("payload.bin", files);
  EXPECT_EQ(files.writes, (std::vector<int64_t>{61440, 61440, 27120}));
  EXPECT_EQ(files.log, (std::vector<std::string>{"create payload.bin.qvpart", "flush", "close",
                                                 "replace payload.bin.qvpart payload.bin"}))
      << "flushed, and closed before it is moved";
  EXPECT_EQ(files.disk, (std::map<std::string, Bytes>{{"payload.bin", bytes}}));
}

class DeliversLess : public TBinaryData {
 public:
  DeliversLess() : TBinaryData(nullptr), source_(RandomBytes(100000, 4), 150000) {}
  TStream& GetData() override { return source_; }

 private:
  ShortStream source_;
};

// Whichever step fails, the target keeps its old bytes and the temporary
// file is closed, then removed.
TEST(BinaryDataSave, AFailedStepLeavesTheOldTargetAndNoTemporaryFile) {
  DeliversLess shortData;
  TBinaryData data(nullptr);
  BytesStream source(RandomBytes(150000, 5));
  data.SetData(&source);
  const std::string refused = "Cannot create file \"X:\\full\\t.bin\". text 112";
  const std::string create = "create t.bin.qvpart", remove = "delete t.bin.qvpart";
  const struct {
    TBinaryData& data;
    std::function<void(FakeFileLayer&)> fault;
    std::string message;
    std::vector<std::string> log;
  } cases[] = {
      {shortData, [](FakeFileLayer&) {}, "Stream read error", {create, "close", remove}},
      {data,
       [](FakeFileLayer& f) { f.capacity = 70000; },
       "Stream write error",
       {create, "close", remove}},
      {data,
       [](FakeFileLayer& f) { f.refuseFlush = 112; },
       refused,
       {create, "flush", "close", remove}},
      {data,
       [](FakeFileLayer& f) { f.refuseReplace = 112; },
       refused,
       {create, "flush", "close", "replace t.bin.qvpart t.bin", remove}},
  };
  for (const auto& c : cases) {
    FakeFileLayer files;
    files.disk["t.bin"] = {'o', 'l', 'd'};
    c.fault(files);
    ExpectRaises<Exception>([&] { c.data.SaveToFile("t.bin", files); }, c.message);
    EXPECT_EQ(files.log, c.log) << c.message;
    EXPECT_EQ(files.disk, (std::map<std::string, Bytes>{{"t.bin", {'o', 'l', 'd'}}})) << c.message;
    if (&c.data == &shortData)
      EXPECT_EQ(files.writes, (std::vector<int64_t>{61440})) << "nothing beyond what was read";
  }
}

TEST(BinaryDataSave, UncreatableFileNamesTheExpandedPathAndSystemText) {
  TBinaryData data(nullptr);
  FakeFileLayer files;
  files.refuseCreate = 3;
  ExpectRaises<EFCreateError>([&] { data.SaveToFile("sub\\x.bin", files); },
                              "Cannot create file \"X:\\full\\sub\\x.bin\". text 3");
  EXPECT_EQ(files.log, (std::vector<std::string>{"create sub\\x.bin.qvpart"}));
  SetDefaultFileLayer(nullptr);
  EXPECT_THROW(data.SaveToFile("x.bin"), EInvalidOperation);
  SetDefaultFileLayer(&files);
  EXPECT_THROW(data.SaveToFile("x.bin"), EFCreateError) << "the installed layer is used";
  SetDefaultFileLayer(nullptr);
}

using NativeFileLayerTest = TempDir;

TEST_F(NativeFileLayerTest, EmptyBlockGivesAnEmptyFileAndLargerFilesAreReplaced) {
  TBinaryData data(nullptr);
  BytesStream empty(PayloadBlock({}, 0));
  data.ReadData(empty);
  data.SaveToFile((dir_ / "empty.txt").string(), NativeFileLayer());
  ASSERT_TRUE(fs::exists(dir_ / "empty.txt"));
  EXPECT_EQ(fs::file_size(dir_ / "empty.txt"), 0u);

  std::ofstream(dir_ / "big.bin", std::ios::binary) << std::string(100000, 'x');
  BytesStream source({1, 2, 3});
  data.SetData(&source);
  data.SaveToFile((dir_ / "big.bin").string(), NativeFileLayer());
  EXPECT_EQ(FileBytes(dir_ / "big.bin"), (Bytes{1, 2, 3}));
  EXPECT_EQ(test::FileNames(dir_), (std::vector<std::string>{"big.bin", "empty.txt"}))
      << "no temporary file";
}

TEST_F(NativeFileLayerTest, MissingDirectoryNamesTheExpandedPath) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  std::string message;
  try {
    TBinaryData(nullptr).SaveToFile("./missing/../missing/x.bin", NativeFileLayer());
  } catch (const EFCreateError& error) {
    message = error.Message();
  }
  fs::current_path(before);
  EXPECT_EQ(message, "Cannot create file \"" + (dir_ / "missing" / "x.bin").string() + "\". " +
                         std::strerror(ENOENT));
}

// A temporary file left by a crash, or a link planted under its name, is
// neither written nor followed: the save fails and nothing changes.
TEST_F(NativeFileLayerTest, AnExistingTemporaryNameStopsTheSave) {
  const fs::path target = dir_ / "t.bin", temporary = dir_ / "t.bin.qvpart";
  std::ofstream(target, std::ios::binary) << "old";
  std::ofstream(dir_ / "foreign", std::ios::binary) << "theirs";
  TBinaryData data(nullptr);
  BytesStream source({1, 2, 3});
  data.SetData(&source);
  for (const bool link : {false, true}) {
    if (link)
      fs::create_symlink(dir_ / "foreign", temporary);
    else
      std::ofstream(temporary, std::ios::binary) << "stale";
    const auto before = test::DirectorySnapshot(dir_);
    ExpectRaises<EFCreateError>(
        [&] { data.SaveToFile(target.string(), NativeFileLayer()); },
        "Cannot create file \"" + target.string() + "\". " + std::strerror(EEXIST));
    EXPECT_EQ(test::DirectorySnapshot(dir_), before);
    EXPECT_EQ(fs::is_symlink(temporary), link);
    fs::remove(temporary);
  }
}

// A file size limit makes write() stop short, as a full disk does.
TEST_F(NativeFileLayerTest, AFullDiskRaisesWriteErrorAndKeepsTheTarget) {
  const fs::path target = dir_ / "t.bin";
  std::ofstream(target, std::ios::binary) << "old";
  TBinaryData data(nullptr);
  BytesStream source(RandomBytes(150000, 8));
  data.SetData(&source);
  struct Limit {
    rlimit before{};
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ~Limit() {
      ::setrlimit(RLIMIT_FSIZE, &before);
      std::signal(SIGXFSZ, handler);
    }
  } limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit.before), 0);
  rlimit small = limit.before;
  small.rlim_cur = std::min<rlim_t>(70000, small.rlim_max);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ExpectRaises<EWriteError>([&] { data.SaveToFile(target.string(), NativeFileLayer()); },
                            "Stream write error");
  EXPECT_EQ(test::DirectorySnapshot(dir_), (std::map<std::string, std::string>{{"t.bin", "old"}}));
}

// --------------------------------------------------- TCompressedBinaryData

class CompressedData : public TempDir {
 protected:
  void Watch(TCompressedBinaryData& component) {
    component.SetOnCompressionProgress([this, &component](TObject* sender, int percent) {
      EXPECT_EQ(sender, &component);
      progress_.push_back(percent);
    });
  }
  std::vector<int> progress_;
};

TEST_F(CompressedData, ReadingTakesTheBlockAsItIsAndInflatesOnce) {
  const Bytes plain = TextBytes(420864);
  const Bytes packed = ZlibCompress(plain);
  ASSERT_LT(packed.size(), 65536u);
  TCompressedBinaryData component(nullptr);
  ReadFromForm(component, packed, 47.647934f);
  EXPECT_TRUE(component.Compressed());
  EXPECT_EQ(component.CompressionLevel(), clMax);
  EXPECT_EQ(component.CompressionRate(), 47.647934f);
  EXPECT_EQ(Stored(component), packed);

  Watch(component);
  TStream& first = component.GetData();
  EXPECT_EQ(first.Position(), 0);
  EXPECT_EQ(Contents(first), plain);
  EXPECT_EQ(progress_, (std::vector<int>{100})) << "one source buffer, one step";
  EXPECT_EQ(component.GetDataSize(), int32_t(packed.size())) << "the compressed size";
  first.SetPosition(77);
  EXPECT_EQ(&component.GetData(), &first);
  EXPECT_EQ(first.Position(), 77);
  component.SaveToFile((dir_ / "qvdaemon.exe").string(), NativeFileLayer());
  EXPECT_EQ(FileBytes(dir_ / "qvdaemon.exe"), plain);
  EXPECT_EQ(progress_.size(), 1u) << "no second inflation";

  // Written before anything asked for its data, a block inflates straight
  // into the file and keeps no cache: memory never holds the payload whole.
  TCompressedBinaryData streamed(nullptr);
  ReadFromForm(streamed, packed, 47.647934f);
  progress_.clear();
  Watch(streamed);
  streamed.SaveToFile((dir_ / "qvmonitor.exe").string(), NativeFileLayer());
  EXPECT_EQ(FileBytes(dir_ / "qvmonitor.exe"), plain);
  EXPECT_EQ(progress_, (std::vector<int>{100}));
  EXPECT_EQ(Contents(streamed.GetData()), plain);
  EXPECT_EQ(progress_.size(), 2u) << "no cache was kept by the save";
}

// A compressed block read from lasting memory (the program's own resource)
// is referred to, not copied, until something is about to change it; from
// memory that does not last, or uncompressed, it is copied.
TEST_F(CompressedData, ABlockInLastingMemoryIsReferredToUntilItChanges) {
  struct Peek : TCompressedBinaryData {
    using TCompressedBinaryData::TCompressedBinaryData;
    const uint8_t* StoredAt() {
      auto* view = dynamic_cast<TReadOnlyMemoryStream*>(&StoredData());
      return view != nullptr ? view->Data() : nullptr;
    }
  };
  const Bytes plain = TextBytes(50000);
  const Bytes packed = ZlibCompress(plain);
  const Bytes block = PayloadBlock(packed);
  for (const bool lasting : {true, false}) {
    for (const bool compressed : {true, false}) {
      Peek component(nullptr);
      component.SetState(csLoading);
      component.ClassType().FindProperty("Compressed")->SetOrd(component, compressed ? 1 : 0);
      TReadOnlyMemoryStream source(block.data(), block.size(), lasting);
      component.ReadData(source);
      component.Loaded();
      EXPECT_EQ(source.Position(), int64_t(block.size()));
      EXPECT_EQ(component.StoredAt(), lasting && compressed ? block.data() + 4 : nullptr);
      EXPECT_EQ(Stored(component), packed);
      EXPECT_EQ(component.GetDataSize(), int32_t(packed.size()));
      if (compressed) {
        EXPECT_EQ(Contents(component.GetData()), plain);
        component.SetCompressed(false);
        EXPECT_EQ(component.StoredAt(), nullptr) << "changed bytes are the component's own";
        EXPECT_EQ(Stored(component), plain);
      }
    }
  }
}

TEST_F(CompressedData, LargeBlockStepsOncePerSourceBuffer) {
  const Bytes packed = ZlibCompress(RandomBytes(744000, 6));
  ASSERT_GT(packed.size(), 11u * 65536);
  ASSERT_LE(packed.size(), 12u * 65536);
  TCompressedBinaryData component(nullptr);
  ReadFromForm(component, packed, 0.0f);
  Watch(component);
  component.GetData();
  ASSERT_EQ(progress_.size(), 12u);
  EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
  EXPECT_EQ(progress_.front(), 65536 * 100 / int(packed.size())) << "truncated, not rounded";
  EXPECT_EQ(progress_.back(), 100);
}

// A damaged block and one cut short (no end, no checksum) both fail, and
// neither touches the target: an existing file keeps its bytes, and no new
// one is made.
TEST_F(CompressedData, CorruptOrShortBlockFailsEveryTimeAndTouchesNoFile) {
  const Bytes whole = ZlibCompress(TextBytes(30000));
  Bytes damaged = whole;
  damaged[damaged.size() / 2] ^= 0xFF;
  const Bytes shortened(whole.begin(), whole.end() - 4);
  for (const Bytes& packed : {damaged, shortened}) {
    TCompressedBinaryData component(nullptr);
    ReadFromForm(component, packed, 0.0f);
    ExpectRaises<EDecompressionError>([&] { component.GetData(); }, "Error");
    const fs::path existing = dir_ / "licence.txt";
    std::ofstream(existing, std::ios::binary) << "the user's own";
    const fs::path fresh = dir_ / "readme.txt";
    for (const fs::path& file : {existing, fresh}) {
      ExpectRaises<EDecompressionError>(
          [&] { component.SaveToFile(file.string(), NativeFileLayer()); }, "Error");
    }
    EXPECT_EQ(FileBytes(existing),
              Bytes({'t', 'h', 'e', ' ', 'u', 's', 'e', 'r', '\'', 's', ' ', 'o', 'w', 'n'}));
    EXPECT_FALSE(fs::exists(fresh));
    ExpectRaises<EDecompressionError>([&] { component.SetCompressed(false); }, "Error");
    EXPECT_TRUE(component.Compressed()) << "the flag still describes the stored bytes";
    EXPECT_EQ(Stored(component), packed);
  }
}

TEST_F(CompressedData, SwitchingCompressedReencodesWithTheRate) {
  const Bytes plain = TextBytes(300000);
  TCompressedBinaryData component(nullptr);
  BytesStream source(plain);
  component.SetData(&source);
  EXPECT_EQ(component.CompressionRate(), 0.0f);
  Watch(component);

  component.SetCompressed(true);
  const Bytes packed = Stored(component);
  ASSERT_GE(packed.size(), 2u);
  EXPECT_EQ(packed[0], 0x78);
  EXPECT_EQ(packed[1], 0xDA);
  EXPECT_EQ(ZlibUncompress(packed, plain.size()), plain);
  EXPECT_FLOAT_EQ(component.CompressionRate(), 100.0f - 100.0f * packed.size() / plain.size());
  EXPECT_TRUE(progress_.empty()) << "compressed output under 64 KiB never steps";

  component.SetCompressed(true);
  EXPECT_EQ(Stored(component), packed) << "same value: nothing happens";
  component.SetData(&component.GetData());
  EXPECT_EQ(ZlibUncompress(Stored(component), plain.size()), plain) << "from its own cache";
  component.SetCompressed(false);
  EXPECT_EQ(Stored(component), plain);
  EXPECT_EQ(component.CompressionRate(), 0.0f);
}

TEST_F(CompressedData, LevelRecompressesOnlyWhileCompressed) {
  const Bytes plain = TextBytes(50000);
  TCompressedBinaryData component(nullptr);
  BytesStream source(plain);
  component.SetData(&source);
  component.SetCompressionLevel(clNone);
  EXPECT_EQ(Stored(component), plain);
  component.SetCompressed(true);
  EXPECT_EQ(Stored(component)[1], 0x01) << "the level chosen while uncompressed";
  EXPECT_LT(component.CompressionRate(), 0.0f) << "stored blocks grow";
  component.SetCompressionLevel(clDefault);
  EXPECT_EQ(Stored(component)[1], 0x9C);
  EXPECT_EQ(ZlibUncompress(Stored(component), plain.size()), plain);
  EXPECT_GT(component.CompressionRate(), 90.0f);
}

TEST_F(CompressedData, MarksSuppressReencoding) {
  const Bytes plain = TextBytes(10000);
  for (ComponentStateFlag mark : {csLoading, csReading}) {
    TCompressedBinaryData component(nullptr);
    BytesStream source(plain);
    component.SetData(&source);
    component.SetState(mark);
    component.SetCompressed(true);
    component.SetCompressionLevel(clNone);
    component.SetCompressionRate(12.5f);
    EXPECT_TRUE(component.Compressed());
    EXPECT_EQ(component.CompressionLevel(), clNone);
    EXPECT_EQ(component.CompressionRate(), 12.5f);
    EXPECT_EQ(Stored(component), plain);
  }
}

TEST_F(CompressedData, RefusedWritesAndChangesWhileBusy) {
  TCompressedBinaryData component(nullptr);
  ReadFromForm(component, ZlibCompress(TextBytes(1000)), 33.0f);
  ExpectRaises<Exception>([&] { component.SetDataSize(10); },
                          "Compressed binary data not allowed to modify DataSize");
  ExpectRaises<Exception>(
      [&] { component.SetCompressionRate(1.0f); },
      "Make no sense to set this property manually. This is only an informative property.");
  EXPECT_EQ(component.CompressionRate(), 33.0f);

  const Bytes plain = RandomBytes(200000, 7);
  BytesStream other(TextBytes(100)), source(plain);
  component.SetOnCompressionProgress([&](TObject*, int percent) {
    progress_.push_back(percent);
    component.SetData(&other);
    component.SetCompressed(false);
    component.SetCompressionLevel(clNone);
  });
  component.SetData(&source);
  ASSERT_FALSE(progress_.empty());
  EXPECT_TRUE(component.Compressed());
  EXPECT_EQ(component.CompressionLevel(), clMax);
  EXPECT_EQ(ZlibUncompress(Stored(component), plain.size()), plain);
}

TEST(CompressedDataTypes, PublishedPropertiesInOrderWithTheirStorageRules) {
  RegisterDataComponents();
  const TClassInfo* info = FindRegisteredClass("TCompressedBinaryData");
  ASSERT_NE(info, nullptr);
  ASSERT_NE(FindRegisteredClass("TBinaryData"), nullptr);
  std::vector<std::string> names;
  for (const TPropInfo& p : info->Properties)
    names.push_back(p.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Compressed", "CompressionLevel", "DataSize",
                                             "CompressionRate", "OnCompressionProgress"}));

  TComponent owner(nullptr);
  TComponent* created = info->Create(&owner);
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), created);
  auto& component = static_cast<TCompressedBinaryData&>(*created);
  const TPropInfo* compressed = info->FindProperty("Compressed");
  const TPropInfo* level = info->FindProperty("CompressionLevel");
  const TPropInfo* size = info->FindProperty("DataSize");
  const TPropInfo* rate = info->FindProperty("CompressionRate");
  EXPECT_TRUE(compressed->HasDefault && compressed->Default == 0);
  EXPECT_EQ(level->Enum->ValueOf("clMax"), 3);
  EXPECT_TRUE(level->HasDefault && level->Default == clMax);
  EXPECT_EQ(rate->FloatType, TFloatType::ftSingle);
  EXPECT_TRUE(size->Stored(component));
  EXPECT_FALSE(rate->Stored(component));
  BytesStream source(TextBytes(1000));
  component.SetData(&source);
  compressed->SetOrd(component, 1);
  EXPECT_FALSE(size->Stored(component));
  EXPECT_TRUE(rate->Stored(component));
}

TEST(CompressedDataTypes, ProgressEventBindsOnlyItsOwnType) {
  TCompressedBinaryData component(nullptr);
  const TPropInfo* event = component.ClassType().FindProperty("OnCompressionProgress");
  int calls = 0;
  TMethod method;
  method.Name = "PayloadProgress";
  method.Code = TCompressionProgressEvent([&](TObject*, int) { ++calls; });
  event->SetMethod(component, method);
  EXPECT_EQ(event->GetMethod(component).Name, "PayloadProgress");
  ReadFromForm(component, ZlibCompress(TextBytes(100)), 0.0f);
  component.GetData();
  EXPECT_EQ(calls, 1);

  TMethod wrong;
  wrong.Code = std::function<void(TObject*)>([](TObject*) {});
  ExpectRaises<EReadError>([&] { event->SetMethod(component, wrong); }, "Invalid property value");
  event->SetMethod(component, TMethod{});
  EXPECT_FALSE(component.OnCompressionProgress());
}

// The nine shipped payloads' rates (their stored Extended bytes, read into
// a single) are what the rate rule gives for their sizes.
TEST(CompressedDataTypes, RateRuleMatchesTheShippedPayloads) {
  const struct {
    int64_t compressed, inflated;
    uint8_t extended[10];
  } rows[] = {
      {220331, 420864, {0x8e, 0xf7, 0xff, 0xff, 0xff, 0x7b, 0x97, 0xbe, 0x04, 0x40}},
      {744729, 1487872, {0x8e, 0xf7, 0xff, 0xff, 0xff, 0x6b, 0xc9, 0xc7, 0x04, 0x40}},
      {376162, 743424, {0x7b, 0xfc, 0xff, 0xff, 0xff, 0x0c, 0x9b, 0xc5, 0x04, 0x40}},
      {558, 1136, {0x4c, 0xff, 0xff, 0xff, 0xff, 0x68, 0x85, 0xcb, 0x04, 0x40}},
      {5919, 15670, {0x85, 0x03, 0x00, 0x00, 0x00, 0xa3, 0xe8, 0xf8, 0x04, 0x40}},
      {1532, 3420, {0xb4, 0x00, 0x00, 0x00, 0x00, 0x97, 0xd1, 0xdc, 0x04, 0x40}},
      {249160, 519168, {0x2f, 0xfd, 0xff, 0xff, 0xff, 0x03, 0x08, 0xd0, 0x04, 0x40}},
      {257807, 501248, {0xc7, 0xfb, 0xff, 0xff, 0xff, 0x95, 0x44, 0xc2, 0x04, 0x40}},
      {220527, 227327, {0xcd, 0x03, 0x00, 0x00, 0x00, 0x39, 0x71, 0xbf, 0x00, 0x40}},
  };
  for (const auto& row : rows) {
    uint64_t mantissa = 0;
    std::memcpy(&mantissa, row.extended, 8);
    const int exponent = (row.extended[9] & 0x7F) << 8 | row.extended[8];
    const long double stored = std::ldexp((long double)mantissa, exponent - 16383 - 63);
    EXPECT_EQ(CompressionRateOf(row.compressed, row.inflated), static_cast<float>(stored))
        << row.compressed << " / " << row.inflated;
  }
  EXPECT_EQ(CompressionRateOf(0, 0), 0.0f);
}

}  // namespace
}  // namespace qv
