#include "win32/WindowsFileLayer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "win32/Handles.h"

namespace qv {
namespace {

// A scratch directory of its own, made current for relative names.
class WindowsFileLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
    dir_ = std::string(temp) + "qv-filelayer-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(dir_.c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    char current[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, current);
    before_ = current;
    ASSERT_TRUE(::SetCurrentDirectoryA(dir_.c_str()));
    ::GetCurrentDirectoryA(MAX_PATH, current);
    dir_ = current;
  }
  void TearDown() override {
    ::SetCurrentDirectoryA(before_.c_str());
    ::DeleteFileA((dir_ + "\\data.bin").c_str());
    ::RemoveDirectoryA(dir_.c_str());
  }

  static DWORD FileSize(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return ::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow
                                                                              : DWORD(-1);
  }

  std::string dir_, before_;
  TFileLayer& files_ = WindowsFileLayer();
};

TEST_F(WindowsFileLayerTest, CreatesOrTruncatesForReadingAndWriting) {
  uint32_t error = 0;
  {
    auto file = files_.CreateAlways("data.bin", error);
    ASSERT_NE(file, nullptr);
    file->WriteBuffer("a longer first content", 22);
  }
  EXPECT_EQ(FileSize("data.bin"), 22u);
  auto file = files_.CreateAlways("data.bin", error);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(FileSize("data.bin"), 0u) << "an existing file is truncated";
  file->WriteBuffer("abc", 3);
  EXPECT_EQ(file->Seek(0, TSeekOrigin::soBeginning), 0);
  char back[4] = {};
  EXPECT_EQ(file->Read(back, 4), 3);
  EXPECT_STREQ(back, "abc");
  file.reset();
  EXPECT_EQ(FileSize("data.bin"), 3u);
}

TEST_F(WindowsFileLayerTest, AnOpenFileIsSharedWithNoOne) {
  uint32_t error = 0;
  auto held = files_.CreateAlways("data.bin", error);
  ASSERT_NE(held, nullptr);
  UniqueFile reader(::CreateFileA("data.bin", GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(reader);
  EXPECT_EQ(::GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(files_.CreateAlways("data.bin", error), nullptr);
  EXPECT_EQ(error, uint32_t{ERROR_SHARING_VIOLATION});
  held.reset();
  EXPECT_NE(files_.CreateAlways("data.bin", error), nullptr) << "free again once closed";
}

TEST_F(WindowsFileLayerTest, MissingDirectoryGivesTheSystemText) {
  uint32_t error = 0;
  EXPECT_EQ(files_.CreateAlways("missing\\data.bin", error), nullptr);
  EXPECT_EQ(error, uint32_t{ERROR_PATH_NOT_FOUND});
  const std::string text = files_.SysErrorMessage(error);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  EXPECT_NE(text, files_.SysErrorMessage(ERROR_FILE_NOT_FOUND));
}

TEST_F(WindowsFileLayerTest, ExpandsRelativeNamesAgainstTheCurrentDirectory) {
  EXPECT_EQ(files_.ExpandFileName("missing\\.\\sub\\..\\data.bin"), dir_ + "\\missing\\data.bin");
  EXPECT_EQ(files_.ExpandFileName("C:\\a\\..\\b\\c.txt"), "C:\\b\\c.txt");
}

}  // namespace
}  // namespace qv
