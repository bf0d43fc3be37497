// Driver installation on Windows with stand-in installers (tests/windows/peers): each of the
// three ways runs its program with its words (msiexec too is looked for in the program folder
// first), and the program's exit status comes back to the caller on the UI thread.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

#include "common/singleton_ex.h"
#include "device/driver_manager.h"
#include "host/message_window.h"
#include "platform/process.h"
#include "platform/ui_loop.h"
#include "support/temp_dir.h"
#include "zip_builder.h"

using kit::design_pattern::singleton_ex;

namespace {

struct done_recorder : DriverInstallCallback {
  int32_t task = 0;
  int32_t result = -1;
  void OnInstallDone(int32_t task_id, int32_t status) override {
    task = task_id;
    result = status;
    kit::platform::ui_loop::instance().stop();
  }
};

// A path as the system spells it back: "\" separators, any letter case.
std::string folded(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (path.size() > 3 && path.back() == '/') path.pop_back();
  return path;
}

// Runs the UI loop until the installer's status came back, or a minute passed.
void run_until_done(const done_recorder& done) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 600 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    loop.stop();
  });
  loop.run();
  finished = true;
  watchdog.join();
  EXPECT_NE(done.task, 0) << "no status came back";
}

} // namespace

TEST(WindowsDriverInstall, EachWayRunsItsInstallerWithItsWordsAndReportsItsStatus) {
  testsupport::temp_dir t;
  const std::string standin = testsupport::read_file(MOBREVIST_INSTALLER_STANDIN);
  const std::string app = t.path() + "/app/";
  testsupport::write_file(app + "dpinst64.exe", standin);
  testsupport::write_file(app + "msiexec.exe", standin);
  const std::string archive = t / "driver_002.zip";
  devicetest::make_zip(archive, {{"android_winusb.inf", "[Version]\n"}, {"setup.exe", standin}, {"p.msi", "x"}});

  singleton_ex<CMessageWindow>::acquire()->Create("driver-install-test");
  CDriverManager manager;
  manager.SetFolders(app, t.path() + "/tmp/");
  manager.Init();
  const std::string unpacked = manager.UnpackFolder(archive);

  struct way {
    int32_t mode;
    std::string file;
    std::string program;  // the program that must run
    std::vector<std::string> words;  // and the words it must get
  };
  const way ways[] = {
      {2, "android_winusb.inf", app + "dpinst64.exe", {unpacked + "android_winusb.inf", "/q /se"}},
      {1, "setup.exe", unpacked + "setup.exe", {}},
      {3, "p.msi", app + "msiexec.exe", {"/i", unpacked + "p.msi"}},
  };
  for (const way& w : ways) {
    SCOPED_TRACE(w.file);
    const std::string record = w.program + ".args";
    std::remove(record.c_str());
    done_recorder done;
    int32_t id = manager.AddTask(archive, w.file, w.mode, "/q /se", &done);
    run_until_done(done);
    EXPECT_EQ(done.task, id);
    EXPECT_EQ(done.result, 7);  // the stand-in's own status, not "nothing ran"
    ASSERT_TRUE(testsupport::file_exists(record));
    std::vector<std::string> words = kit::platform::split_command_line(testsupport::read_file(record));
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(folded(words.front()), folded(w.program));
    EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.end()), w.words);
  }
  manager.UnInit();
  singleton_ex<CMessageWindow>::peek()->Destroy();
  singleton_ex<CMessageWindow>::release();
}
#endif
