// The form compiler: its source language and the stream it writes, read
// back with the product's own reader.
#include "FormSource.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/Stream.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FormReader.h"
#include "core/Sha256.h"

namespace qv {
namespace {

class FormCompiler : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("formc-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  // Compiles source; the stream is left positioned after the signature.
  TMemoryStream& Compile(const std::string& source) {
    const FormObject root = ParseFormSource(source, "test.form");
    CompileForm(root, CompileOptions{dir_, dir_, {}}, stream_);
    stream_.SetPosition(0);
    return stream_;
  }

  std::filesystem::path dir_;
  TMemoryStream stream_;
};

std::string ErrorOf(const std::string& source) {
  try {
    ParseFormSource(source, "w.form");
  } catch (const FormSourceError& e) {
    return e.what();
  }
  return "";
}

TEST(FormSourceSyntax, MistakesNameTheirLine) {
  EXPECT_EQ(ErrorOf("form TA a\n  Left = 1\n"), "w.form:3: missing 'end'");
  EXPECT_EQ(ErrorOf("form TA a\n  Caption = \"x\\q\"\nend\n"), "w.form:2: unknown escape \\q");
  EXPECT_EQ(ErrorOf("form TA a\n  Left = 12z\nend\n"), "w.form:2: unexpected text after the value");
  EXPECT_EQ(ErrorOf("form TA a\nend\nend\n"), "w.form:3: text after the window's 'end'");
  EXPECT_EQ(ErrorOf("window TA a\nend\n"), "w.form:1: expected 'form'");
  EXPECT_EQ(ErrorOf("form TA a\n  Caption = \"open\nend\n"), "w.form:2: unterminated string");
  EXPECT_EQ(ErrorOf("form TA a\n  payload p \"x\"\n    child TB b\n    end\n  end\nend\n"),
            "w.form:3: a payload has no children");
}

TEST(FormSourceSyntax, TreeOfObjectsWithOptionalNames) {
  const FormObject root = ParseFormSource(
      "# comment\nform TRoot root\n  child TPage\n    Caption = \"A\" # trailing\n  end\n"
      "  child TButton b1\n  end\nend\n",
      "t.form");
  EXPECT_EQ(root.className, "TRoot");
  EXPECT_EQ(root.name, "root");
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].className, "TPage");
  EXPECT_EQ(root.children[0].name, "");
  EXPECT_EQ(root.children[0].properties.at(0).value.text, "A");
  EXPECT_EQ(root.children[1].name, "b1");
}

TEST_F(FormCompiler, ValuesTakeTheirTags) {
  TMemoryStream& s = Compile(
      "form TRoot root\n"
      "  Small = 12\n  Medium = -300\n  Large = 0x12345678\n  Rate = 2.5\n"
      "  Caption = \"a\\r\\nb\"\n  Flag = true\n  Off = false\n  Style = [fsBold, fsItalic]\n"
      "  Empty = []\n  Color = clWhite\nend\n");
  TFormReader r(s);
  r.ReadSignature();
  EXPECT_EQ(r.ReadStr(), "TRoot");
  EXPECT_EQ(r.ReadStr(), "root");
  const auto next = [&](const char* path) {
    EXPECT_EQ(r.ReadStr(), path);
    return r.NextValue();
  };
  EXPECT_EQ(next("Small"), TValueType::vaInt8);
  EXPECT_EQ(r.ReadInteger(), 12);
  EXPECT_EQ(next("Medium"), TValueType::vaInt16);
  EXPECT_EQ(r.ReadInteger(), -300);
  EXPECT_EQ(next("Large"), TValueType::vaInt32);
  EXPECT_EQ(r.ReadInteger(), 0x12345678);
  EXPECT_EQ(next("Rate"), TValueType::vaExtended);
  EXPECT_EQ(r.ReadFloat(), 2.5L);
  EXPECT_EQ(next("Caption"), TValueType::vaString);
  EXPECT_EQ(r.ReadString(), "a\r\nb");
  EXPECT_EQ(next("Flag"), TValueType::vaTrue);
  r.ReadValue();
  EXPECT_EQ(next("Off"), TValueType::vaFalse);
  r.ReadValue();
  EXPECT_EQ(next("Style"), TValueType::vaSet);
  const TEnumInfo styles{"TFontStyle", {"fsBold", "fsItalic"}};
  EXPECT_EQ(r.ReadSet(styles), 3u);
  EXPECT_EQ(next("Empty"), TValueType::vaSet);
  EXPECT_EQ(r.ReadSet(styles), 0u);
  EXPECT_EQ(next("Color"), TValueType::vaIdent);
  EXPECT_EQ(r.ReadIdent(), "clWhite");
  EXPECT_TRUE(r.EndOfList());
}

TEST_F(FormCompiler, FilesBecomeBinaryBitmapAndLineValues) {
  WriteFile("icon.ico", std::string("\0\0\1\0", 4));
  WriteFile("pic.bmp", "BM123");
  WriteFile("text.txt", "first\r\n\r\nthird\n");
  TMemoryStream& s = Compile(
      "form TRoot root\n  Icon.Data = binary(\"icon.ico\")\n  Picture.Data = bitmap(\"pic.bmp\")\n"
      "  Lines.Strings = lines(\"text.txt\")\nend\n");
  TFormReader r(s);
  r.ReadSignature();
  r.ReadStr();
  r.ReadStr();
  EXPECT_EQ(r.ReadStr(), "Icon.Data");
  TMemoryStream icon;
  r.ReadBinary(icon);
  EXPECT_EQ(icon.Size(), 4);
  EXPECT_EQ(r.ReadStr(), "Picture.Data");
  TMemoryStream picture;
  r.ReadBinary(picture);
  // The graphic class, the file's length, the file.
  const std::string expected = std::string("\x07TBitmap\x05\0\0\0", 12) + "BM123";
  EXPECT_EQ(std::string(picture.Bytes().begin(), picture.Bytes().end()), expected);
  EXPECT_EQ(r.ReadStr(), "Lines.Strings");
  r.ReadListBegin();
  EXPECT_EQ(r.NextValue(), TValueType::vaString);
  EXPECT_EQ(r.ReadString(), "first");
  // An empty line is an empty wide string, as the stored windows carry it.
  EXPECT_EQ(r.NextValue(), TValueType::vaWString);
  EXPECT_EQ(r.ReadString(), "");
  EXPECT_EQ(r.ReadString(), "third");
  EXPECT_TRUE(r.EndOfList());
}

TEST_F(FormCompiler, NotABitmapIsRefused) {
  WriteFile("pic.bmp", "GIF89a");
  EXPECT_THROW(Compile("form TRoot root\n  Picture.Data = bitmap(\"pic.bmp\")\nend\n"),
               FormSourceError);
}

TEST_F(FormCompiler, PayloadIsStoredCompressedWithItsRate) {
  std::string data(10000, '\0');
  std::mt19937 random(7);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i % 3 == 0 ? random() % 256 : 'a');
  }
  WriteFile("payload.bin", data);
  TMemoryStream& s = Compile(
      "form TRoot root\n  payload blob \"payload.bin\"\n    Left = 8\n    Top = 300\n  end\nend\n");
  TFormReader r(s);
  r.ReadSignature();
  r.ReadStr();
  r.ReadStr();
  EXPECT_TRUE(r.EndOfList());
  r.ReadListEnd();
  EXPECT_EQ(r.ReadStr(), "TCompressedBinaryData");
  EXPECT_EQ(r.ReadStr(), "blob");
  // Published properties first, then the defined ones, TheData last.
  EXPECT_EQ(r.ReadStr(), "Compressed");
  EXPECT_EQ(r.ReadIdent(), "True");
  EXPECT_EQ(r.ReadStr(), "CompressionRate");
  EXPECT_EQ(r.NextValue(), TValueType::vaExtended);
  const long double rate = r.ReadFloat();
  EXPECT_EQ(r.ReadStr(), "Left");
  EXPECT_EQ(r.ReadInteger(), 8);
  EXPECT_EQ(r.ReadStr(), "Top");
  EXPECT_EQ(r.ReadInteger(), 300);
  EXPECT_EQ(r.ReadStr(), "TheData");
  TMemoryStream block;
  r.ReadBinary(block);
  ASSERT_GT(block.Size(), 6);
  int32_t size = 0;
  std::memcpy(&size, block.Memory(), 4);
  EXPECT_EQ(size + 4, block.Size()) << "the Binary count is N + 4";
  EXPECT_EQ(block.Memory()[4], 0x78);
  EXPECT_EQ(block.Memory()[5], 0xDA);
  EXPECT_EQ(static_cast<float>(rate), CompressionRateOf(size, static_cast<int64_t>(data.size())));
  uLongf level9 = compressBound(data.size());
  std::vector<uint8_t> zlib9(level9);
  ASSERT_EQ(
      compress2(zlib9.data(), &level9, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9),
      Z_OK);
  EXPECT_LE(static_cast<uLongf>(size), level9) << "larger than zlib's maximum level";

  TComponent owner(nullptr);
  auto* component = new TCompressedBinaryData(&owner);
  component->SetState(csLoading);
  component->SetCompressed(true);
  block.SetPosition(0);
  component->ReadData(block);
  component->Loaded();
  TStream& inflated = component->GetData();
  std::string back(static_cast<size_t>(inflated.Size()), '\0');
  inflated.ReadBuffer(back.data(), inflated.Size());
  EXPECT_EQ(back, data);
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST_F(FormCompiler, PayloadCacheIsUsedOnlyOnceItInflatesToThePayload) {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += "line " + std::to_string(i * i) + " of the licence\r\n";
  WriteFile("licence.txt", text);
  const std::string source = "form TRoot root\n  payload licence \"licence.txt\"\n  end\nend\n";
  const CompileOptions options{dir_, dir_, dir_ / "cache"};
  PackCounts counts;
  const auto compile = [&] {
    TMemoryStream out;
    counts = CompileForm(ParseFormSource(source, "t.form"), options, out).payloads;
    return out.Bytes();
  };
  const auto entries = [&] {
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::directory_iterator(options.cacheDir))
      found.push_back(e.path());
    return found;
  };

  const std::vector<uint8_t> first = compile();
  EXPECT_EQ(counts.compressed, 1);
  ASSERT_EQ(entries().size(), 1u) << "one entry, no temporary file left";
  const std::filesystem::path entry = entries()[0];
  const std::string stored = ReadAll(entry);

  EXPECT_EQ(compile(), first);
  EXPECT_EQ(counts.compressed, 0) << "an unchanged payload is not compressed again";
  EXPECT_EQ(counts.fromCache, 1);

  // A flipped byte and an entry cut short: each is found out, compressed
  // again and written anew, and the stream is the same as ever.
  std::string flipped = stored;
  flipped[flipped.size() / 2] ^= 0x10;
  for (const std::string& damaged : {flipped, stored.substr(0, stored.size() - 3)}) {
    std::ofstream(entry, std::ios::binary | std::ios::trunc) << damaged;
    EXPECT_EQ(compile(), first);
    EXPECT_EQ(counts.compressed, 1);
    EXPECT_EQ(counts.replaced, 1);
    EXPECT_EQ(ReadAll(entry), stored);
  }

  WriteFile("licence.txt", text + "changed");
  compile();
  EXPECT_EQ(counts.compressed, 1) << "a changed payload has an entry of its own";
  EXPECT_EQ(entries().size(), 2u);
}

TEST(PayloadCacheKey, Sha256OfKnownMessages) {
  const auto digest = [](const std::string& message, size_t piece) {
    Sha256 hash;
    for (size_t at = 0; at < message.size(); at += piece)
      hash.Update(message.data() + at, std::min(piece, message.size() - at));
    return Sha256::Hex(hash.Final());
  };
  // FIPS 180-4's examples: one block, two blocks, and a long message fed
  // in pieces that straddle the block boundaries.
  EXPECT_EQ(digest("", 1), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 56),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest(std::string(1000000, 'a'), 997),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(FormCompilerCheck, OnlyABlockThatInflatesWholeToItsFilePasses) {
  std::vector<uint8_t> file(70000);
  std::mt19937 random(3);
  for (uint8_t& b : file)
    b = static_cast<uint8_t>(random() % 16);
  uLongf packedSize = compressBound(file.size());
  std::vector<uint8_t> packed(packedSize);
  ASSERT_EQ(compress2(packed.data(), &packedSize, file.data(), file.size(), 9), Z_OK);
  packed.resize(packedSize);
  // The block as the component stores it: the stream's size, then the stream.
  const auto block = [](const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> out(4);
    const auto size = static_cast<uint32_t>(stream.size());
    std::memcpy(out.data(), &size, 4);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
  };
  const auto check = [&](const std::vector<uint8_t>& stream, const std::vector<uint8_t>& source,
                         const std::string& name) {
    const std::vector<uint8_t> b = block(stream);
    CheckBlockInflatesTo(b.data(), b.size(), source, name);
  };
  EXPECT_NO_THROW(check(packed, file, "good.bin"));
  std::vector<uint8_t> damaged = packed;
  damaged[damaged.size() / 2] ^= 0x55;
  EXPECT_THROW(check(damaged, file, "damaged.bin"), std::runtime_error);
  const std::vector<uint8_t> noTrailer(packed.begin(), packed.end() - 4);
  EXPECT_THROW(check(noTrailer, file, "short.bin"), std::runtime_error);
  std::vector<uint8_t> other = file;
  other.back() ^= 1;
  try {
    check(packed, other, "other.bin");
    ADD_FAILURE() << "a block of another file passed";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("payload other.bin"), std::string::npos) << e.what();
  }
}

TEST_F(FormCompiler, MissingPayloadFileIsAnError) {
  EXPECT_THROW(Compile("form TRoot root\n  payload blob \"nowhere.bin\"\n  end\nend\n"),
               FormSourceError);
}

TEST(FormSources, ProgressWindowCompilesToItsKnownStream) {
  std::ifstream in(std::filesystem::path(QV_SOURCE_DIR) / "forms" / "FormProgress.form");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  TMemoryStream stream;
  CompileForm(ParseFormSource(text, "FormProgress.form"),
              CompileOptions{std::filesystem::path(QV_SOURCE_DIR) / "forms", {}, {}}, stream);
  ASSERT_EQ(stream.Size(), 407);
  const std::vector<uint8_t>& b = stream.Bytes();
  const std::string opening(b.begin(), b.begin() + 34);
  EXPECT_EQ(opening, std::string("TPF0\x0DTFormProgress\x0C"
                                 "FormProgress\x04Left\x03\xAF\x01",
                                 34));
  EXPECT_EQ(b[406], 0);
  EXPECT_EQ(b[405], 0);
  EXPECT_EQ(b[404], 0);
}

}  // namespace
}  // namespace qv
