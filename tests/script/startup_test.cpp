// Start-up, the package, start-up scripts and shutdown, through the real executable.
#include <gtest/gtest.h>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";
}

TEST(Startup, PackageQuitsThroughShellObjectWithExitCodeZero) {
  script_install app;
  app.package(std::string("print('package loaded')\n") + kQuit);
  auto r = app.run();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("package loaded"), std::string::npos) << r.err;
}
