#include <gtest/gtest.h>

#include "common/singleton_ex.h"
#include "platform/process_info.h"

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
