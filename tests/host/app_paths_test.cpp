// The program's folders: where they are, which are made, and which are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "host/app_paths.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"
#include "support/unsafe_folders.h"

using testsupport::file_exists;
using testsupport::mode_of;

namespace {
// Points the folder variables of this process into one temporary root for the length of a
// test, and puts the old values back afterwards.
class folder_env {
public:
  folder_env() {
    for (const char* d : {"tmp", "run", "data", "home"}) testsupport::make_dirs(root / d);
    ::chmod((root / "run").c_str(), 0700);
    set("TMPDIR", root / "tmp");
    set("XDG_RUNTIME_DIR", root / "run");
    set("XDG_DATA_HOME", root / "data");
    set("HOME", root / "home");
  }
  ~folder_env() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else ::unsetenv(it->first.c_str());
    }
  }
  void set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  void unset(const std::string& name) {
    set(name, "");
    ::unsetenv(name.c_str());
  }
  std::string private_temp() const { return root / ("tmp/Mobrevist-" + std::to_string(::geteuid())); }

  testsupport::temp_dir root;

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

bool is_dir(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

TEST(AppPaths, FoldersFollowTheProgramFolder) {
  folder_env env;
  std::string program = env.root / "apps/tool/";
  testsupport::make_dirs(program);
  CAppPaths paths;
  paths.FillFromExecutable(program + "mobrevist");
  EXPECT_EQ(paths.GetExeDir(), program);
  EXPECT_EQ(paths.GetBaseDir(), program);
  EXPECT_EQ(paths.GetProfileDir(), program + "Profiles/");
  EXPECT_TRUE(is_dir(program + "Profiles"));
  EXPECT_EQ(paths.GetScriptPackageDir(), program + "uipkg");

  // A program folder that is not there: the other folders still follow it.
  CAppPaths elsewhere;
  elsewhere.FillFromExecutable("/apps/tool/mobrevist");
  EXPECT_EQ(elsewhere.GetExeDir(), "/apps/tool/");
  EXPECT_EQ(elsewhere.GetBaseDir(), "/apps/tool/");
  EXPECT_EQ(elsewhere.GetScriptPackageDir(), "/apps/tool/uipkg");

  CAppPaths bare;
  bare.FillFromExecutable("mobrevist");
  EXPECT_EQ(bare.GetExeDir(), "");
  EXPECT_FALSE(file_exists("Profiles"));  // nothing is made in the working folder
}

TEST(AppPaths, TempFolderIsMadeForThisUserOnly) {
  folder_env env;
  CAppPaths paths;
  paths.FillFromExecutable("/apps/tool/mobrevist");
  EXPECT_EQ(paths.GetTempDir(), env.private_temp() + "/");
  EXPECT_EQ(mode_of(env.private_temp()), 0700u);

  // A folder of ours from an earlier run is used again.
  CAppPaths again;
  again.FillFromExecutable("/apps/tool/mobrevist");
  EXPECT_EQ(again.GetTempDir(), env.private_temp() + "/");
}

TEST(AppPaths, TempFolderThatIsNotSafelyOursIsRefusedForTheRuntimeFolder) {
  for (auto kind : testsupport::unsafe_folder_kinds()) {
    SCOPED_TRACE(testsupport::describe(kind));
    folder_env env;
    std::string planted = env.private_temp();
    testsupport::make_unsafe_folder(planted, kind, env.root / "tmp/elsewhere");
    unsigned mode = mode_of(planted), owner = testsupport::owner_of(planted);
    CAppPaths paths;
    paths.FillFromExecutable("/apps/tool/mobrevist");
    EXPECT_EQ(paths.GetTempDir(), env.root / "run/Mobrevist/");
    EXPECT_EQ(mode_of(env.root / "run/Mobrevist"), 0700u);
    EXPECT_EQ(mode_of(planted), mode);
    EXPECT_EQ(testsupport::owner_of(planted), owner);
  }
  // With no usable runtime folder either there is no temp folder at all.
  folder_env env;
  testsupport::make_unsafe_folder(env.private_temp(), testsupport::unsafe_folder::world_access, "");
  env.set("XDG_RUNTIME_DIR", env.root / "missing/run");
  CAppPaths paths;
  paths.FillFromExecutable("/apps/tool/mobrevist");
  EXPECT_EQ(paths.GetTempDir(), "");
}

TEST(AppPaths, ProfileFolderGoesToTheUserDataFolderWhenItCannotBeBesideTheProgram) {
  {
    folder_env env;
    CAppPaths paths;
    paths.FillFromExecutable(env.root / "not-made/mobrevist");
    EXPECT_EQ(paths.GetProfileDir(), env.root / "data/Mobrevist/Profiles/");
    EXPECT_TRUE(is_dir(env.root / "data/Mobrevist/Profiles"));
    EXPECT_FALSE(file_exists(env.root / "not-made"));
  }
  {
    // "Profiles" beside the program is a file: not a folder that can be used.
    folder_env env;
    env.unset("XDG_DATA_HOME");
    testsupport::write_file(env.root / "apps/Profiles", "a file");
    CAppPaths paths;
    paths.FillFromExecutable(env.root / "apps/mobrevist");
    EXPECT_EQ(paths.GetProfileDir(), env.root / "home/.local/share/Mobrevist/Profiles/");
    EXPECT_TRUE(is_dir(env.root / "home/.local/share/Mobrevist/Profiles"));
    EXPECT_EQ(testsupport::read_file(env.root / "apps/Profiles"), "a file");
  }
}

// Start-up makes the profile folder, so that what keeps files there works on a first run
// even when no script has asked for a folder.
TEST(AppPaths, StartUpMakesTheProfileFolder) {
  testsupport::script_install app;
  app.package("GetObject('Win32Shell.Object'):PostQuitMessage()\n");
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(is_dir(app.dir() + "Profiles"));
}
