#include "core/PathDelimiters.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(AddTrailingDelimiter, AppendsOneBackslashToAPath) {
  EXPECT_EQ(AddTrailingDelimiter("D:\\x"), "D:\\x\\");
  EXPECT_EQ(AddTrailingDelimiter("C:\\Program Files\\QuolvexAntivirus"),
            "C:\\Program Files\\QuolvexAntivirus\\");
  EXPECT_EQ(AddTrailingDelimiter("\\\\server\\share"), "\\\\server\\share\\");
  EXPECT_EQ(AddTrailingDelimiter("logs"), "logs\\");
}

TEST(AddTrailingDelimiter, LeavesTextEndingInADelimiterOrEmpty) {
  EXPECT_EQ(AddTrailingDelimiter(""), "");
  EXPECT_EQ(AddTrailingDelimiter("D:"), "D:");
  EXPECT_EQ(AddTrailingDelimiter("D:\\"), "D:\\");
  EXPECT_EQ(AddTrailingDelimiter("D:\\x\\"), "D:\\x\\");
  EXPECT_EQ(AddTrailingDelimiter("\\"), "\\");
}

TEST(AddTrailingDelimiter, ASingleLetterIsADrive) {
  EXPECT_EQ(AddTrailingDelimiter("D"), "D:\\");
  EXPECT_EQ(AddTrailingDelimiter("d"), "d:\\");
  EXPECT_EQ(AddTrailingDelimiter("Z"), "Z:\\");
  // Only letters: a digit, an underscore or the characters next to A..Z in
  // ASCII are ordinary one-character names.
  EXPECT_EQ(AddTrailingDelimiter("7"), "7\\");
  EXPECT_EQ(AddTrailingDelimiter("_"), "_\\");
  EXPECT_EQ(AddTrailingDelimiter("@"), "@\\");
  EXPECT_EQ(AddTrailingDelimiter("["), "[\\");
  EXPECT_EQ(AddTrailingDelimiter("`"), "`\\");
  EXPECT_EQ(AddTrailingDelimiter("{"), "{\\");
  EXPECT_EQ(AddTrailingDelimiter("DE"), "DE\\");
}

TEST(DropTrailingDelimiter, RemovesOneTrailingBackslash) {
  EXPECT_EQ(DropTrailingDelimiter("D:\\x\\"), "D:\\x");
  EXPECT_EQ(DropTrailingDelimiter("x\\\\"), "x\\");
  EXPECT_EQ(DropTrailingDelimiter("\\\\server\\share\\"), "\\\\server\\share");
  EXPECT_EQ(DropTrailingDelimiter("ab\\"), "ab");
}

TEST(DropTrailingDelimiter, KeepsDriveRootsSingleCharactersAndOtherEndings) {
  EXPECT_EQ(DropTrailingDelimiter("D:\\"), "D:\\");
  EXPECT_EQ(DropTrailingDelimiter("d:\\"), "d:\\");
  EXPECT_EQ(DropTrailingDelimiter("\\"), "\\");
  EXPECT_EQ(DropTrailingDelimiter(""), "");
  EXPECT_EQ(DropTrailingDelimiter("D:"), "D:");
  EXPECT_EQ(DropTrailingDelimiter("D:\\x"), "D:\\x");
  // Three characters that are not letter, colon, backslash are no root.
  EXPECT_EQ(DropTrailingDelimiter("1:\\"), "1:");
  EXPECT_EQ(DropTrailingDelimiter("DD\\"), "DD");
  EXPECT_EQ(DropTrailingDelimiter("\\\\\\"), "\\\\");
}

TEST(DropTrailingDelimiter, UndoesAddTrailingDelimiterOnPaths) {
  for (const char* path : {"D:\\x", "C:\\Program Files", "\\\\server\\share", "logs"}) {
    EXPECT_EQ(DropTrailingDelimiter(AddTrailingDelimiter(path)), path) << path;
  }
}

// Shift-JIS lead bytes: 0x81..0x9F and 0xE0..0xFC. "\x83\x5C" is one
// character whose trail byte is the backslash code.
bool ShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

class DoubleByteCodePage : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetLeadBytePredicate(&ShiftJisLeadByte); }
  void TearDown() override { SetLeadBytePredicate(previous_); }

 private:
  LeadBytePredicate previous_ = nullptr;
};

TEST_F(DoubleByteCodePage, TrailByteThatLooksLikeABackslashIsNoDelimiter) {
  const std::string folder = "C:\\\x83\x5C";
  EXPECT_FALSE(EndsWithChar(folder, '\\'));
  EXPECT_EQ(AddTrailingDelimiter(folder), folder + "\\");
  EXPECT_EQ(DropTrailingDelimiter(folder), folder);
  EXPECT_EQ(DropTrailingDelimiter(folder + "\\"), folder);
}

TEST_F(DoubleByteCodePage, CharacterBoundariesAreCountedFromTheStart) {
  // "\x83\x83" is one character, so the final 0x5C stands alone: a naive
  // look at the byte before the end would take it for a trail byte.
  const std::string folder = "C:\\\x83\x83\x5C";
  EXPECT_TRUE(EndsWithChar(folder, '\\'));
  EXPECT_EQ(AddTrailingDelimiter(folder), folder);
  EXPECT_EQ(DropTrailingDelimiter(folder), "C:\\\x83\x83");
}

TEST_F(DoubleByteCodePage, ALeadByteWithoutTrailIsACharacterOfItsOwn) {
  EXPECT_TRUE(EndsWithChar("\x83", '\x83'));
  EXPECT_EQ(AddTrailingDelimiter("C:\\\x83"), "C:\\\x83\\");
}

TEST_F(DoubleByteCodePage, SingleByteTextsBehaveAsWithoutTheHook) {
  EXPECT_EQ(AddTrailingDelimiter("D"), "D:\\");
  EXPECT_EQ(AddTrailingDelimiter("D:"), "D:");
  EXPECT_EQ(DropTrailingDelimiter("D:\\"), "D:\\");
  EXPECT_EQ(DropTrailingDelimiter("D:\\x\\"), "D:\\x");
}

TEST(LeadBytePredicate, WithoutAHookTheLastByteDecides) {
  ASSERT_EQ(CurrentLeadBytePredicate(), nullptr);
  EXPECT_TRUE(EndsWithChar("C:\\\x83\x5C", '\\'));
  EXPECT_FALSE(EndsWithChar("", '\\'));
}

TEST(LeadBytePredicate, SetReturnsThePreviousHook) {
  EXPECT_EQ(SetLeadBytePredicate(&ShiftJisLeadByte), nullptr);
  EXPECT_EQ(CurrentLeadBytePredicate(), &ShiftJisLeadByte);
  EXPECT_EQ(SetLeadBytePredicate(nullptr), &ShiftJisLeadByte);
  EXPECT_EQ(CurrentLeadBytePredicate(), nullptr);
}

}  // namespace
}  // namespace qv
