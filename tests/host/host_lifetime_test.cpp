// Start-up and shutdown of the host in this process: which objects exist afterwards and
// in which order shutdown takes things down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/singleton_ex.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "host/owned_objects.h"
#include "support/temp_dir.h"

using kit::design_pattern::singleton_ex;

namespace {

// A program folder without a package and runtime folders of the test's own, so start-up
// finds no scripts and shares no locks.
class HostLifetime : public testing::Test {
protected:
  void SetUp() override {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
      const char* value = std::getenv(name);
      saved.push_back({name, value ? value : "", value != nullptr});
    }
    testsupport::make_dirs(root / "run");
    testsupport::make_dirs(root / "app");
    testsupport::make_dirs(root / "tmp");
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("TMPDIR", (root / "tmp").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& v : saved) {
      if (v.set) setenv(v.name.c_str(), v.value.c_str(), 1);
      else unsetenv(v.name.c_str());
    }
  }
  struct saved_variable {
    std::string name, value;
    bool set;
  };
  std::vector<saved_variable> saved;
  std::string program_dir() const { return root / "app/"; }
  testsupport::temp_dir root;
};

} // namespace

TEST_F(HostLifetime, PathsAskedForBeforeStartUpAreGivenBackAtShutdown) {
  GetAppPaths()->FillFromExecutable(program_dir() + "mobrevist");
  kit::host::host_config config;
  ASSERT_TRUE(kit::host::startup(config));
  EXPECT_EQ(GetAppPaths()->GetExeDir(), program_dir());  // the same object, not a new one
  kit::host::shutdown(config);
  EXPECT_EQ(singleton_ex<CAppPaths>::peek(), nullptr);
  EXPECT_EQ(GetMessageWindow(), nullptr);
}

namespace {
std::vector<std::string> shutdown_log;

bool window_exists() { return GetMessageWindow() && GetMessageWindow()->IsCreated(); }
void note(const std::string& what) { shutdown_log.push_back(what + (window_exists() ? " (window)" : " (no window)")); }

template <int N>
struct piece {
  ~piece() { note("piece " + std::to_string(N)); }
};
} // namespace

TEST_F(HostLifetime, ShutdownStepsAndOwnedObjectsGoBeforeTheManagersAndTheWindow) {
  shutdown_log.clear();
  GetAppPaths()->FillFromExecutable(program_dir() + "mobrevist");
  kit::host::host_config config;
  config.managers.push_back({[] {}, [] { note("manager"); }});
  config.shutdown_steps.push_back([] { note("step"); });
  config.shutdown_steps.push_back(kit::host::release_owned_objects);
  ASSERT_TRUE(kit::host::startup(config));
  // Built on demand, as the script objects' getters do; asked twice, built once.
  piece<1>* first = kit::host::owned<piece<1>>();
  kit::host::owned<piece<2>>();
  EXPECT_EQ(kit::host::owned<piece<1>>(), first);
  EXPECT_EQ(kit::host::find_owned<piece<3>>(), nullptr);
  EXPECT_EQ(kit::host::owned_object_count(), 2u);
  kit::host::shutdown(config);
  EXPECT_EQ(shutdown_log, (std::vector<std::string>{"step (window)", "piece 2 (window)", "piece 1 (window)",
                                                     "manager (window)"}));
  EXPECT_EQ(kit::host::owned_object_count(), 0u);
  EXPECT_EQ(kit::host::find_owned<piece<1>>(), nullptr);
  EXPECT_EQ(GetMessageWindow(), nullptr);
}
