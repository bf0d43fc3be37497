#include <gtest/gtest.h>

#include <cstdlib>

#include "common/singleton_ex.h"
#include "host/app_paths.h"
#include "platform/process_info.h"
#include "support/temp_dir.h"

TEST(AppPaths, FoldersFollowTheProgramFolder) {
  testsupport::temp_dir tmp;
  setenv("TMPDIR", tmp.path().c_str(), 1);
  CAppPaths paths;
  paths.FillFromExecutable("/apps/tool/mobrevist");
  unsetenv("TMPDIR");
  EXPECT_EQ(paths.GetExeDir(), "/apps/tool/");
  EXPECT_EQ(paths.GetBaseDir(), "/apps/tool/");
  EXPECT_EQ(paths.GetProfileDir(), "/apps/tool/Profiles/");
  EXPECT_EQ(paths.GetScriptPackageDir(), "/apps/tool/uipkg");
  EXPECT_EQ(paths.GetTempDir(), tmp.path() + "/Mobrevist/");
  EXPECT_TRUE(testsupport::file_exists(tmp.path() + "/Mobrevist"));

  CAppPaths bare;
  bare.FillFromExecutable("mobrevist");
  EXPECT_EQ(bare.GetExeDir(), "");
}

namespace {
struct counted {
  static inline int alive = 0;
  counted() { ++alive; }
  ~counted() { --alive; }
};
} // namespace

TEST(SingletonEx, LastReleaseDestroysAndAcquireRecreates) {
  using S = kit::design_pattern::singleton_ex<counted>;
  counted* a = S::acquire();
  counted* b = S::acquire();
  EXPECT_EQ(a, b);
  EXPECT_EQ(S::ref_count(), 2u);
  S::release();
  EXPECT_EQ(counted::alive, 1);
  S::release();
  EXPECT_EQ(counted::alive, 0);
  EXPECT_EQ(S::peek(), nullptr);
  S::release();  // an extra release is harmless
  EXPECT_NE(S::acquire(), nullptr);
  S::release();
}

TEST(CommandLine, ArgumentsWithBlanksAreQuotedSoSwitchesReadBackWhole) {
  using kit::platform::join_command_line;
  EXPECT_EQ(join_command_line("/opt/app/mobrevist", {"-type:3", "-silent"}), "/opt/app/mobrevist -type:3 -silent");
  EXPECT_EQ(join_command_line("/opt/app/mobrevist", {"-path:/my files/a.txt"}),
            "/opt/app/mobrevist -path:\"/my files/a.txt\"");
  EXPECT_EQ(join_command_line("/opt/app/mobrevist", {"/open:a b"}), "/opt/app/mobrevist /open:\"a b\"");
  EXPECT_EQ(join_command_line("/opt/my app/mobrevist", {"two words", ""}),
            "\"/opt/my app/mobrevist\" \"two words\" \"\"");
}
