// The registry layer against the real (Wine) registry, inside a scratch key
// that each case starts without.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "win32/Registry.h"

namespace qv::test {
namespace {

constexpr const char* kScratch = "SOFTWARE\\QuolvexRegistryTest";
const std::string kScratchPath = std::string("\\") + kScratch;

void Put(const std::string& name, DWORD type, const void* data, DWORD size) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(handle);
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& e) {
    return e.Message();
  }
  return "(no ERegistryException)";
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScratch);
    registry.SetRoot(HKEY_LOCAL_MACHINE);
  }
  void TearDown() override {
    registry.ClosePath();
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScratch);
  }
  TRegistry registry;
};

TEST(RegistryObject, StartsWithTheCurrentUserRootFullAccessAndNothingOpen) {
  TRegistry fresh;
  EXPECT_EQ(fresh.Root(), HKEY_CURRENT_USER);
  EXPECT_EQ(fresh.AccessMask(), static_cast<REGSAM>(0x000F003F));
  EXPECT_TRUE(fresh.DeferFlush());
  EXPECT_FALSE(fresh.OwnsRoot());
  EXPECT_EQ(fresh.CurrentHandle(), nullptr);
  EXPECT_EQ(fresh.CurrentPathName(), "");
}

TEST_F(Registry, OpeningWithCreationMakesTheKeyAndEveryMissingParent) {
  const std::string deep = kScratchPath + "\\a\\b";
  ASSERT_TRUE(registry.OpenPath(deep, true));
  EXPECT_TRUE(MachineKeyExists(std::string(kScratch) + "\\a\\b"));
  EXPECT_NE(registry.CurrentHandle(), nullptr);
  EXPECT_EQ(registry.CurrentPathName(), std::string(kScratch) + "\\a\\b")
      << "stored without the leading backslash";

  // The same path again opens the same key; one key stays open.
  registry.WriteNumber("marker", 7);
  ASSERT_TRUE(registry.OpenPath(deep, true));
  EXPECT_TRUE(registry.HasValue("marker"));
}

TEST_F(Registry, AFailedOpenKeepsTheCurrentKeyAndCreatesNothing) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  const HKEY before = registry.CurrentHandle();
  EXPECT_FALSE(registry.OpenPath(kScratchPath + "\\missing", false));
  EXPECT_FALSE(MachineKeyExists(std::string(kScratch) + "\\missing"));
  EXPECT_EQ(registry.CurrentHandle(), before);
  EXPECT_EQ(registry.CurrentPathName(), kScratch);
  registry.WriteText("still", "open");
  EXPECT_TRUE(ReadMachineValue(kScratch, "still").exists) << "the kept key is still usable";
}

TEST_F(Registry, RelativePathsAreBelowTheCurrentKeyOrElseTheRoot) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  ASSERT_TRUE(registry.OpenPath("child", true));
  EXPECT_EQ(registry.CurrentPathName(), std::string(kScratch) + "\\child");
  EXPECT_TRUE(MachineKeyExists(std::string(kScratch) + "\\child"));

  registry.ClosePath();
  EXPECT_EQ(registry.CurrentHandle(), nullptr);
  EXPECT_EQ(registry.CurrentPathName(), "");
  ASSERT_TRUE(registry.OpenPath(std::string(kScratch) + "\\other", true))
      << "with nothing open a relative path starts at the root";
  EXPECT_TRUE(MachineKeyExists(std::string(kScratch) + "\\other"));
  EXPECT_EQ(registry.CurrentPathName(), std::string(kScratch) + "\\other");
}

TEST_F(Registry, OnlyTheFirstBackslashMakesAPathAbsolute) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  // The second backslash would be part of a key name, which no key can have.
  EXPECT_FALSE(registry.OpenPath("\\" + kScratchPath, true));
  EXPECT_EQ(registry.CurrentPathName(), kScratch);
}

TEST_F(Registry, PathExistsLeavesTheOpenKeyAndAccessMaskAlone) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath + "\\present", true));
  const HKEY open = registry.CurrentHandle();
  EXPECT_TRUE(registry.PathExists(kScratchPath + "\\present"));
  EXPECT_FALSE(registry.PathExists(kScratchPath + "\\absent"));
  EXPECT_FALSE(MachineKeyExists(std::string(kScratch) + "\\absent"));
  EXPECT_EQ(registry.CurrentHandle(), open);
  EXPECT_EQ(registry.CurrentPathName(), std::string(kScratch) + "\\present");
  EXPECT_EQ(registry.AccessMask(), static_cast<REGSAM>(KEY_ALL_ACCESS));
}

TEST_F(Registry, SettingAnotherRootClosesTheKeyButTheSameRootDoesNot) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  EXPECT_NE(registry.CurrentHandle(), nullptr);
  registry.SetRoot(HKEY_CURRENT_USER);
  EXPECT_EQ(registry.CurrentHandle(), nullptr);
  EXPECT_EQ(registry.CurrentPathName(), "");
  EXPECT_EQ(registry.Root(), HKEY_CURRENT_USER);
}

TEST_F(Registry, TextIsStoredWithItsZeroAndAnEmptyTextIsOneZeroByte) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  registry.WriteText("Empty", "");
  const StoredValue empty = ReadMachineValue(kScratch, "Empty");
  ASSERT_TRUE(empty.exists);
  EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(empty.data, std::string(1, '\0'));
  EXPECT_TRUE(registry.HasValue("Empty"));
  EXPECT_EQ(registry.ReadText("Empty"), "");

  registry.WriteText("Host", "127.0.0.1");
  const StoredValue host = ReadMachineValue(kScratch, "Host");
  EXPECT_EQ(host.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(host.data.size(), 10u);
  EXPECT_EQ(host.data.back(), 0);
  EXPECT_EQ(registry.ReadText("Host"), "127.0.0.1");
}

TEST_F(Registry, NumbersAreLittleEndianDwordsAndWritesReplaceAnyType) {
  ASSERT_TRUE(registry.OpenPath(kScratchPath, true));
  registry.WriteNumber("Max", 2048);
  const StoredValue max = ReadMachineValue(kScratch, "Max");
  EXPECT_EQ(max.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(max.data, std::string("\x00\x08\x00\x00", 4));

  registry.WriteNumber("Negative", -2);
  EXPECT_EQ(ReadMachineValue(kScratch, "Negative").data, std::string("\xFE\xFF\xFF\xFF", 4));

  registry.WriteText("Max", "now text");
  EXPECT_EQ(ReadMachineValue(kScratch, "Max").type, static_cast<DWORD>(REG_SZ));
  registry.WriteNumber("Max", 1);
  EXPECT_EQ(ReadMachineValue(kScratch, "Max").type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(Registry, ReadTextReturnsTextsUnexpandedAndRefusesOtherTypes) {
  const char expand[] = "\"%SystemRoot%\\qv.exe\"";
  Put("ImagePath", REG_EXPAND_SZ, expand, sizeof expand);
  const DWORD number = 5;
  Put("Number", REG_DWORD, &number, sizeof number);
  const char multi[] = "a\0b\0";
  Put("Multi", REG_MULTI_SZ, multi, sizeof multi);
  Put("Binary", REG_BINARY, "xy", 2);
  Put("ZeroSize", REG_SZ, "", 0);
  Put("Unterminated", REG_SZ, "abc", 3);
  Put("EmbeddedZero", REG_SZ, "ab\0cd", 6);

  ASSERT_TRUE(registry.OpenPath(kScratchPath, false));
  EXPECT_EQ(registry.ReadText("ImagePath"), "\"%SystemRoot%\\qv.exe\"");
  EXPECT_EQ(ErrorOf([&] { registry.ReadText("Number"); }), "Invalid data type for 'Number'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadText("Multi"); }), "Invalid data type for 'Multi'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadText("Binary"); }), "Invalid data type for 'Binary'");
  EXPECT_EQ(registry.ReadText("ZeroSize"), "");
  EXPECT_EQ(registry.ReadText("Unterminated"), "abc");
  EXPECT_EQ(registry.ReadText("EmbeddedZero"), "ab");
  EXPECT_EQ(registry.ReadText("Missing"), "");
  EXPECT_FALSE(registry.HasValue("Missing"));
  EXPECT_TRUE(registry.HasValue("Multi")) << "any type counts as present";
}

TEST_F(Registry, WithNoKeyOpenValuesAreMissingAndWritesFail) {
  EXPECT_FALSE(registry.HasValue("Anything"));
  EXPECT_EQ(registry.ReadText("Anything"), "");
  EXPECT_EQ(ErrorOf([&] { registry.WriteText("Anything", "x"); }),
            "Failed to set data for 'Anything'");
  EXPECT_EQ(ErrorOf([&] { registry.WriteNumber("Count", 1); }), "Failed to set data for 'Count'");
}

}  // namespace
}  // namespace qv::test
