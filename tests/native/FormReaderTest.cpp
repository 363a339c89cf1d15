// The form stream's value level: every tag through every reading operation,
// the errors of wrong tags and short streams, skipping, the buffer, the
// x87 encoding, the text conversions, and the writer's choice of tags.
#include "formstream/FormReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"
#include "formstream/FormFormat.h"
#include "formstream/FormWriter.h"
#include "formstream/TextEncoding.h"

namespace qv {
namespace {

// Builds stream bytes by hand, independently of the writer under test.
class Bytes {
 public:
  Bytes& U8(int value) {
    data_.push_back(static_cast<uint8_t>(value));
    return *this;
  }
  Bytes& U16(uint16_t value) { return U8(value & 0xFF).U8(value >> 8); }
  Bytes& U32(uint32_t value) { return U16(value & 0xFFFF).U16(static_cast<uint16_t>(value >> 16)); }
  Bytes& U64(uint64_t value) {
    return U32(static_cast<uint32_t>(value)).U32(static_cast<uint32_t>(value >> 32));
  }
  Bytes& Raw(const std::string& text) {
    data_.insert(data_.end(), text.begin(), text.end());
    return *this;
  }
  Bytes& Str(const std::string& text) { return U8(static_cast<int>(text.size())).Raw(text); }
  Bytes& Tag(TValueType tag) { return U8(static_cast<int>(tag)); }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

// A reader over bytes that the fixture keeps alive.
class FormReaderTest : public ::testing::Test {
 protected:
  TFormReader& Over(const Bytes& bytes) {
    bytes_ = bytes.Data();
    reader_.reset();
    stream_ = std::make_unique<TReadOnlyMemoryStream>(bytes_.data(), bytes_.size());
    reader_ = std::make_unique<TFormReader>(*stream_);
    return *reader_;
  }

  std::vector<uint8_t> bytes_;
  std::unique_ptr<TReadOnlyMemoryStream> stream_;
  std::unique_ptr<TFormReader> reader_;
};

void ExpectReadError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error, expected \"" << message << "\"";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

const TEnumInfo& FontStyles() {
  static const TEnumInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return info;
}

// ------------------------------------------------------------- signature

TEST_F(FormReaderTest, SignatureIsAccepted) {
  TFormReader& reader = Over(Bytes().Raw("TPF0").Tag(TValueType::vaInt8).U8(7));
  reader.ReadSignature();
  EXPECT_EQ(reader.ReadInteger(), 7);
}

TEST_F(FormReaderTest, WrongOrMissingSignatureIsAnInvalidStreamFormat) {
  for (const std::string& start : {std::string("TPF1"), std::string("tpf0"), std::string("TP")}) {
    TFormReader& reader = Over(Bytes().Raw(start));
    ExpectReadError([&] { reader.ReadSignature(); }, "Invalid stream format");
  }
}

TEST_F(FormReaderTest, PrefixGivesFlagsAndChildPosition) {
  TFormReader& reader =
      Over(Bytes().U8(0xF3).Tag(TValueType::vaInt16).U16(300).Str("TButton").U8(0xF0).Str("X"));
  uint8_t flags = 0xAA;
  int32_t position = -1;
  reader.ReadPrefix(flags, position);
  EXPECT_EQ(flags, kFilerInherited | kFilerChildPos);
  EXPECT_EQ(position, 300);
  EXPECT_EQ(reader.ReadStr(), "TButton");
  reader.ReadPrefix(flags, position);  // a prefix without the position flag
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(reader.ReadStr(), "X");
}

TEST_F(FormReaderTest, NoPrefixLeavesTheClassNameInPlace) {
  TFormReader& reader = Over(Bytes().Str("TLabel"));
  uint8_t flags = 9;
  int32_t position = 9;
  reader.ReadPrefix(flags, position);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(reader.ReadStr(), "TLabel");
}

// -------------------------------------------------------------- integers

TEST_F(FormReaderTest, IntegerTagsAreSignExtended) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaInt8)
                                 .U8(0xFF)
                                 .Tag(TValueType::vaInt16)
                                 .U16(0x8000)
                                 .Tag(TValueType::vaInt32)
                                 .U32(0x80000000u)
                                 .Tag(TValueType::vaInt16)
                                 .U16(431));
  EXPECT_EQ(reader.ReadInteger(), -1);
  EXPECT_EQ(reader.ReadInteger(), -32768);
  EXPECT_EQ(reader.ReadInteger(), INT32_MIN);
  EXPECT_EQ(reader.ReadInteger(), 431);
}

TEST_F(FormReaderTest, Int64AcceptsItsOwnTagAndEveryIntegerTag) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaInt64)
                                 .U64(0x8000000000000001ull)
                                 .Tag(TValueType::vaInt8)
                                 .U8(0x80)
                                 .Tag(TValueType::vaInt32)
                                 .U32(123456789));
  EXPECT_EQ(reader.ReadInt64(), static_cast<int64_t>(0x8000000000000001ull));
  EXPECT_EQ(reader.ReadInt64(), -128);
  EXPECT_EQ(reader.ReadInt64(), 123456789);
}

TEST_F(FormReaderTest, WrongTagIsRefusedAndLeftForTheCallerToSkip) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaInt64)
                                 .U64(5)
                                 .Tag(TValueType::vaString)
                                 .Str("x")
                                 .Tag(TValueType::vaInt8)
                                 .U8(42));
  ExpectReadError([&] { reader.ReadInteger(); }, "Invalid property value");
  reader.SkipValue();
  ExpectReadError([&] { reader.ReadInteger(); }, "Invalid property value");
  ExpectReadError([&] { reader.ReadFloat(); }, "Invalid property value");
  ExpectReadError([&] { reader.ReadIdent(); }, "Invalid property value");
  ExpectReadError([&] { reader.ReadListBegin(); }, "Invalid property value");
  reader.SkipValue();
  EXPECT_EQ(reader.ReadInteger(), 42);
}

// ---------------------------------------------------------------- floats

struct ExtendedCase {
  uint8_t bytes[kExtendedSize];
  double rate;  // the payload table's value, to six decimals
};

// Stored CompressionRate values of the payload components.
const ExtendedCase kRates[] = {
    {{0x8e, 0xf7, 0xff, 0xff, 0xff, 0x7b, 0x97, 0xbe, 0x04, 0x40}, 47.647934},
    {{0x8e, 0xf7, 0xff, 0xff, 0xff, 0x6b, 0xc9, 0xc7, 0x04, 0x40}, 49.946701},
    {{0x4c, 0xff, 0xff, 0xff, 0xff, 0x68, 0x85, 0xcb, 0x04, 0x40}, 50.880283},
    {{0x85, 0x03, 0x00, 0x00, 0x00, 0xa3, 0xe8, 0xf8, 0x04, 0x40}, 62.227184},
    {{0xcd, 0x03, 0x00, 0x00, 0x00, 0x39, 0x71, 0xbf, 0x00, 0x40}, 2.991286},
};

TEST(ExtendedEncoding, StoredRatesDecodeToThePayloadTable) {
  for (const ExtendedCase& c : kRates) {
    EXPECT_NEAR(static_cast<double>(ExtendedToLongDouble(c.bytes)), c.rate, 5e-7);
  }
}

TEST(ExtendedEncoding, EncodingGivesBackTheStoredBytes) {
  for (const ExtendedCase& c : kRates) {
    uint8_t again[kExtendedSize];
    LongDoubleToExtended(ExtendedToLongDouble(c.bytes), again);
    EXPECT_EQ(0, std::memcmp(again, c.bytes, kExtendedSize)) << c.rate;
  }
}

TEST(ExtendedEncoding, KnownBitPatterns) {
  const auto encode = [](long double value) {
    uint8_t bytes[kExtendedSize];
    LongDoubleToExtended(value, bytes);
    return std::vector<uint8_t>(bytes, bytes + kExtendedSize);
  };
  using V = std::vector<uint8_t>;
  EXPECT_EQ(encode(1.0L), (V{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
  EXPECT_EQ(encode(-2.5L), (V{0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}));
  EXPECT_EQ(encode(0.0L), (V{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(encode(-0.0L), (V{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}));
  EXPECT_EQ(encode(INFINITY), (V{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}));
  const uint8_t nan[kExtendedSize] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F};
  EXPECT_TRUE(std::isnan(ExtendedToLongDouble(nan)));
  const uint8_t inf[kExtendedSize] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF};
  EXPECT_EQ(ExtendedToLongDouble(inf), -INFINITY);
  // The smallest denormal: significand 1, exponent field 0.
  const uint8_t tiny[kExtendedSize] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_GT(ExtendedToLongDouble(tiny), 0.0L);
  EXPECT_EQ(encode(ExtendedToLongDouble(tiny)), (V{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(FormReaderTest, FloatReadsExtendedAndConvertsIntegers) {
  Bytes bytes;
  bytes.Tag(TValueType::vaExtended);
  for (uint8_t b : kRates[0].bytes)
    bytes.U8(b);
  bytes.Tag(TValueType::vaInt8).U8(0xFB).Tag(TValueType::vaInt64).U64(1ull << 40);
  TFormReader& reader = Over(bytes);
  EXPECT_EQ(static_cast<float>(reader.ReadFloat()), 47.647934f);
  EXPECT_EQ(reader.ReadFloat(), -5.0L);
  EXPECT_EQ(reader.ReadFloat(), static_cast<long double>(1ull << 40));
}

TEST_F(FormReaderTest, SingleCurrencyAndDateReadTheirTagsOrIntegers) {
  uint32_t singleBits = 0;
  const float single = 1.25f;
  std::memcpy(&singleBits, &single, 4);
  uint64_t dateBits = 0;
  const double date = 36526.5;
  std::memcpy(&dateBits, &date, 8);
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaSingle)
                                 .U32(singleBits)
                                 .Tag(TValueType::vaInt8)
                                 .U8(3)
                                 .Tag(TValueType::vaCurrency)
                                 .U64(12345)
                                 .Tag(TValueType::vaInt16)
                                 .U16(2)
                                 .Tag(TValueType::vaDate)
                                 .U64(dateBits)
                                 .Tag(TValueType::vaInt8)
                                 .U8(9));
  EXPECT_EQ(reader.ReadSingle(), 1.25f);
  EXPECT_EQ(reader.ReadSingle(), 3.0f);
  EXPECT_EQ(reader.ReadCurrency(), 12345);
  EXPECT_EQ(reader.ReadCurrency(), 20000);  // whole units times 10,000
  EXPECT_EQ(reader.ReadDate(), 36526.5);
  EXPECT_EQ(reader.ReadDate(), 9.0);
}

// --------------------------------------------------------------- strings

TEST_F(FormReaderTest, StringTagsAllReadAsAnsi) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaString)
                                 .Str("Progress")
                                 .Tag(TValueType::vaLString)
                                 .U32(3)
                                 .Raw("abc")
                                 .Tag(TValueType::vaWString)
                                 .U32(4)
                                 .U16('A')
                                 .U16(0x00E9)
                                 .U16(0x20AC)
                                 .U16(0x0416)
                                 .Tag(TValueType::vaUTF8String)
                                 .U32(4)
                                 .Raw("\xC3\xA9\xE2\x80"));
  EXPECT_EQ(reader.ReadString(), "Progress");
  EXPECT_EQ(reader.ReadString(), "abc");
  // Latin-1 and Windows-1252 characters map to their bytes, others to '?'.
  EXPECT_EQ(reader.ReadString(), "A\xE9\x80?");
  // A truncated UTF-8 sequence is one replacement character.
  EXPECT_EQ(reader.ReadString(), "\xE9?");
}

TEST_F(FormReaderTest, WideStringTagsAndAnsiConvertedUp) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaWString)
                                 .U32(2)
                                 .U16(0xD83D)
                                 .U16(0xDE00)
                                 .Tag(TValueType::vaUTF8String)
                                 .U32(4)
                                 .Raw("\xF0\x9F\x98\x80")
                                 .Tag(TValueType::vaString)
                                 .Str("\x80\xE9")
                                 .Tag(TValueType::vaWString)
                                 .U32(0));
  EXPECT_EQ(reader.ReadWideString(), u"\U0001F600");
  EXPECT_EQ(reader.ReadWideString(), u"\U0001F600");
  EXPECT_EQ(reader.ReadWideString(), u"\u20AC\u00E9");
  EXPECT_EQ(reader.ReadWideString(), u"");
}

TEST_F(FormReaderTest, TheAnsiConversionCanBeReplaced) {
  SetAnsiConversion([](std::u16string_view text) { return std::string(text.size(), '#'); },
                    nullptr);
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaWString)
                                 .U32(2)
                                 .U16(0x0416)
                                 .U16('x')
                                 .Tag(TValueType::vaString)
                                 .Str("\x80"));
  EXPECT_EQ(reader.ReadString(), "##");
  EXPECT_EQ(reader.ReadWideString(), u"\u20AC");  // the other direction kept its default
  SetAnsiConversion(nullptr, nullptr);
  EXPECT_EQ(WideToAnsi(u"\u0416"), "?");
}

TEST_F(FormReaderTest, CharIsAOneCharacterString) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaString)
                                 .Str("Q")
                                 .Tag(TValueType::vaString)
                                 .Str("QR")
                                 .Tag(TValueType::vaInt8)
                                 .U8(1));
  EXPECT_EQ(reader.ReadChar(), 'Q');
  ExpectReadError([&] { reader.ReadChar(); }, "Invalid property value");
  ExpectReadError([&] { reader.ReadChar(); }, "Invalid property value");
}

TEST_F(FormReaderTest, IdentifierWordsOfTheValuelessTags) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaIdent)
                                 .Str("bsSingle")
                                 .Tag(TValueType::vaNull)
                                 .Tag(TValueType::vaFalse)
                                 .Tag(TValueType::vaTrue)
                                 .Tag(TValueType::vaNil)
                                 .Tag(TValueType::vaString)
                                 .Str("x"));
  EXPECT_EQ(reader.ReadIdent(), "bsSingle");
  EXPECT_EQ(reader.ReadIdent(), "Null");
  EXPECT_EQ(reader.ReadIdent(), "False");
  EXPECT_EQ(reader.ReadIdent(), "True");
  EXPECT_EQ(reader.ReadIdent(), "nil");
  ExpectReadError([&] { reader.ReadIdent(); }, "Invalid property value");
}

TEST_F(FormReaderTest, BooleanIsTrueOnlyForTheTrueTag) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaTrue)
                                 .Tag(TValueType::vaFalse)
                                 .Tag(TValueType::vaNil)
                                 .Tag(TValueType::vaTrue));
  EXPECT_TRUE(reader.ReadBoolean());
  EXPECT_FALSE(reader.ReadBoolean());
  EXPECT_FALSE(reader.ReadBoolean());
  EXPECT_TRUE(reader.ReadBoolean());
}

// ------------------------------------------------------------------ sets

TEST_F(FormReaderTest, SetsGiveBitMasks) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaSet)
                                 .U8(0)
                                 .Tag(TValueType::vaSet)
                                 .Str("fsBold")
                                 .Str("fsUnderline")
                                 .U8(0));
  EXPECT_EQ(reader.ReadSet(FontStyles()), 0u);
  EXPECT_EQ(reader.ReadSet(FontStyles()), 0b101u);
}

TEST_F(FormReaderTest, UnknownSetElementSkipsTheRestOfTheSet) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaSet)
                                 .Str("fsBold")
                                 .Str("fsBlinking")
                                 .Str("fsItalic")
                                 .U8(0)
                                 .Tag(TValueType::vaInt8)
                                 .U8(42));
  ExpectReadError([&] { reader.ReadSet(FontStyles()); }, "Invalid property value");
  EXPECT_EQ(reader.ReadInteger(), 42);
}

TEST_F(FormReaderTest, SetElementsAbove31AreIgnored) {
  TEnumInfo wide{"TWide", {}};
  for (int i = 0; i < 40; ++i)
    wide.Names.push_back("e" + std::to_string(i));
  TFormReader& reader = Over(Bytes().Tag(TValueType::vaSet).Str("e31").Str("e35").Str("e0").U8(0));
  EXPECT_EQ(reader.ReadSet(wide), 0x80000001u);
}

// ----------------------------------------------------------------- lists

TEST_F(FormReaderTest, ListBeginEndAndEndOfList) {
  TFormReader& reader = Over(Bytes()
                                 .Tag(TValueType::vaList)
                                 .Tag(TValueType::vaString)
                                 .Str("a")
                                 .Tag(TValueType::vaWString)
                                 .U32(1)
                                 .U16('b')
                                 .Tag(TValueType::vaNull));
  reader.ReadListBegin();
  std::vector<std::string> items;
  while (!reader.EndOfList())
    items.push_back(reader.ReadString());
  reader.ReadListEnd();
  EXPECT_EQ(items, (std::vector<std::string>{"a", "b"}));
}

// ---------------------------------------------------------- short streams

TEST_F(FormReaderTest, StreamEndingInsideAValueIsAReadError) {
  const std::vector<std::pair<Bytes, std::function<void(TFormReader&)>>> cases = {
      {Bytes(), [](TFormReader& r) { r.NextValue(); }},
      {Bytes().Tag(TValueType::vaInt16).U8(1), [](TFormReader& r) { r.ReadInteger(); }},
      {Bytes().Tag(TValueType::vaInt32).U16(1), [](TFormReader& r) { r.ReadInteger(); }},
      {Bytes().Tag(TValueType::vaExtended).U32(0), [](TFormReader& r) { r.ReadFloat(); }},
      {Bytes().Tag(TValueType::vaString).U8(10).Raw("abc"), [](TFormReader& r) { r.ReadString(); }},
      {Bytes().Tag(TValueType::vaLString).U32(0xFFFFFFFFu), [](TFormReader& r) { r.ReadString(); }},
      {Bytes().Tag(TValueType::vaWString).U32(0x80000000u).U16(1),
       [](TFormReader& r) { r.ReadWideString(); }},
      {Bytes().Tag(TValueType::vaSet).Str("fsBold"),
       [](TFormReader& r) { r.ReadSet(FontStyles()); }},
      {Bytes().Tag(TValueType::vaList).Tag(TValueType::vaInt8),
       [](TFormReader& r) { r.SkipValue(); }},
      {Bytes().Tag(TValueType::vaBinary).U32(0xFFFFFFF0u).Raw("xy"),
       [](TFormReader& r) { r.SkipValue(); }},
      {Bytes().Tag(TValueType::vaBinary).U32(0xFFFFFFF0u).Raw("xy"),
       [](TFormReader& r) {
         TMemoryStream block;
         r.ReadBinary(block);
       }},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TFormReader& reader = Over(cases[i].first);
    ExpectReadError([&] { cases[i].second(reader); }, "Stream read error");
  }
}

// ------------------------------------------------------------- skipping

// One value of every tag; each is followed by Int8 42 after skipping.
std::vector<Bytes> OneValueOfEveryTag() {
  std::vector<Bytes> values;
  values.push_back(Bytes().Tag(TValueType::vaNull));
  values.push_back(
      Bytes().Tag(TValueType::vaList).Tag(TValueType::vaInt8).U8(1).Tag(TValueType::vaNull));
  values.push_back(Bytes().Tag(TValueType::vaInt8).U8(1));
  values.push_back(Bytes().Tag(TValueType::vaInt16).U16(1));
  values.push_back(Bytes().Tag(TValueType::vaInt32).U32(1));
  values.push_back(Bytes().Tag(TValueType::vaExtended).U64(1).U16(1));
  values.push_back(Bytes().Tag(TValueType::vaString).Str("text"));
  values.push_back(Bytes().Tag(TValueType::vaIdent).Str("clNavy"));
  values.push_back(Bytes().Tag(TValueType::vaFalse));
  values.push_back(Bytes().Tag(TValueType::vaTrue));
  values.push_back(Bytes().Tag(TValueType::vaBinary).U32(5).U8(0).U8(2).U8(0).U8(0).U8(7));
  values.push_back(Bytes().Tag(TValueType::vaSet).Str("fsBold").Str("fsItalic").U8(0));
  values.push_back(Bytes().Tag(TValueType::vaLString).U32(300).Raw(std::string(300, 'L')));
  values.push_back(Bytes().Tag(TValueType::vaNil));
  values.push_back(Bytes()
                       .Tag(TValueType::vaCollection)
                       .Tag(TValueType::vaInt8)
                       .U8(0)
                       .Tag(TValueType::vaList)
                       .Str("Caption")
                       .Tag(TValueType::vaString)
                       .Str("one")
                       .U8(0)
                       .Tag(TValueType::vaList)
                       .Str("Items")
                       .Tag(TValueType::vaCollection)
                       .Tag(TValueType::vaList)
                       .U8(0)
                       .U8(0)
                       .U8(0)
                       .U8(0));
  values.push_back(Bytes().Tag(TValueType::vaSingle).U32(1));
  values.push_back(Bytes().Tag(TValueType::vaCurrency).U64(1));
  values.push_back(Bytes().Tag(TValueType::vaDate).U64(1));
  values.push_back(Bytes().Tag(TValueType::vaWString).U32(3).U16('a').U16(0).U16(0));
  values.push_back(Bytes().Tag(TValueType::vaInt64).U64(1));
  values.push_back(Bytes().Tag(TValueType::vaUTF8String).U32(2).Raw("\xC3\xA9"));
  return values;
}

TEST_F(FormReaderTest, SkipValueSkipsEveryTag) {
  const std::vector<Bytes> values = OneValueOfEveryTag();
  ASSERT_EQ(values.size(), size_t{kLastValueType} + 1);
  for (size_t tag = 0; tag < values.size(); ++tag) {
    SCOPED_TRACE(tag);
    Bytes bytes = values[tag];
    bytes.Tag(TValueType::vaInt8).U8(42);
    TFormReader& reader = Over(bytes);
    ASSERT_EQ(static_cast<size_t>(reader.NextValue()), tag);
    reader.SkipValue();
    EXPECT_EQ(reader.ReadInteger(), 42);
  }
}

TEST_F(FormReaderTest, SkippingDeepNestingNeedsNoRecursion) {
  constexpr int kDepth = 200000;
  Bytes bytes;
  for (int i = 0; i < kDepth; ++i)
    bytes.Tag(TValueType::vaList);
  for (int i = 0; i < kDepth; ++i)
    bytes.Tag(TValueType::vaNull);
  bytes.Tag(TValueType::vaInt8).U8(42);
  TFormReader& reader = Over(bytes);
  reader.SkipValue();
  EXPECT_EQ(reader.ReadInteger(), 42);
}

TEST_F(FormReaderTest, UndefinedTagCannotBeSkipped) {
  TFormReader& reader = Over(Bytes().U8(kLastValueType + 1).U8(0));
  ExpectReadError([&] { reader.SkipValue(); }, "Invalid property value");
}

TEST_F(FormReaderTest, SkipPropertyAndSkipComponent) {
  Bytes bytes;
  bytes.Str("Font.Style").Tag(TValueType::vaSet).Str("fsBold").U8(0);
  // A record with a prefix, properties, a child with its own child.
  bytes.U8(0xF2).Tag(TValueType::vaInt8).U8(1).Str("TPanel").Str("Panel1");
  bytes.Str("Left").Tag(TValueType::vaInt8).U8(1).Str("Caption").Tag(TValueType::vaString).Str("");
  bytes.U8(0);
  bytes.Str("TButton").Str("btnNext").Str("OnClick").Tag(TValueType::vaIdent).Str("btnNextClick");
  bytes.U8(0);
  bytes.Str("TLabel").Str("").U8(0).U8(0);
  bytes.U8(0);
  bytes.Str("TBevel").Str("").U8(0).U8(0);
  bytes.U8(0);
  bytes.Tag(TValueType::vaInt8).U8(42);
  TFormReader& reader = Over(bytes);
  reader.SkipProperty();
  reader.SkipComponent(true);
  EXPECT_EQ(reader.ReadInteger(), 42);
}

TEST_F(FormReaderTest, SkipComponentAfterItsHeader) {
  TFormReader& reader = Over(Bytes()
                                 .Str("TTimer")
                                 .Str("tStart")
                                 .Str("Interval")
                                 .Tag(TValueType::vaInt8)
                                 .U8(0)
                                 .U8(0)
                                 .U8(0)
                                 .Tag(TValueType::vaInt8)
                                 .U8(42));
  EXPECT_EQ(reader.ReadStr(), "TTimer");
  EXPECT_EQ(reader.ReadStr(), "tStart");
  reader.SkipComponent(false);
  EXPECT_EQ(reader.ReadInteger(), 42);
}

// --------------------------------------------------------------- buffer

TEST_F(FormReaderTest, ValuesAcrossBufferBoundariesReadWhole) {
  Bytes bytes;
  bytes.Raw(std::string(kReadBufferSize - 3, 'p'));  // consumed raw below
  std::string payload(3 * kReadBufferSize + 17, '\0');
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<char>(i * 7);
  bytes.Tag(TValueType::vaBinary).U32(static_cast<uint32_t>(payload.size())).Raw(payload);
  bytes.Tag(TValueType::vaLString).U32(5000).Raw(std::string(5000, 'z'));
  TFormReader& reader = Over(bytes);
  std::string skipped(kReadBufferSize - 3, '\0');
  reader.Read(skipped.data(), skipped.size());
  TMemoryStream block;
  reader.ReadBinary(block);
  EXPECT_EQ(block.Size(), static_cast<int64_t>(payload.size()));
  EXPECT_EQ(block.Position(), 0);
  EXPECT_EQ(std::string(block.Bytes().begin(), block.Bytes().end()), payload);
  EXPECT_EQ(reader.ReadString(), std::string(5000, 'z'));
}

// Over memory, a block is handed over in place, whether it lies within the
// buffered bytes or beyond them, and reading goes on right after it.
TEST_F(FormReaderTest, BinaryOverMemoryIsReadInPlace) {
  const std::string small(100, 's');
  std::string large(3 * kReadBufferSize + 17, '\0');
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i * 7);
  Bytes bytes;
  bytes.Tag(TValueType::vaBinary).U32(static_cast<uint32_t>(small.size())).Raw(small);
  bytes.Tag(TValueType::vaBinary).U32(static_cast<uint32_t>(large.size())).Raw(large);
  bytes.Tag(TValueType::vaString).Str("after");
  TFormReader& reader = Over(bytes);
  for (const std::string* expected : {&small, static_cast<const std::string*>(&large)}) {
    const uint8_t* at = nullptr;
    std::string seen;
    reader.ReadBinary([&](TStream& block) {
      at = dynamic_cast<TReadOnlyMemoryStream&>(block).Data();
      EXPECT_EQ(block.Position(), 0);
      seen.resize(static_cast<size_t>(block.Size()));
      block.ReadBuffer(seen.data(), block.Size());
    });
    EXPECT_EQ(seen, *expected);
    EXPECT_TRUE(at >= bytes_.data() && at + seen.size() <= bytes_.data() + bytes_.size())
        << "the block was copied";
  }
  EXPECT_EQ(reader.ReadString(), "after");
}

TEST_F(FormReaderTest, ReleaseLeavesTheStreamRightAfterTheLastValue) {
  const Bytes bytes = Bytes()
                          .Tag(TValueType::vaInt8)
                          .U8(1)
                          .Tag(TValueType::vaString)
                          .Str("abc")
                          .Raw("trailing bytes");
  const std::vector<uint8_t> data = bytes.Data();
  TReadOnlyMemoryStream stream(data.data(), data.size());
  {
    TFormReader reader(stream);
    reader.ReadInteger();
    reader.ReadString();
  }
  EXPECT_EQ(stream.Position(), 7);
}

// ---------------------------------------------------------------- writer

std::vector<uint8_t> Written(const std::function<void(TFormWriter&)>& write) {
  TMemoryStream stream;
  TFormWriter writer(stream);
  write(writer);
  return stream.Bytes();
}

TEST(FormWriter, IntegersTakeTheSmallestTag) {
  using V = std::vector<uint8_t>;
  const auto integer = [](int64_t v) {
    return Written([v](TFormWriter& w) { w.WriteInteger(v); });
  };
  EXPECT_EQ(integer(127), (V{2, 0x7F}));
  EXPECT_EQ(integer(-128), (V{2, 0x80}));
  EXPECT_EQ(integer(128), (V{3, 0x80, 0x00}));
  EXPECT_EQ(integer(-129), (V{3, 0x7F, 0xFF}));
  EXPECT_EQ(integer(32768), (V{4, 0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(integer(INT32_MIN), (V{4, 0x00, 0x00, 0x00, 0x80}));
  EXPECT_EQ(integer(int64_t{1} << 31), (V{19, 0, 0, 0, 0x80, 0, 0, 0, 0}));
}

TEST(FormWriter, StringsIdentsAndSets) {
  using V = std::vector<uint8_t>;
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteString("ab"); }), (V{6, 2, 'a', 'b'}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteString(std::string(256, 'x')); }).size(), 261u);
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteString(std::string(256, 'x')); })[0], 12);
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteIdent("true"); }), (V{9}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteIdent("False"); }), (V{8}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteIdent("nil"); }), (V{13}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteIdent("Null"); }), (V{7, 4, 'N', 'u', 'l', 'l'}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteSet({}); }), (V{11, 0}));
  EXPECT_EQ(Written([](TFormWriter& w) { w.WriteSet({"fsBold"}); }),
            (V{11, 6, 'f', 's', 'B', 'o', 'l', 'd', 0}));
  EXPECT_THROW(Written([](TFormWriter& w) { w.WriteStr(std::string(256, 'n')); }), EWriteError);
}

TEST_F(FormReaderTest, EveryWrittenValueReadsBack) {
  const std::vector<uint8_t> data = Written([](TFormWriter& w) {
    w.WriteSignature();
    w.WriteObjectHeader("TButton", "btnNext", kFilerChildPos | kFilerInline, 1000);
    w.WriteInteger(-70000);
    w.WriteInt64(5);
    w.WriteFloat(47.647934L);
    w.WriteSingle(0.5f);
    w.WriteCurrency(-15000);
    w.WriteDate(2.25);
    w.WriteString("short");
    w.WriteLongString("long");
    w.WriteWideString(u"\u0416");
    w.WriteUtf8String("\xE2\x82\xAC");
    w.WriteIdent("clBtnFace");
    w.WriteBoolean(true);
    w.WriteNil();
    w.WriteSet({"fsItalic", "fsStrikeOut"});
    const char block[] = {1, 2, 3};
    w.WriteBinary(block, 3);
    w.WriteListBegin();
    w.WriteListEnd();
    w.WriteCollectionBegin();
    w.WriteCollectionItem(7);
    w.WritePropName("Caption");
    w.WriteString("x");
    w.WriteListEnd();
    w.WriteListEnd();
  });
  Bytes bytes;
  bytes.Raw(std::string(data.begin(), data.end()));
  TFormReader& reader = Over(bytes);
  reader.ReadSignature();
  uint8_t flags = 0;
  int32_t position = 0;
  reader.ReadPrefix(flags, position);
  EXPECT_EQ(flags, kFilerChildPos | kFilerInline);
  EXPECT_EQ(position, 1000);
  EXPECT_EQ(reader.ReadStr(), "TButton");
  EXPECT_EQ(reader.ReadStr(), "btnNext");
  EXPECT_EQ(reader.ReadInteger(), -70000);
  EXPECT_EQ(reader.NextValue(), TValueType::vaInt64);
  EXPECT_EQ(reader.ReadInt64(), 5);
  EXPECT_EQ(static_cast<float>(reader.ReadFloat()), 47.647934f);
  EXPECT_EQ(reader.ReadSingle(), 0.5f);
  EXPECT_EQ(reader.ReadCurrency(), -15000);
  EXPECT_EQ(reader.ReadDate(), 2.25);
  EXPECT_EQ(reader.ReadString(), "short");
  EXPECT_EQ(reader.NextValue(), TValueType::vaLString);
  EXPECT_EQ(reader.ReadString(), "long");
  EXPECT_EQ(reader.ReadWideString(), u"\u0416");
  EXPECT_EQ(reader.ReadWideString(), u"\u20AC");
  EXPECT_EQ(reader.ReadIdent(), "clBtnFace");
  EXPECT_TRUE(reader.ReadBoolean());
  EXPECT_EQ(reader.ReadIdent(), "nil");
  EXPECT_EQ(reader.ReadSet(FontStyles()), 0b1010u);
  TMemoryStream block;
  reader.ReadBinary(block);
  EXPECT_EQ(block.Bytes(), (std::vector<uint8_t>{1, 2, 3}));
  reader.ReadListBegin();
  reader.ReadListEnd();
  EXPECT_EQ(reader.NextValue(), TValueType::vaCollection);
  reader.SkipValue();
  ExpectReadError([&] { reader.NextValue(); }, "Stream read error");
}

// ------------------------------------------------------------ UTF-8 text

TEST(TextEncoding, Utf8RoundTripKeepsEveryUnit) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  const std::u16string lone = u"x\xD800y";  // an unpaired surrogate survives
  EXPECT_EQ(Utf8ToWide(WideToUtf8(lone)), lone);
}

TEST(TextEncoding, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD");  // overlong
  EXPECT_EQ(Utf8ToWide("\xFF"
                       "a"),
            u"\uFFFD"
            "a");                                        // no lead byte
  EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"\uFFFD");  // above U+10FFFF
}

}  // namespace
}  // namespace qv
