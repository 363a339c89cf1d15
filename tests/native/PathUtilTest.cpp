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

}  // namespace
}  // namespace qv
