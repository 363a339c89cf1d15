#include "core/PathUtil.h"

#include <gtest/gtest.h>

#include <set>

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

TEST(ResolveImagePath, FindsTheProgramAsTheServiceManagerDoes) {
  const std::set<std::string> existing = {
      "C:\\Program",  // exists, but is no ".exe": never the program
      "C:\\Program Files\\Quolvex\\qvdaemon.exe",
      "C:\\Program Files\\Quolvex\\QVMONITOR.EXE",
      "C:\\Apps\\QV\\qvdaemon.exe",
      "C:\\tools\\run.exe",
  };
  const auto fileExists = [&](const std::string& path) { return existing.contains(path); };
  struct Case {
    const char* imagePath;
    const char* program;
    const char* why;
  };
  const Case cases[] = {
      {"C:\\Apps\\QV\\qvdaemon.exe", "C:\\Apps\\QV\\qvdaemon.exe", "a plain path"},
      {"\\??\\C:\\Apps\\QV\\qvdaemon.exe", "C:\\Apps\\QV\\qvdaemon.exe", "the native prefix"},
      {"\"C:\\tools\\run.exe copy.exe\" -x", "C:\\tools\\run.exe copy.exe",
       "quotes keep their text whole"},
      {"C:\\Program Files\\Quolvex\\qvdaemon.exe -service",
       "C:\\Program Files\\Quolvex\\qvdaemon.exe", "arguments, spaces in a directory"},
      {"C:\\Program Files\\Quolvex\\QVMONITOR.EXE /run",
       "C:\\Program Files\\Quolvex\\QVMONITOR.EXE", "the extension in any case"},
      {"C:\\tools\\run.exe C:\\Apps\\QV\\qvdaemon.exe", "C:\\tools\\run.exe",
       "the shortest existing program"},
      {"\\??\\C:\\Program Files\\Quolvex\\qvdaemon.exe -service",
       "C:\\Program Files\\Quolvex\\qvdaemon.exe", "the prefix, then arguments"},
      {"C:\\Gone\\qvdaemon.exe -service", "C:\\Gone\\qvdaemon.exe -service",
       "no existing program: the whole text"},
      {"", "", "nothing"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ResolveImagePath(c.imagePath, fileExists), c.program) << c.why;
}

}  // namespace
}  // namespace qv
