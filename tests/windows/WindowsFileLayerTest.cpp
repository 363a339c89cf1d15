#include "win32/WindowsFileLayer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "core/Exceptions.h"
#include "formstream/BinaryData.h"
#include "win32/Handles.h"

#include "DirectorySnapshot.h"

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
    for (const char* name : {"\\data.bin", "\\data.bin.qvpart"}) {
      ::SetFileAttributesA((dir_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA((dir_ + name).c_str());
    }
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

TEST_F(WindowsFileLayerTest, CreatesOnlyNewFilesForReadingAndWriting) {
  uint32_t error = 0;
  {
    auto file = files_.CreateNew("data.bin", error);
    ASSERT_NE(file, nullptr);
    file->WriteBuffer("abc", 3);
    EXPECT_EQ(file->Seek(0, TSeekOrigin::soBeginning), 0);
    char back[4] = {};
    EXPECT_EQ(file->Read(back, 4), 3);
    EXPECT_STREQ(back, "abc");
    EXPECT_TRUE(files_.Flush(*file, error));
  }
  EXPECT_EQ(files_.CreateNew("data.bin", error), nullptr);
  EXPECT_EQ(error, uint32_t{ERROR_FILE_EXISTS});
  EXPECT_EQ(FileSize("data.bin"), 3u) << "an existing file is kept";
}

TEST_F(WindowsFileLayerTest, AnOpenFileIsSharedWithNoOne) {
  uint32_t error = 0;
  auto held = files_.CreateNew("data.bin", error);
  ASSERT_NE(held, nullptr);
  const auto open = [] {
    return UniqueFile(::CreateFileA("data.bin", GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  EXPECT_FALSE(open());
  EXPECT_EQ(::GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  held.reset();
  EXPECT_TRUE(open()) << "free again once closed";
}

// The target is replaced whole, or, when it cannot be (held open by someone
// else, read-only), stays as it was with no temporary file beside it.
TEST_F(WindowsFileLayerTest, SavingReplacesTheTargetOrLeavesItWhole) {
  std::ofstream("data.bin", std::ios::binary) << "old contents";
  TBinaryData data(nullptr);
  TMemoryStream source;
  source.WriteBuffer("new", 3);
  data.SetData(&source);
  data.SaveToFile("data.bin", files_);
  const std::map<std::string, std::string> saved = {{"data.bin", "new"}};
  EXPECT_EQ(test::DirectorySnapshot(dir_), saved);

  const auto refusal = [&] {
    try {
      data.SaveToFile("data.bin", files_);
    } catch (const EFCreateError& error) {
      return error.Message();
    }
    return std::string("saved");
  };
  const std::string refused = "Cannot create file \"" + dir_ + "\\data.bin\". ";
  {
    UniqueFile held(::CreateFileA("data.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(refusal(), refused + files_.SysErrorMessage(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(test::DirectorySnapshot(dir_), saved);
  ASSERT_TRUE(::SetFileAttributesA("data.bin", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(refusal(), refused + files_.SysErrorMessage(ERROR_ACCESS_DENIED));
  EXPECT_EQ(test::DirectorySnapshot(dir_), saved);
}

TEST_F(WindowsFileLayerTest, MissingDirectoryGivesTheSystemText) {
  uint32_t error = 0;
  EXPECT_EQ(files_.CreateNew("missing\\data.bin", error), nullptr);
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
