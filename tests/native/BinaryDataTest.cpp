#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Filer.h"
#include "formstream/BinaryData.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FileLayer.h"

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

// Counts what is written; capacity models a full disk.
struct FakeFile {
  std::vector<int64_t> writes;
  Bytes bytes;
  int64_t capacity = INT64_MAX;
  bool closed = false;
};

class FakeFileLayer : public TFileLayer {
 public:
  FakeFile file;
  uint32_t refuseWith = 0;

  std::unique_ptr<TStream> CreateAlways(const std::string&, uint32_t& error) override {
    if (refuseWith != 0) {
      error = refuseWith;
      return nullptr;
    }
    file = FakeFile{{}, {}, file.capacity, false};
    return std::make_unique<Stream>(file);
  }
  std::string ExpandFileName(const std::string& name) override { return "X:\\full\\" + name; }
  std::string SysErrorMessage(uint32_t error) override { return "text " + std::to_string(error); }

 private:
  class Stream : public TStream {
   public:
    explicit Stream(FakeFile& file) : file_(file) {}
    ~Stream() override { file_.closed = true; }
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override {
      file_.writes.push_back(count);
      const int64_t taken = std::min<int64_t>(count, file_.capacity - int64_t(file_.bytes.size()));
      const auto* in = static_cast<const uint8_t*>(buffer);
      file_.bytes.insert(file_.bytes.end(), in, in + taken);
      return taken;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return int64_t(file_.bytes.size()); }

   private:
    FakeFile& file_;
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

TEST(BinaryDataSave, CopiesFromTheStartInChunksOf61440) {
  TBinaryData data(nullptr);
  const Bytes bytes = RandomBytes(150000, 3);
  BytesStream source(bytes);
  data.SetData(&source);
  data.GetData().SetPosition(1234);
  FakeFileLayer files;
  data.SaveToFile("payload.bin", files);
  EXPECT_EQ(files.file.writes, (std::vector<int64_t>{61440, 61440, 27120}));
  EXPECT_EQ(files.file.bytes, bytes);
  EXPECT_TRUE(files.file.closed);
}

class DeliversLess : public TBinaryData {
 public:
  DeliversLess() : TBinaryData(nullptr), source_(RandomBytes(100000, 4), 150000) {}
  TStream& GetData() override { return source_; }

 private:
  ShortStream source_;
};

TEST(BinaryDataSave, IncompleteCopiesRaiseAndCloseTheFile) {
  DeliversLess shortData;
  FakeFileLayer files;
  ExpectRaises<EReadError>([&] { shortData.SaveToFile("short.bin", files); }, "Stream read error");
  EXPECT_EQ(files.file.writes, (std::vector<int64_t>{61440})) << "nothing beyond what was read";
  EXPECT_TRUE(files.file.closed);

  TBinaryData data(nullptr);
  BytesStream source(RandomBytes(150000, 5));
  data.SetData(&source);
  files.file.capacity = 70000;
  ExpectRaises<EWriteError>([&] { data.SaveToFile("full.bin", files); }, "Stream write error");
  EXPECT_EQ(files.file.bytes.size(), 70000u);
  EXPECT_TRUE(files.file.closed);
}

TEST(BinaryDataSave, UncreatableFileNamesTheExpandedPathAndSystemText) {
  TBinaryData data(nullptr);
  FakeFileLayer files;
  files.refuseWith = 3;
  ExpectRaises<EFCreateError>([&] { data.SaveToFile("sub\\x.bin", files); },
                              "Cannot create file \"X:\\full\\sub\\x.bin\". text 3");
  SetDefaultFileLayer(nullptr);
  EXPECT_THROW(data.SaveToFile("x.bin"), EInvalidOperation);
  SetDefaultFileLayer(&files);
  EXPECT_THROW(data.SaveToFile("x.bin"), EFCreateError) << "the installed layer is used";
  SetDefaultFileLayer(nullptr);
}

using NativeFileLayerTest = TempDir;

TEST_F(NativeFileLayerTest, EmptyBlockGivesAnEmptyFileAndLargerFilesAreCut) {
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

TEST_F(NativeFileLayerTest, AnOpenFileIsSharedWithNoOne) {
  const std::string name = (dir_ / "held.bin").string();
  uint32_t error = 0;
  auto held = NativeFileLayer().CreateAlways(name, error);
  ASSERT_NE(held, nullptr);
  held->WriteBuffer("keep", 4);
  EXPECT_EQ(NativeFileLayer().CreateAlways(name, error), nullptr);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(FileBytes(name).size(), 4u) << "a refused create must not truncate";
  held.reset();
  EXPECT_NE(NativeFileLayer().CreateAlways(name, error), nullptr);
}

TEST_F(NativeFileLayerTest, DeviceOutOfSpaceRaisesWriteError) {
  if (!fs::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full";
  TBinaryData data(nullptr);
  BytesStream source({1, 2, 3});
  data.SetData(&source);
  ExpectRaises<EWriteError>([&] { data.SaveToFile("/dev/full", NativeFileLayer()); },
                            "Stream write error");
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
