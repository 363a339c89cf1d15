#include "core/SetupOptions.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(SetupOptions, SwitchesAreReadAsDeploymentToolsWriteThem) {
  const TSetupOptions none = ParseSetupOptions({});
  EXPECT_EQ(none.mode, TSetupOptions::TMode::kWizard);
  EXPECT_TRUE(none.wrong.empty());

  const TSetupOptions quiet = ParseSetupOptions(
      {"-QUIET", "/AcceptEula", "/dir=C:\\My Dir\\Quolvex", "/LOG=C:\\a=b.log", "/norestart"});
  EXPECT_EQ(quiet.mode, TSetupOptions::TMode::kQuiet);
  EXPECT_TRUE(quiet.acceptEula);
  EXPECT_TRUE(quiet.noRestart);
  EXPECT_EQ(quiet.dir, "C:\\My Dir\\Quolvex");
  EXPECT_EQ(quiet.log, "C:\\a=b.log") << "only the first '=' separates the value";
  EXPECT_TRUE(quiet.wrong.empty());

  EXPECT_EQ(ParseSetupOptions({"/passive"}).mode, TSetupOptions::TMode::kPassive);
  EXPECT_TRUE(ParseSetupOptions({"/?"}).help);
}

TEST(SetupOptions, AnythingElseIsNamedAsWrong) {
  const TSetupOptions options = ParseSetupOptions(
      {"/silent", "quiet", "/dir=", "/dir", "/quiet=yes", "/log", "/", "/quiet", "/passive"});
  EXPECT_EQ(options.wrong,
            (std::vector<std::string>{"/silent", "quiet", "/dir=", "/dir", "/quiet=yes", "/log",
                                      "/", "/quiet with /passive"}));
  EXPECT_FALSE(options.hasDir);
  EXPECT_FALSE(options.hasLog);
}

}  // namespace
}  // namespace qv
