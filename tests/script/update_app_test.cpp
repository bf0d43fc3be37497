// Applying update packages with AppHelp.Object's UpdateAPP through the real executable,
// and the replacements a later start completes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/script_harness.h"

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::write_file;

namespace {
int run_in(const std::string& folder, const std::string& command) {
  return std::system(("cd '" + folder + "' && " + command + " >/dev/null 2>&1").c_str());
}

// A signing key of the test's own, made with the openssl command; the install's config.ini
// names its public half, as someone running their own update server would.
void trust_test_key(script_install& app) {
  const std::string root = app.root() + "/";
  ASSERT_EQ(run_in(root, "openssl genpkey -algorithm ed25519 -out signing.pem && "
                         "openssl pkey -in signing.pem -pubout -out update-key.pem && "
                         "openssl genpkey -algorithm ed25519 -out stranger.pem"), 0);
  write_file(app.dir() + "update-key.pem", read_file(root + "update-key.pem"));
  write_file(app.dir() + "config.ini", "[Update]\npubkey=update-key.pem\n");
}

void sign(const std::string& package, const std::string& key) {
  ASSERT_EQ(run_in("/", "openssl pkeyutl -sign -rawin -inkey '" + key + "' -in '" + package + "' -out '" + package +
                            ".sig'"),
            0);
}

// Zips the files (relative path -> content) into dir + name and signs it with the test's key.
void make_package(const std::string& dir, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& files) {
  std::string staging = dir + "staging-" + name + "/";
  for (const auto& [path, content] : files) write_file(staging + path, content);
  ASSERT_EQ(run_in(staging, "zip -qr '" + dir + name + "' ."), 0);
  sign(dir + name, dir + "signing.pem");
}

std::string apply_script(const std::string& package) {
  return "local ok, reason = GetObject('AppHelp.Object'):UpdateAPP('" + package + "', '')\n" +
         "print(ok and 'applied' or ('refused: ' .. tostring(reason)))\n" +
         "GetObject('Win32Shell.Object'):PostQuitMessage()\n";
}

mode_t mode_of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}
} // namespace

TEST(UpdateAppScript, AppliesTheListAndTouchesNothingOutsideTheProgramFolder) {
  script_install app;
  trust_test_key(app);
  std::string dir = app.dir();
  write_file(dir + "old.txt", "to be deleted");
  write_file(dir + "tool", "#!/bin/sh\necho old\n");
  ASSERT_EQ(::chmod((dir + "tool").c_str(), 0755), 0);
  write_file(app.root() + "/outside_del.txt", "stays");
  // A link where the replacement is written must not carry it out of the folder.
  ASSERT_EQ(::symlink((app.root() + "/outside_del.txt").c_str(), (dir + "tool.tmp").c_str()), 0);
  write_file(app.host_temp_dir() + "outside_src.txt", "private");
  ASSERT_EQ(::chmod(app.host_temp_dir().c_str(), 0700), 0);  // still the host's own folder
  make_package(app.root() + "/", "pkg.zip",
               {{"updatelist.xml", R"(<update>
  <DeleteFileList><f dest="old.txt"/><f dest="../outside_del.txt"/><f dest="/tmp/../etc/none"/></DeleteFileList>
  <FileList>
    <f src="files/nested.txt" dest="first/choice.txt"/>
    <f src="files/nested.txt" dest="deep/er/nested.txt"/>
    <f src="files/tool" dest="tool"/>
    <f src="files/esc.txt" dest="../escaped.txt"/>
    <f src="../outside_src.txt" dest="stolen.txt"/>
    <f src="files/esc.txt"/>
  </FileList>
</update>)"},
                {"files/nested.txt", "nested"},
                {"files/tool", "#!/bin/sh\necho new\n"},
                {"files/esc.txt", "escape"}});
  app.package(apply_script(app.root() + "/pkg.zip"));
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("applied"), std::string::npos) << r.out << r.err;

  EXPECT_FALSE(file_exists(dir + "old.txt"));
  EXPECT_EQ(read_file(dir + "deep/er/nested.txt"), "nested");
  EXPECT_FALSE(file_exists(dir + "first/choice.txt"));  // the later dest of one src wins
  EXPECT_EQ(read_file(dir + "tool"), "#!/bin/sh\necho new\n");
  EXPECT_EQ(mode_of(dir + "tool"), 0755u);  // a replaced program stays executable
  EXPECT_FALSE(file_exists(dir + "tool.tmp"));
  // Entries that climb out of either folder are passed over.
  EXPECT_EQ(read_file(app.root() + "/outside_del.txt"), "stays");
  EXPECT_FALSE(file_exists(app.root() + "/escaped.txt"));
  EXPECT_FALSE(file_exists(dir + "stolen.txt"));
}

// A second package without a list must not apply what the first one left behind.
TEST(UpdateAppScript, APackageWithoutListAppliesNothing) {
  script_install app;
  trust_test_key(app);
  std::string dir = app.dir();
  make_package(app.root() + "/", "first.zip",
               {{"updatelist.xml", R"(<u><FileList><f src="a.txt" dest="a.txt"/></FileList></u>)"}, {"a.txt", "one"}});
  make_package(app.root() + "/", "second.zip", {{"a.txt", "two"}});
  app.package(apply_script(app.root() + "/first.zip"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(read_file(dir + "a.txt"), "one");
  ASSERT_EQ(::unlink((dir + "a.txt").c_str()), 0);

  app.package(apply_script(app.root() + "/second.zip"));
  r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(file_exists(dir + "a.txt"));
  EXPECT_EQ(read_file(app.host_temp_dir() + "Update/a.txt"), "two");  // the package stays unpacked
}

// A target that cannot be replaced now waits as target.tmp; the next start moves it.
TEST(UpdateAppScript, AReplacementRefusedNowIsMadeAtTheNextStart) {
  script_install app;
  trust_test_key(app);
  std::string dir = app.dir();
  write_file(dir + "busy/inside.txt", "a folder stands where the file goes");
  make_package(app.root() + "/", "pkg.zip",
               {{"updatelist.xml", R"(<u><FileList><f src="busy" dest="busy"/></FileList></u>)"}, {"busy", "new file"}});
  app.package(apply_script(app.root() + "/pkg.zip"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(dir + "busy.tmp"), "new file");
  EXPECT_TRUE(file_exists(dir + "Profiles/pending-moves"));

  ASSERT_EQ(run_in(dir, "rm -r busy"), 0);
  app.package("GetObject('Win32Shell.Object'):PostQuitMessage()\n");
  r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(dir + "busy"), "new file");
  EXPECT_FALSE(file_exists(dir + "busy.tmp"));
  EXPECT_FALSE(file_exists(dir + "Profiles/pending-moves"));
}

// Nothing is changed unless the whole package is the signer's and complete: no signature,
// another signer's, a package changed after signing, a listed file missing from the
// package, no private temporary folder. The script learns why.
TEST(UpdateAppScript, NothingChangesUnlessThePackageIsSignedAndWhole) {
  struct refusal {
    const char* title;
    std::function<void(script_install&, const std::string& package)> spoil;
    const char* reason;
  };
  const std::vector<refusal> cases = {
      {"no signature", [](script_install&, const std::string& p) { ::unlink((p + ".sig").c_str()); }, "no signature file"},
      {"another signer", [](script_install& app, const std::string& p) { sign(p, app.root() + "/stranger.pem"); },
       "signature does not match"},
      {"changed after signing",
       [](script_install&, const std::string& p) { write_file(p, read_file(p) + "x"); }, "signature does not match"},
      {"short signature", [](script_install&, const std::string& p) { write_file(p + ".sig", "short"); }, "damaged"},
      {"no temporary folder",
       [](script_install& app, const std::string&) {
         app.set_env("TMPDIR", app.root() + "/no/such/folder");
         write_file(app.root() + "/not-a-folder", "");
         app.set_env("XDG_RUNTIME_DIR", app.root() + "/not-a-folder");
       },
       "no private temporary folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    script_install app;
    trust_test_key(app);
    std::string dir = app.dir();
    write_file(dir + "a.lua", "version 1");
    write_file(dir + "gone.txt", "stays");
    make_package(app.root() + "/", "pkg.zip",
                 {{"updatelist.xml", R"(<u><DeleteFileList><f dest="gone.txt"/></DeleteFileList>
                    <FileList><f src="a.lua" dest="a.lua"/></FileList></u>)"},
                  {"a.lua", "version 2"}});
    c.spoil(app, app.root() + "/pkg.zip");
    app.package(apply_script(app.root() + "/pkg.zip"));
    auto r = app.run();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("refused: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    EXPECT_EQ(read_file(dir + "a.lua"), "version 1");
    EXPECT_EQ(read_file(dir + "gone.txt"), "stays");
  }
}

// A package whose list names a file it lacks changes nothing: not the files before it in
// the list, and not what its delete list names.
TEST(UpdateAppScript, ADamagedPackageLeavesTheInstallationAsItWas) {
  script_install app;
  trust_test_key(app);
  std::string dir = app.dir();
  write_file(dir + "a.lua", "version 1");
  write_file(dir + "b.lua", "version 1");
  write_file(dir + "gone.txt", "stays");
  make_package(app.root() + "/", "pkg.zip",
               {{"updatelist.xml", R"(<u><DeleteFileList><f dest="gone.txt"/></DeleteFileList>
                  <FileList><f src="a.lua" dest="a.lua"/><f src="b.lua" dest="b.lua"/></FileList></u>)"},
                {"a.lua", "version 2"}});
  app.package(apply_script(app.root() + "/pkg.zip"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("refused: the package lacks b.lua"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(dir + "a.lua"), "version 1");
  EXPECT_EQ(read_file(dir + "b.lua"), "version 1");
  EXPECT_EQ(read_file(dir + "gone.txt"), "stays");
  EXPECT_FALSE(file_exists(dir + "a.lua.tmp"));
}

// A program file that is a symbolic link becomes a regular file with the permission bits
// of what the link pointed at, never the link's own 0777.
TEST(UpdateAppScript, ALinkedProgramFileBecomesARegularFileWithItsTargetsMode) {
  script_install app;
  trust_test_key(app);
  std::string dir = app.dir();
  write_file(app.root() + "/real-tool", "old");
  ASSERT_EQ(::chmod((app.root() + "/real-tool").c_str(), 0750), 0);
  ASSERT_EQ(::symlink((app.root() + "/real-tool").c_str(), (dir + "tool").c_str()), 0);
  make_package(app.root() + "/", "pkg.zip",
               {{"updatelist.xml", R"(<u><FileList><f src="tool" dest="tool"/></FileList></u>)"}, {"tool", "new"}});
  app.package(apply_script(app.root() + "/pkg.zip"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("applied"), std::string::npos) << r.out;
  struct stat info {};
  ASSERT_EQ(::lstat((dir + "tool").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0750u);
  EXPECT_EQ(read_file(dir + "tool"), "new");
  EXPECT_EQ(read_file(app.root() + "/real-tool"), "old");  // what the link pointed at is untouched
}
