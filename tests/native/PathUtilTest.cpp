#include "core/PathUtil.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(DirectoryPart, DropsTheFileNameAndItsBackslash) {
  EXPECT_EQ(DirectoryPart("C:\\Program Files\\QuolvexAntivirus\\qvdaemon.exe"),
            "C:\\Program Files\\QuolvexAntivirus");
  EXPECT_EQ(DirectoryPart("C:\\Apps\\QV\\qvdaemon.exe"), "C:\\Apps\\QV");
}

TEST(DirectoryPart, KeepsTheBackslashOfADriveRoot) {
  EXPECT_EQ(DirectoryPart("C:\\qvdaemon.exe"), "C:\\");
  EXPECT_EQ(DirectoryPart("C:qvdaemon.exe"), "C:");
}

TEST(DirectoryPart, TextWithoutDelimiterGivesEmpty) {
  EXPECT_EQ(DirectoryPart("qvdaemon.exe"), "");
  EXPECT_EQ(DirectoryPart(""), "");
}

TEST(DirectoryPart, TakesTheTextAsStored) {
  // Quotes and arguments are not removed: the text up to the last backslash.
  EXPECT_EQ(DirectoryPart("\"C:\\Apps\\QV\\qvdaemon.exe\""), "\"C:\\Apps\\QV");
  EXPECT_EQ(DirectoryPart("C:\\Apps\\QV\\qvdaemon.exe -service"), "C:\\Apps\\QV");
}

TEST(DirectoryPart, DoubledAndLeadingBackslashes) {
  // A backslash that follows another is kept, both of them.
  EXPECT_EQ(DirectoryPart("C:\\Apps\\\\x.exe"), "C:\\Apps\\\\");
  EXPECT_EQ(DirectoryPart("\\x.exe"), "\\");
  EXPECT_EQ(DirectoryPart("\\\\server\\share\\x.exe"), "\\\\server\\share");
  EXPECT_EQ(DirectoryPart("C:\\Apps\\"), "C:\\Apps");
}

TEST(UnquotedProgramPath, TakesTheTextInsideALeadingPairOfQuotes) {
  EXPECT_EQ(UnquotedProgramPath("\"C:\\Program Files\\QV\\qvdaemon.exe\""),
            "C:\\Program Files\\QV\\qvdaemon.exe");
  EXPECT_EQ(UnquotedProgramPath("\"C:\\QV\\qvdaemon.exe\" /service"), "C:\\QV\\qvdaemon.exe")
      << "arguments after the quotes are not part of the program";
  EXPECT_EQ(UnquotedProgramPath("\"C:\\QV\\qvdaemon.exe"), "C:\\QV\\qvdaemon.exe")
      << "an unclosed quote takes the rest";
  EXPECT_EQ(UnquotedProgramPath("\"\""), "");
  // The directory part of the unquoted program is a real directory.
  EXPECT_EQ(DirectoryPart(UnquotedProgramPath("\"C:\\Program Files\\QV\\qvdaemon.exe\"")),
            "C:\\Program Files\\QV");
}

TEST(UnquotedProgramPath, TakesAnyOtherTextExactlyAsStored) {
  EXPECT_EQ(UnquotedProgramPath("C:\\QV\\qvdaemon.exe -service"), "C:\\QV\\qvdaemon.exe -service");
  EXPECT_EQ(UnquotedProgramPath(" \"C:\\QV\\x.exe\""), " \"C:\\QV\\x.exe\"")
      << "only a quote in the first place counts";
  EXPECT_EQ(UnquotedProgramPath(""), "");
}

}  // namespace
}  // namespace qv
