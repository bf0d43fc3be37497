// Win32Shell.Object's methods that need no desktop, through the real executable: profile
// files, the registry, files and folders, processes, and launching with stand-in openers.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/process_gone.h"
#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// A host with no desktop: no display, and buses that do not exist.
void no_desktop(script_install& app) {
  app.set_env("DISPLAY", "");
  app.set_env("WAYLAND_DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app.root() + "/no-session-bus");
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
}

testsupport::run_result run_shell(script_install& app, const std::string& body) {
  app.package(std::string(R"(
local s = GetObject('Win32Shell.Object')
local function show(label, v) print(label .. '=' .. tostring(v) .. ' (' .. type(v) .. ')') end
local function count(...) return select('#', ...) end
)") + body + kQuit);
  return app.run();
}

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

void expect_lines(const testsupport::run_result& r, std::initializer_list<const char*> lines) {
  for (const char* line : lines) EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out << r.err;
}
} // namespace

TEST(ShellObjectScript, ProfileFilesKeepEveryOtherByte) {
  script_install app;
  no_desktop(app);
  const std::string original =
      "; top\r\n[Alpha]\r\nname = \" padded \" \r\n\r\n[Middle]\r\nKey=old\r\nnum=0x10\r\n\r\n[middle]\r\n"
      "key=duplicate\r\n[Last]\r\nlong=" +
      std::string(300, 'x') + "\r\n";
  app.write("data/settings.ini", original);
  std::string ini = app.dir() + "data/settings.ini";
  auto r = run_shell(app, "local F = '" + ini + R"('
show('name', s:ReadINIString(F, 'ALPHA', 'NAME'))
show('dup', s:ReadINIString(F, 'middle', 'key'))
show('missing', s:ReadINIString(F, 'middle', 'nothing'))
show('nofile', s:ReadINIString(F .. '.none', 'a', 'b'))
show('long', #s:ReadINIString(F, 'last', 'long'))
show('int', s:ReadINIInteger(F, 'Middle', 'NUM', 7))
show('intdef', s:ReadINIInteger(F, 'Middle', 'none', 7))
s:WriteINI('MIDDLE', 'key', 'new value', F)
s:WriteINI('Fresh', 'k', 'v', F)
s:WriteINI('s', 'k', 'v', F .. '.made')
show('after', s:ReadINIString(F, 'middle', 'KEY'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_lines(r, {"name= padded  (string)", "dup=old (string)", "missing=3.1.1.1 (string)", "nofile=3.1.1.1 (string)",
                   "long=259 (number)", "int=16 (number)", "intdef=7 (number)", "after=new value (string)"});
  std::string expected = original;
  expected.replace(expected.find("Key=old"), 7, "Key=new value");
  expected += "[Fresh]\r\nk=v\r\n";
  EXPECT_EQ(testsupport::read_file(ini), expected);
  EXPECT_EQ(testsupport::read_file(ini + ".made"), "[s]\r\nk=v\r\n");
}

TEST(ShellObjectScript, RegistryKeysAndValues) {
  script_install app;
  no_desktop(app);
  auto r = run_shell(app, R"(
show('set_nokey', s:SetRegValue('HKEY_CURRENT_USER', 'Software\\Zz', 'n', 1))
show('create', s:CreateRegKey('hkey_current_user', 'Software\\Zz\\Sub'))
show('create_badroot', s:CreateRegKey('HKCU', 'Software'))
show('create_missing', s:CreateRegKey('HKEY_USERS'))
show('set_int', s:SetRegValue('HKEY_CURRENT_USER', 'Software\\Zz', 'Count', 42))
show('set_str', s:SetRegValue('HKEY_CURRENT_USER', 'software\\zz\\sub', 'Name', 'text'))
show('q_int', s:QueryRegValue('HKEY_CURRENT_USER', 'Software\\Zz', 'count'))
show('q_str', s:QueryRegValue('HKEY_CURRENT_USER', 'Software\\Zz\\Sub', 'NAME'))
show('q_none', s:QueryRegValue('HKEY_CURRENT_USER', 'Software\\Zz', 'none'))
show('q_nokey', s:QueryRegValue('HKEY_LOCAL_MACHINE', 'Nothing', 'x'))
show('q_argcount', count(s:QueryRegValue('HKEY_CURRENT_USER', 'Software')))
show('cc_create', s:CreateRegKey('HKEY_CURRENT_CONFIG', 'Cfg'))
show('cc_set', s:SetRegValue('HKEY_CURRENT_CONFIG', 'Cfg', 'v', 'x'))
show('cc_query', s:QueryRegValue('HKEY_CURRENT_CONFIG', 'Cfg', 'v'))
show('del', s:DeleteRegKey('HKEY_CURRENT_USER', 'Software\\Zz'))
show('q_gone', s:QueryRegValue('HKEY_CURRENT_USER', 'Software\\Zz\\Sub', 'Name'))
show('del_badroot', s:DeleteRegKey('nowhere', 'Software'))
show('del_missing_arg', s:DeleteRegKey('HKEY_CURRENT_USER'))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_lines(r, {"set_nokey=false (boolean)", "create=true (boolean)", "create_badroot=false (boolean)",
                   "create_missing=false (boolean)", "set_int=true (boolean)", "set_str=true (boolean)",
                   "q_int=42 (number)", "q_str=text (string)", "q_none= (string)", "q_nokey= (string)",
                   "q_argcount=0 (number)", "cc_create=true (boolean)", "cc_set=true (boolean)",
                   "cc_query= (string)", "del=true (boolean)", "q_gone= (string)", "del_badroot=false (boolean)",
                   "del_missing_arg=false (boolean)"});
  EXPECT_TRUE(testsupport::file_exists(app.root() + "/config/Mobrevist/registry.db"));
}

TEST(ShellObjectScript, FilesAndFolders) {
  script_install app;
  no_desktop(app);
  testsupport::temp_dir t, outside;
  testsupport::write_file(t / "d/One.APK", "1234");
  testsupport::write_file(t / "d/two.apk", "12");
  testsupport::write_file(t / "d/sub/three.apk", std::string(100, 'x'));
  testsupport::make_dirs(t / "d/folder.apk");
  testsupport::write_file(outside / "big.bin", std::string(5000, 'y'));
  ASSERT_EQ(::symlink(outside.path().c_str(), (t / "d/sub/link").c_str()), 0);
  ASSERT_EQ(::symlink((t / "d").c_str(), (t / "d/sub/loop").c_str()), 0);
  auto r = run_shell(app, "local T = '" + t.path() + R"('
local function paths(list)
  local out = {}
  for _, e in ipairs(list) do out[#out + 1] = e.path:sub(#T + 1) .. ':' .. e.type end
  table.sort(out)
  return table.concat(out, ',')
end
show('files', paths(s:EnumFile(1, T .. '/d')))
show('dirs', paths(s:EnumFile(2, T .. '\\d')))
show('size', s:GetDirSize(T .. '/d'))
local apks = s:GetExtFiles(T .. '/d', '*.apk')
table.sort(apks)
show('apks', table.concat(apks, ','))
show('noext', count(s:GetExtFiles(T .. '/d', '*.zip')))
show('split', table.concat(s:SplitString('a,,b,c,', ','), '|'))
show('split_n', #s:SplitString('a<>b', '<>'))
show('copy', s:CopyFile(T .. '/d/two.apk', T .. '/d/One.APK'))
show('copied', s:GetDirSize(T .. '/d'))
show('copy_missing', count(s:CopyFile(T .. '/none', T .. '/x')))
s:Rename(T .. '/d/two.apk', T .. '/d/renamed.apk')
s:Rename(T .. '/d/renamed.apk', T .. '/d/One.APK')
show('tmp', s:GetTmpDir())
show('del_file', s:DeletePathFile(T .. '/d/renamed.apk'))
show('del_tree', s:DeletePathFile(T .. '/d'))
show('del_missing', count(s:DeletePathFile(T .. '/d')))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Links to folders are listed as folders but not entered: nothing below them counts.
  expect_lines(r, {"files=/d/One.APK:1,/d/sub/three.apk:1,/d/two.apk:1 (string)",
                   "dirs=/d/folder.apk:2,/d/sub/link:2,/d/sub/loop:2,/d/sub:2 (string)", "size=106 (number)", "apks=One.APK,two.apk (string)",
                   "noext=0 (number)", "split=a||b|c (string)", "split_n=2 (number)", "copy=true (boolean)",
                   "copied=104 (number)", "copy_missing=0 (number)", "del_file=true (boolean)",
                   "del_tree=true (boolean)", "del_missing=0 (number)"});
  EXPECT_TRUE(has(r.out, "tmp=" + app.tmp_dir() + " (string)")) << r.out;
  EXPECT_TRUE(testsupport::file_exists(outside / "big.bin"));
}

TEST(ShellObjectScript, ProcessesAreListedAndKilled) {
  script_install app;
  no_desktop(app);
  pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  auto r = run_shell(app, "local PID = " + std::to_string(child) + R"(
local mine, target = false, false
for _, p in ipairs(s:GetProcessList()) do
  if p.path:find('mobrevist', 1, true) then mine = true end
  if p.id == PID then target = p.path end
end
show('mine', mine)
show('target', target)
s:TerminateProcess(0, 1)
s:TerminateProcess(-5, 1)
s:TerminateProcess(PID, 3)
)");
  int status = 0;
  pid_t waited = ::waitpid(child, &status, 0);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_lines(r, {"mine=true (boolean)"});
  EXPECT_NE(r.out.find("target=/"), std::string::npos) << r.out;
  ASSERT_EQ(waited, child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

TEST(ShellObjectScript, LaunchesGoThroughTheOpenerAndThePath) {
  script_install app;
  no_desktop(app);
  app.set_env("DISPLAY", ":4242");  // only the stand-in opener sees it
  testsupport::temp_dir bin;
  std::string log = bin / "calls.log";
  // Stand-ins that record their arguments; the opener answers by the file's name.
  testsupport::write_file(bin / "xdg-open", "#!/bin/sh\necho \"xdg-open $*\" >> '" + log +
                                                "'\ncase \"$1\" in *missing*) exit 2;; *broken*) exit 4;; esac\nexit 0\n");
  testsupport::write_file(bin / "update-desktop-database", "#!/bin/sh\necho \"udd $*\" >> '" + log + "'\n");
  testsupport::write_file(bin / "tool", "#!/bin/sh\necho \"tool [$1] [$2] in $(pwd)\" >> '" + log + "'\n");
  for (const char* f : {"xdg-open", "update-desktop-database", "tool"}) ::chmod((bin / f).c_str(), 0755);
  testsupport::make_dirs(app.root() + "/data/applications");
  app.set_env("PATH", bin.path() + ":/usr/bin:/bin");
  auto r = run_shell(app, "local B = '" + bin.path() + R"('
show('open', s:ShellOpen('/tmp/doc.txt'))
show('open_missing', s:ShellOpen('/tmp/missing.txt'))
show('open_broken', count(s:ShellOpen('/tmp/broken.txt')))
s:OpenDir('/tmp/folder')
show('exec_prog', s:ShellExecute(0, 'open', 'tool', 'one "two words"', B, 'SW_SHOWNORMAL'))
show('exec_doc', s:ShellExecute(0, 'open', '/tmp/page.html', '', '', 'SW_SHOW'))
show('exec_none', s:ShellExecute(0, 'open', '/no/such/program/broken', '', '', 'SW_HIDE'))
s:RefreshIcon()
s:MessageBox(0, 'text', 'caption')
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_lines(r, {"open=true (boolean)", "open_missing=true (boolean)", "open_broken=0 (number)",
                   "exec_prog=0 (number)", "exec_doc=0 (number)", "exec_none=1 (number)"});
  // Detached launches may still be writing: wait for every expected line.
  std::string calls;
  for (int i = 0; i < 2000; ++i) {
    calls = testsupport::read_file(log);
    if (calls.find("udd ") != std::string::npos && calls.find("tool [") != std::string::npos &&
        calls.find("/tmp/folder") != std::string::npos)
      break;
    ::usleep(10000);
  }
  EXPECT_NE(calls.find("xdg-open /tmp/doc.txt\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("xdg-open /tmp/folder\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("xdg-open /tmp/page.html\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("tool [one] [two words] in " + bin.path() + "\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("udd " + app.root() + "/data/applications\n"), std::string::npos) << calls;
}

TEST(ShellObjectScript, WithoutADesktopEveryDesktopMethodAnswersAtOnce) {
  script_install app;
  no_desktop(app);
  auto r = run_shell(app, R"(
show('file', #s:FileDialog(true, 'Text|*.txt', 'txt', '', true))
show('folder', s:FolderDialog('Pick', '/tmp'))
show('cursor', count(s:GetCursorPos()))
show('screen', count(s:GetScreenSize()))
show('work', count(s:GetWorkArea()))
show('full', s:IsNowFullScreen())
show('key', s:IsKeyDown(16))
show('keystate', s:GetKeyState(65))
show('async', s:GetAsyncKeyState(65))
show('cursor_hide', count(s:ShowCursor(false)))
show('open', count(s:ShellOpen('/tmp/x.txt')))
show('exec', s:ShellExecute(0, 'open', '/tmp/x.txt', '', '', 'SW_SHOW'))
s:RebootMachine()
print('done')
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  expect_lines(r, {"file=0 (number)", "folder= (string)", "cursor=0 (number)", "screen=0 (number)", "work=0 (number)",
                   "full=false (boolean)", "key=false (boolean)", "keystate=0 (number)", "async=false (boolean)",
                   "cursor_hide=0 (number)", "open=0 (number)", "exec=1 (number)", "done"});
}
