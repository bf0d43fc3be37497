// The kit.filesystem objects through the real executable: path arithmetic with both
// separators, file and folder tests on the real file system, folders made and removed,
// well-known folders and volume figures.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// Runs the Lua body with p, f, d, k bound to the four objects and a show(label, value)
// that prints "label=value (type)".
testsupport::run_result run_fs(script_install& app, const std::string& body) {
  app.package(std::string(R"(
local p = GetObject('kit.filesystem.path_utility')
local f = GetObject('kit.filesystem.file_utility')
local d = GetObject('kit.filesystem.dir_utility')
local k = GetObject('kit.filesystem.disk_utility')
local function show(label, v) print(label .. '=' .. tostring(v) .. ' (' .. type(v) .. ')') end
)") + body + kQuit);
  return app.run();
}

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }
} // namespace

TEST(FileSystemObjects, PathArithmeticWithEitherSeparator) {
  script_install app;
  auto r = run_fs(app, R"(
for _, sep in ipairs({'\\', '/'}) do
  local function s(t) return (t:gsub('#', sep)) end
  show('root' .. sep, p:get_path_root(s('C:#a#b.txt')))
  show('dir' .. sep, p:get_path_dir(s('C:#a#b.txt')))
  show('upper' .. sep, p:get_upper_dir(s('C:#a#b.txt')))
  show('upper2' .. sep, p:get_upper_dir(s('C:#a#b#')))
  show('name' .. sep, p:get_file_name(s('C:#a#b.txt')))
  show('main' .. sep, p:get_file_main_name(s('C:#a#b.txt')))
end
show('ext2', p:get_file_ext('x/archive.tar.gz'))
show('ext0', p:get_file_ext('x.d/README'))
show('bare', p:get_file_name('plain'))
show('noroot', p:get_path_root('plain'))
show('second', GetObject('kit.pathsystem.path_utility'):get_path_dir('/u/v'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (std::string sep : {"\\", "/"}) {
    EXPECT_TRUE(has(r.out, "root" + sep + "=C:" + sep + " (string)")) << r.out;
    EXPECT_TRUE(has(r.out, "dir" + sep + "=C:" + sep + "a" + sep + " (string)")) << r.out;
    EXPECT_TRUE(has(r.out, "upper" + sep + "=C:" + sep + "a" + sep + " (string)")) << r.out;
    EXPECT_TRUE(has(r.out, "upper2" + sep + "=C:" + sep + "a" + sep + " (string)")) << r.out;
    EXPECT_TRUE(has(r.out, "name" + sep + "=b.txt (string)")) << r.out;
    EXPECT_TRUE(has(r.out, "main" + sep + "=b (string)")) << r.out;
  }
  EXPECT_TRUE(has(r.out, "ext2=gz (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "ext0= (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "bare=plain (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "noroot= (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "second=/u/ (string)")) << r.out;
}

TEST(FileSystemObjects, FilesAndFoldersOnDisk) {
  script_install app;
  testsupport::temp_dir t;
  testsupport::write_file(t / "a/file.TXT", "12345");
  testsupport::write_file(t / "a/.hidden", "");
  testsupport::make_dirs(t / "hidden_only/.git");  // a folder holding only a dot-entry is not empty
  testsupport::make_dirs(t / "really_empty");
  testsupport::make_dirs(t / "ro/sub");
  testsupport::write_file(t / "ro/sub/locked.txt", "x");
  ::chmod((t / "ro/sub/locked.txt").c_str(), 0444);
  ::chmod((t / "ro/sub").c_str(), 0555);
  auto r = run_fs(app, "local T = '" + t.path() + R"('
show('isfile', f:is_file(T .. '/a/file.TXT'))
show('isfile_dir', f:is_file(T .. '/a'))
show('wild', f:is_file_exist(T .. '\\a\\*.txt'))
show('wild_none', f:is_file_exist(T .. '/a/*.bin'))
show('size', f:get_filesize(T .. '/a/file.TXT'))
show('size_dir', f:get_filesize(T .. '/a'))
show('size_missing', f:get_filesize(T .. '/nope'))
show('isdir', d:is_dir(T .. '\\a'))
show('empty_hidden', d:is_empty_directory(T .. '/hidden_only'))
show('empty_a', d:is_empty_directory(T .. '/a'))
show('empty_really', d:is_empty_directory(T .. '/really_empty'))
show('mk', d:make_dir(T .. '/made'))
show('mk_again', d:make_dir(T .. '/made'))
show('tree', d:make_dir_tree(T .. '\\deep\\er\\est'))
show('tree_exists', d:make_dir_tree(T .. '/deep'))
show('isdir_deep', d:is_dir(T .. '/deep/er/est'))
show('rm_full', d:delete_dir(T .. '/deep'))
show('rm_empty', d:delete_dir(T .. '/made'))
show('rmtree', d:delete_dir_tree(T .. '/ro'))
show('rmtree_gone', d:is_dir(T .. '/ro'))
show('rmtree_missing', d:delete_dir_tree(T .. '/ro'))
show('cd', d:set_current_working_directory(T .. '/a'))
show('cwd', d:get_current_working_directory())
show('cd_bad', d:set_current_working_directory(T .. '/none'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line :
       {"isfile=true (boolean)", "isfile_dir=false (boolean)", "wild=true (boolean)", "wild_none=false (boolean)",
        "size=5 (number)", "size_dir=-1 (number)", "size_missing=-1 (number)", "isdir=true (boolean)",
        "empty_hidden=false (boolean)", "empty_a=false (boolean)", "empty_really=true (boolean)", "mk=true (boolean)", "mk_again=false (boolean)",
        "tree=true (boolean)", "tree_exists=true (boolean)", "isdir_deep=true (boolean)", "rm_full=false (boolean)",
        "rm_empty=true (boolean)", "rmtree=true (boolean)", "rmtree_gone=false (boolean)",
        "rmtree_missing=false (boolean)", "cd=true (boolean)", "cd_bad=false (boolean)"})
    EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out;
  EXPECT_TRUE(has(r.out, "cwd=" + t.path() + "/a/ (string)")) << r.out;
}

TEST(FileSystemObjects, TreeRemovalLeavesLinkedFoldersAlone) {
  script_install app;
  testsupport::temp_dir t, outside;
  testsupport::write_file(outside / "keep.txt", "k");
  testsupport::write_file(t / "tree/x.txt", "x");
  ASSERT_EQ(::symlink(outside.path().c_str(), (t / "tree/out").c_str()), 0);
  ASSERT_EQ(::symlink(outside.path().c_str(), (t / "alias").c_str()), 0);
  auto r = run_fs(app, "local T = '" + t.path() + R"('
show('alias', d:delete_dir_tree(T .. '/alias'))
show('tree', d:delete_dir_tree(T .. '/tree'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "alias=false (boolean)")) << r.out;
  EXPECT_TRUE(has(r.out, "tree=true (boolean)")) << r.out;
  EXPECT_TRUE(testsupport::file_exists(outside / "keep.txt"));
}

TEST(FileSystemObjects, WellKnownFoldersAndVolumes) {
  script_install app;
  testsupport::temp_dir shared;
  app.set_env("XDG_DATA_DIRS", "/nonexistent-data-dir:" + shared.path());
  auto r = run_fs(app, R"(
show('exe', p:get_current_exe_path())
show('exedir', p:get_current_exe_dir())
show('module', p:get_current_module_path())
show('moddir', p:get_current_module_dir())
show('appdata', p:get_appdata_dir())
show('common', p:get_common_appdata_dir())
show('tmp', p:get_tmpdata_dir())
local total = k:get_partition_capacity('/')
local free = k:get_free_partition_space('/does/not/exist/below/root')
local ratio = k:get_partition_utilization_ratio('/')
print(string.format('total=%.0f free=%.0f', total, free))
show('ratio_ok', ratio >= 0 and ratio <= 1)
show('bad_cap', k:get_partition_capacity(''))
show('fmt', k:get_disk_format('/proc/self'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "exe=" + app.exe() + " (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "exedir=" + app.dir() + " (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "module=" + app.exe() + " (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "moddir=" + app.dir() + " (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "appdata=" + app.root() + "/data/Zezazo/ (string)")) << r.out;
  EXPECT_TRUE(has(r.out, "common=" + shared.path() + "/Zezazo/ (string)")) << r.out;
  EXPECT_TRUE(testsupport::file_exists(shared / "Zezazo"));
  EXPECT_NE(r.out.find("tmp=" + app.tmp_dir()), std::string::npos) << r.out;
  struct statvfs v;
  ASSERT_EQ(::statvfs("/", &v), 0);
  // Exact byte counts, also past 4 GiB.
  EXPECT_NE(r.out.find("total=" + std::to_string(uint64_t(v.f_blocks) * v.f_frsize) + " "), std::string::npos) << r.out;
  EXPECT_TRUE(has(r.out, "ratio_ok=true (boolean)")) << r.out;
  EXPECT_TRUE(has(r.out, "bad_cap=-1 (number)")) << r.out;
  EXPECT_TRUE(has(r.out, "fmt=PROC (string)")) << r.out;
}
