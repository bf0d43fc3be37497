// A start without a desktop, a terminal or an update address loads none of the libraries
// only some runs need (the X display, the session bus, the icon theme, the HTTP client,
// the line editor): they are mapped on first use, which keeps every start-up short.
#include <gtest/gtest.h>

#include <string>

#include "support/script_harness.h"
#include "support/text_checks.h"

namespace {

const char* const kOnDemand[] = {"libxcb.so", "libxcb-randr", "libxcb-xfixes", "libsystemd.so", "libgio-2.0",
                                 "libgdk_pixbuf", "libcurl", "libedit"};

TEST(StartupLibraries, APlainStartMapsNoneOfTheLibrariesLoadedOnDemand) {
  testsupport::script_install app;
  app.copy_default_package();
  app.set_env("DISPLAY", "");
  app.set_env("WAYLAND_DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("ready", 20000)) << host->err();
  std::string maps = testsupport::read_file("/proc/" + std::to_string(host->pid()) + "/maps");
  host->write_stdin("quit\n");
  auto r = host->wait(20000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_FALSE(maps.empty());
  for (const char* library : kOnDemand) EXPECT_FALSE(testsupport::has(maps, library)) << library << " is mapped";
}

// The same libraries do load when a run needs them: a desktop method without a display
// still loads nothing, but the icon lookup loads the icon theme's libraries.
TEST(StartupLibraries, TheIconLookupLoadsItsLibrariesOnFirstUse) {
  testsupport::script_install app;
  app.set_env("DISPLAY", "");
  app.package(R"(
local icons = GetObject('IconManager.Manager')
icons:GetIconByPath('/tmp/x.txt', true)
local f = io.open('/proc/self/maps', 'r'); local maps = f:read('*a'); f:close()
print(string.find(maps, 'libgdk_pixbuf', 1, true) and 'icons loaded' or 'icons not loaded')
GetObject('Win32Shell.Object'):PostQuitMessage()
)");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(testsupport::has(r.out, "icons loaded")) << r.out << r.err;
}

} // namespace
