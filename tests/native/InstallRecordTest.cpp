// The install record as the uninstaller will read it: what Setup writes
// comes back whole, and a record that was cut short or altered is refused
// as a whole.
#include "core/InstallRecord.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TInstallRecord Sample() {
  TInstallRecord r;
  r.destination = "C:\\Program Files\\Quolvex 100%";
  r.directories = {r.destination, r.destination + "\\logs"};
  r.files = {{r.destination + "\\qvdaemon.exe", std::string(64, 'a')},
             {r.destination + "\\sms.txt", std::string(64, '0')}};
  r.shortcuts = {"C:\\ProgramData\\Programs\\Quolvex\\Uninstall program.lnk"};
  r.keys = {"SOFTWARE\\Quolvex"};
  // Value names may hold anything, a tab or a line end included.
  r.values = {{"SOFTWARE\\Quolvex", "Codepage"}, {"SOFTWARE\\Quolvex", "odd\tname\r\n"}};
  r.services = {"Quolvex", "QuolvexMonitor"};
  return r;
}

void ExpectSame(const TInstallRecord& a, const TInstallRecord& b) {
  EXPECT_EQ(a.destination, b.destination);
  EXPECT_EQ(a.directories, b.directories);
  ASSERT_EQ(a.files.size(), b.files.size());
  for (size_t i = 0; i < a.files.size(); ++i) {
    EXPECT_EQ(a.files[i].path, b.files[i].path);
    EXPECT_EQ(a.files[i].sha256, b.files[i].sha256);
  }
  EXPECT_EQ(a.shortcuts, b.shortcuts);
  EXPECT_EQ(a.keys, b.keys);
  ASSERT_EQ(a.values.size(), b.values.size());
  for (size_t i = 0; i < a.values.size(); ++i) {
    EXPECT_EQ(a.values[i].key, b.values[i].key);
    EXPECT_EQ(a.values[i].name, b.values[i].name);
  }
  EXPECT_EQ(a.services, b.services);
}

TEST(InstallRecord, WhatIsWrittenIsReadBackWhole) {
  const std::string text = Sample().Serialize();
  EXPECT_EQ(text.rfind("Quolvex Antivirus 5.0 install record\r\n", 0), 0u);
  EXPECT_NE(text.find("odd%09name%0D%0A"), std::string::npos);
  EXPECT_NE(text.find("Quolvex 100%25"), std::string::npos);
  ExpectSame(TInstallRecord::Parse(text), Sample());
}

TEST(InstallRecord, ADamagedRecordIsRefusedAsAWhole) {
  const std::string good = Sample().Serialize();
  const size_t daemon = good.find("qvdaemon");
  std::string altered = good;
  altered[daemon] = 'Q';
  std::string forged = Sample().Serialize();
  forged.insert(forged.find("service\t"),
                "file\tC:\\Windows\\notepad.exe\t" + std::string(64, 'b') + "\r\n");
  const std::string cases[] = {
      "",
      good.substr(0, good.size() / 2),         // cut short
      good.substr(0, good.rfind("checksum")),  // checksum line lost
      altered,                                 // one byte changed
      forged,                                  // an entry added, checksum not
      "Quolvex Antivirus 5.0 install record\r\nchecksum\t" + std::string(64, '0') + "\r\n",
  };
  for (const std::string& text : cases) {
    try {
      TInstallRecord::Parse(text);
      ADD_FAILURE() << "accepted: " << text.size() << " bytes";
    } catch (const EInstallRecordError& e) {
      EXPECT_STREQ(e.what(), "The install record is damaged.");
    }
  }
}

TEST(InstallRecord, ASecondInstallationKeepsWhatTheFirstMadeAndRehashesWhatItWrote) {
  TInstallRecord first = Sample();
  TInstallRecord second;
  second.destination = first.destination;
  // The second run made nothing new but wrote the daemon again (another
  // hash) and a shortcut; it spells a path in other case.
  second.files = {{first.destination + "\\QVDAEMON.EXE", std::string(64, 'c')}};
  second.shortcuts = {first.shortcuts[0]};
  second.Merge(first);
  EXPECT_EQ(second.directories, first.directories);
  ASSERT_EQ(second.files.size(), 2u);
  EXPECT_EQ(second.files[0].sha256, std::string(64, 'c'));
  EXPECT_EQ(second.files[1].path, first.destination + "\\sms.txt");
  EXPECT_EQ(second.shortcuts.size(), 1u);
  EXPECT_EQ(second.keys, first.keys);
  EXPECT_EQ(second.values.size(), 2u);
  EXPECT_EQ(second.services, first.services);
}

}  // namespace
}  // namespace qv
