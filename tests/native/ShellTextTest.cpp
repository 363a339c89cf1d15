#include "core/ShellText.h"

#include <cstdio>

#include "core/Format.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ErrorBoxText, AppendsFullStopOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(ErrorBoxText("Not enough timers available"), "Not enough timers available.");
  EXPECT_EQ(ErrorBoxText("Cannot make a visible window modal"),
            "Cannot make a visible window modal.");
  EXPECT_EQ(ErrorBoxText("Ends with a question?"), "Ends with a question?.");
  EXPECT_EQ(ErrorBoxText("Digits count too 9"), "Digits count too 9.");
  // Full stop, '!', ')', quote marks and line breaks are at or below 0x2E.
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
  EXPECT_EQ(ErrorBoxText("Failed to set data for 'Start'"), "Failed to set data for 'Start'");
  EXPECT_EQ(ErrorBoxText("say \"x\""), "say \"x\"");
  EXPECT_EQ(ErrorBoxText("line\r\n"), "line\r\n");
  EXPECT_EQ(ErrorBoxText("a-"), "a-");
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(ErrorBoxText, ComparesBytesUnsigned) {
  // A Cyrillic letter in code page 1251 is above 0x2E as an unsigned byte.
  EXPECT_EQ(ErrorBoxText("\xC0"), "\xC0.");
  EXPECT_EQ(ErrorBoxText("/"), "/.");
}

TEST(LastResortText, FormatsClassModuleAddressAndMessage) {
  EXPECT_EQ(LastResortText("EReadError", "Setup.exe", 0x1A2B3, "Invalid stream format"),
            "Exception EReadError in module Setup.exe at 0001A2B3.\r\nInvalid stream format.\r\n");
  EXPECT_EQ(LastResortText("EResNotFound", "Setup.exe", 0, "Resource TFRMDIALOG not found."),
            "Exception EResNotFound in module Setup.exe at 00000000.\r\n"
            "Resource TFRMDIALOG not found.\r\n");
  EXPECT_EQ(LastResortText("Exception", "Setup.exe", 0xFFFFFFFF, ""),
            "Exception Exception in module Setup.exe at FFFFFFFF.\r\n\r\n");
}

// The message templates' conversions read as the C library's printf reads
// them; what the formatter does not take is kept as it stands.
TEST(Format, MatchesPrintfForTheTemplatesConversionsAndKeepsTheRest) {
  char expected[64];
  std::snprintf(expected, sizeof expected, "%08X|%X|%d|%5d|%-4d|%05d|%u|%x|%c|%%", 0x1A2B3u,
                0xFFFFFFFFu, -42, 7, 7, -7, 4000000000u, 255u, 'Q');
  EXPECT_EQ(Format("%08X|%X|%d|%5d|%-4d|%05d|%u|%x|%c|%%", 0x1A2B3u, -1, -42, 7, 7, -7, 4000000000u,
                   255, 'Q'),
            expected);
  EXPECT_EQ(Format("%s_%d", std::string("Button"), 12), "Button_12");
  EXPECT_EQ(Format("''%s'' is not a valid component name", "1x"),
            "''1x'' is not a valid component name");
  EXPECT_EQ(Format("%08lX", int64_t{-1}), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  // Unknown conversions, missing or mismatched arguments, a cut-off end.
  EXPECT_EQ(Format("%f %s %d %", 1, 2), "%f %s 1 %");
}

TEST(ReadableTypeName, ReadsPlainAndNestedNamesAndKeepsEveryOtherForm) {
  EXPECT_EQ(ReadableTypeName("St9bad_alloc"), "std::bad_alloc");
  EXPECT_EQ(ReadableTypeName("NSt8ios_base7failureE"), "std::ios_base::failure");
  EXPECT_EQ(ReadableTypeName("N2qv6detail5ErrorE"), "qv::detail::Error");
  EXPECT_EQ(ReadableTypeName("5Thing"), "Thing");
  // Templates, local classes, truncated or overlong lengths: as they came.
  for (const char* other :
       {"St6vectorIiSaIiEE", "Z4mainE5Local", "N2qv5Err", "9short", "", "99999999999999999999x"}) {
    EXPECT_EQ(ReadableTypeName(other), other);
  }
}

TEST(DefaultAppTitle, NameWithoutDirectoryAndExtensionRestLowered) {
  EXPECT_EQ(DefaultAppTitle("C:\\Downloads\\SETUP.EXE"), "Setup");
  EXPECT_EQ(DefaultAppTitle("C:\\x.y\\MyInstaller.exe"), "Myinstaller");
  EXPECT_EQ(DefaultAppTitle("setup"), "setup");
  EXPECT_EQ(DefaultAppTitle("Z:\\tmp\\a.B.EXE"), "a.b");
  EXPECT_EQ(DefaultAppTitle(""), "");
}

TEST(LowerAsciiLetters, ChangesOnlyAToZ) {
  EXPECT_EQ(LowerAsciiLetters("C:\\OLD\\QVSERVICE.EXE"), "c:\\old\\qvservice.exe");
  EXPECT_EQ(LowerAsciiLetters("\xC0\xC9[@]"), "\xC0\xC9[@]");
}

TEST(Accelerators, LetterAfterAmpersand) {
  EXPECT_EQ(AcceleratorOf("&Yes"), 'Y');
  EXPECT_EQ(AcceleratorOf("N&o to All"), 'o');
  EXPECT_EQ(AcceleratorOf("Yes to &All"), 'A');
  EXPECT_EQ(AcceleratorOf("OK"), 0);
  EXPECT_EQ(AcceleratorOf("Fish && &Chips"), 'C');
  EXPECT_EQ(AcceleratorOf("trailing&"), 0);
  EXPECT_EQ(StripAmpersands("N&o to All"), "No to All");
}

TEST(Accelerators, TypedCharacterMatchesInEitherCase) {
  EXPECT_TRUE(IsAccelerator('y', "&Yes"));
  EXPECT_TRUE(IsAccelerator('Y', "&yes"));
  EXPECT_FALSE(IsAccelerator('e', "&Yes"));
  EXPECT_FALSE(IsAccelerator('&', "A && B")) << "a doubled ampersand is no accelerator";
  EXPECT_FALSE(IsAccelerator('O', "OK"));
}

}  // namespace
}  // namespace qv
