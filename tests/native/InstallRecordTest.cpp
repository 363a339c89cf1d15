// The install record as the uninstaller will read it: what Setup writes
// comes back whole, and a record that was cut short or altered is refused
// as a whole.
#include "core/InstallRecord.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/Sha256.h"

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
  // A value name may hold a separator or a '%'.
  r.values = {{"SOFTWARE\\Quolvex", "Codepage"}, {"SOFTWARE\\Quolvex", "odd\\name 100%"}};
  r.services = {"Quolvex", "QuolvexMonitor"};
  return r;
}

constexpr char kMenu[] = "C:\\ProgramData\\Programs\\Quolvex";

// A record Setup could have written but for one thing, whole as text.
using Change = std::function<void(TInstallRecord&)>;

std::string Sealed(const std::string& body) {
  Sha256 hash;
  hash.Update(body.data(), body.size());
  return body + "checksum\t" + Sha256::Hex(hash.Final()) + "\r\n";
}

// Parse refuses the changed record whatever its checksum says.
void ExpectRefused(const std::vector<std::pair<const char*, Change>>& cases,
                   const std::function<void(const TInstallRecord&)>& check) {
  for (const auto& [name, change] : cases) {
    TInstallRecord r = Sample();
    change(r);
    try {
      check(r);
      ADD_FAILURE() << "accepted: " << name;
    } catch (const EInstallRecordError& e) {
      EXPECT_STREQ(e.what(), "The install record is damaged.") << name;
    }
  }
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
  EXPECT_NE(text.find("Quolvex 100%25"), std::string::npos);
  ExpectSame(TInstallRecord::Parse(text), Sample());
  EXPECT_NO_THROW(Sample().CheckConfined(kMenu));
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

// Whole, but with what no installation writes: a second of something, a
// byte that cuts a path short at the system call, a path or key in any but
// its one canonical spelling.
TEST(InstallRecord, AnEntryNoInstallationWritesIsRefusedThoughItsChecksumHolds) {
  const auto parse = [](const TInstallRecord& r) { TInstallRecord::Parse(r.Serialize()); };
  const auto path = [](std::string p) {
    return [p](TInstallRecord& r) { r.files.push_back({p, std::string(64, 'e')}); };
  };
  const auto key = [](std::string k) { return [k](TInstallRecord& r) { r.keys.push_back(k); }; };
  ExpectRefused(
      {
          {"NUL in a path",
           [](TInstallRecord& r) { r.files[0].path += std::string(1, '\0') + ".txt"; }},
          {"DEL in a value name", [](TInstallRecord& r) { r.values[0].name += '\x7F'; }},
          {"a line end in a value name", [](TInstallRecord& r) { r.values[0].name += "\r\n"; }},
          {"a directory twice, in other case",
           [](TInstallRecord& r) { r.directories.push_back("c:\\PROGRAM FILES\\quolvex 100%"); }},
          {"a file twice, another hash",
           [](TInstallRecord& r) {
             r.files.push_back({r.files[0].path, std::string(64, 'f')});
           }},
          {"a value twice",
           [](TInstallRecord& r) {
             r.values.push_back({"software\\QUOLVEX", "codepage"});
           }},
          {"a service twice", [](TInstallRecord& r) { r.services.push_back("QUOLVEX"); }},
          {"..", path("C:\\Program Files\\Quolvex 100%\\..\\..\\bystander.txt")},
          {".", path("C:\\Program Files\\Quolvex 100%\\.\\qvdaemon.exe")},
          {"an empty segment", path("C:\\Program Files\\\\Quolvex 100%\\a.txt")},
          {"a separator at the end", path("C:\\Program Files\\Quolvex 100%\\a\\")},
          {"a trailing dot", path("C:\\Program Files\\Quolvex 100%\\qvdaemon.exe.")},
          {"a trailing space", path("C:\\Program Files\\Quolvex 100% \\a.txt")},
          {"a forward slash", path("C:\\Program Files/Quolvex 100%\\a.txt")},
          {"a stream", path("C:\\Program Files\\Quolvex 100%\\a.txt:hidden")},
          {"relative", path("readme.txt")},
          {"drive-relative", path("C:readme.txt")},
          {"a device path", path("\\\\?\\C:\\Program Files\\Quolvex 100%\\a.txt")},
          {"a server without a share", path("\\\\server")},
          {"a key with a leading separator", key("\\SOFTWARE\\Quolvex\\Sub")},
          {"a key with a trailing separator", key("SOFTWARE\\Quolvex\\Sub\\")},
          {"a key with an empty segment", key("SOFTWARE\\\\Quolvex")},
          {"an empty key", key("")},
      },
      parse);

  // A second destination line, the checksum made to match.
  const std::string text = Sample().Serialize();
  const std::string body = text.substr(0, text.find("checksum\t"));
  const std::string twice = Sealed(body + "destination\tC:\\Program Files\\Quolvex 100%\\logs\r\n");
  EXPECT_THROW(TInstallRecord::Parse(twice), EInstallRecordError);
  EXPECT_NO_THROW(TInstallRecord::Parse(Sealed(body)));

  // A drive root and a share are spelled as they stand.
  for (const char* destination : {"D:\\", "\\\\server\\share\\Quolvex"}) {
    TInstallRecord r = Sample();
    r.destination = destination;
    EXPECT_EQ(TInstallRecord::Parse(r.Serialize()).destination, destination);
  }
}

// Setup writes into the destination, the program menu and the product's
// own keys and services; a record naming anything else was written by
// someone else, checksum or not.
TEST(InstallRecord, WhatLiesOutsideTheProductsOwnIsRefused) {
  const auto confined = [](const TInstallRecord& r) { r.CheckConfined(kMenu); };
  const auto file = [](std::string p) {
    return [p](TInstallRecord& r) { r.files.push_back({p, std::string(64, 'e')}); };
  };
  const auto key = [](std::string k) { return [k](TInstallRecord& r) { r.keys.push_back(k); }; };
  ExpectRefused(
      {
          {"service Bystander", [](TInstallRecord& r) { r.services.push_back("Bystander"); }},
          {"value SOFTWARE\\Bystander X",
           [](TInstallRecord& r) {
             r.values.push_back({"SOFTWARE\\Bystander", "X"});
           }},
          {"file C:\\bystander.txt", file("C:\\bystander.txt")},
          {"a file through ..", file("C:\\Program Files\\Quolvex 100%\\..\\..\\bystander2.txt")},
          {"a sibling by prefix", file("C:\\Program Files\\Quolvex 100%X\\a.txt")},
          {"the destination as a file", file("C:\\Program Files\\Quolvex 100%")},
          {"the destination's parent",
           [](TInstallRecord& r) { r.directories.push_back("C:\\Program Files"); }},
          {"a folder in the program menu",
           [](TInstallRecord& r) { r.shortcuts.push_back(std::string(kMenu) + "\\Sub\\a.lnk"); }},
          {"a shortcut outside it",
           [](TInstallRecord& r) { r.shortcuts.push_back("C:\\ProgramData\\Programs\\a.lnk"); }},
          {"Services\\QuolvexX", key("SYSTEM\\CurrentControlSet\\Services\\QuolvexX")},
          {"SOFTWARE\\QuolvexAntivirus", key("SOFTWARE\\QuolvexAntivirus")},
          {"the services' parent", key("SYSTEM\\CurrentControlSet\\Services")},
      },
      confined);

  // Without a program menu no shortcut is the product's.
  EXPECT_THROW(Sample().CheckConfined(""), EInstallRecordError);

  TInstallRecord own = Sample();
  own.directories.push_back(kMenu);
  own.files.push_back({"c:\\PROGRAM FILES\\quolvex 100%\\docs\\help.txt", std::string(64, 'e')});
  own.keys = {"software\\quolvex",
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus",
              "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor\\Parameters"};
  own.services = {"quolvexmonitor"};
  EXPECT_NO_THROW(own.CheckConfined(kMenu));
  TInstallRecord underRoot = Sample();
  underRoot.destination = "D:\\";
  underRoot.directories = {"D:\\", "D:\\logs"};
  underRoot.files = {{"D:\\qvdaemon.exe", std::string(64, 'a')}};
  EXPECT_NO_THROW(underRoot.CheckConfined(kMenu));
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
