// The clipboard and tray objects with no display and no session bus: every method gives
// its empty result at once and the host goes on.
#include <gtest/gtest.h>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {

TEST(NoDesktop, ClipboardAndTrayAnswerEmptyAtOnce) {
  script_install app;
  app.set_env("DISPLAY", "");
  app.set_env("WAYLAND_DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app.root() + "/no-session-bus");
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
  app.package(R"(
local c = GetObject('ClipBoardData.Manager')
c:SetTxtData('x')
c:SetHdropData({'/a'})
local t = c:GetHdropData()
print('text=[' .. c:GetTxtData() .. '] type=' .. t.type .. ' n=' .. #t)
GetObject('Win32Shell.Object'):PostQuitMessage()
)");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("text=[] type=5 n=0\n"), std::string::npos) << r.out << r.err;
}

} // namespace
