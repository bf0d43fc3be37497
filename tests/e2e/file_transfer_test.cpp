// A script pushes files of every kind to agent-sim and pulls them back, together with an
// icon, a compressed picture and a video thumbnail, through the real executable.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

std::string some_bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 9)) & 0xff);
  return s;
}

// agent-sim with its file storage in a folder of the test.
class agent_process {
public:
  explicit agent_process(const std::string& storage, const std::string& misbehave = "") {
    std::vector<std::pair<std::string, std::string>> env = {{"AGENT_SIM_STORAGE", storage},
                                                            {"AGENT_SIM_TRANSFER", misbehave}};
    child_ = std::make_unique<testsupport::child_process>(std::vector<std::string>{testsupport::linux_bin_dir() + "/agent-sim"},
                                                          env, "", storage + ".agent");
  }
  bool ready() { return child_->started() && child_->wait_for_output("agent-sim ready"); }
  ~agent_process() { child_->kill_now(); }

private:
  std::unique_ptr<testsupport::child_process> child_;
};

constexpr const char* kScript = R"LUA(
local send = GetObject('SendFile.Manager')
local get = GetObject('GetFile.Manager')
local shell = GetObject('Win32Shell.Object')
local src, back = SRC, BACK
local function quit(why) print(why) shell:PostQuitMessage() end
SetTimer(30000, function() quit('timed out') end)

local pushes = {
  {'SendApp', '/sdcard/Download/app.apk', 'app.apk'},
  {'SendMusicFile', '/sdcard/Music/歌 1.mp3', 'song.mp3'},
  {'SendPhotoFile', '/sdcard/DCIM/photo.jpg', 'photo.jpg'},
  {'SendVideoFile', '/sdcard/Movies/clip.mp4', 'clip.mp4'},
  {'SendCommonFile', '/sdcard/Documents/empty.txt', 'empty.txt'},
  {'SendCommonFile', '../../outside.txt', 'photo.jpg'},
}
local pulls = {
  {'GetFileTask', '/sdcard/Download/app.apk', 'files/app.apk'},
  {'GetFileTask', '/sdcard/Music/歌 1.mp3', 'files/song.mp3'},
  {'GetFileTask', '/sdcard/DCIM/photo.jpg', 'files/photo.jpg'},
  {'GetFileTask', '/sdcard/Movies/clip.mp4', 'files/clip.mp4'},
  {'GetFileTask', '/sdcard/Documents/empty.txt', 'files/empty.txt'},
  {'GetIconTask', 'com.example.chat', 'icons/chat.png'},
  {'GetCompressPic', '/sdcard/DCIM/Camera/IMG_20250101_0000.jpg', 'small/pic.jpg'},
  {'GetVideoShot', '/sdcard/DCIM/Camera/Beach trip 2.mp4', 'shots/beach.jpg'},
}

local function start_pulls()
  local left = #pulls
  for _, p in ipairs(pulls) do
    local got = 0
    get[p[1]](get, p[2], back .. p[3], function(id, status, path, count)
      if status == 1 then
        got = got + count
      elseif status == 5 and got == count then
        print('pulled ' .. p[3] .. ' ' .. count)
        left = left - 1
        if left == 0 then quit('all done') end
      else
        quit('pull failed ' .. p[3] .. ' ' .. status)
      end
    end)
  end
end

send:Init()
get:Init()
local left = #pushes
for _, p in ipairs(pushes) do
  local id = send[p[1]](send, p[2], src .. p[3], function(id, status, bytes, path)
    -- The push out of the phone's storage is read and refused, not acknowledged.
    local refused = status == 1004 and p[2] == '../../outside.txt'
    if status == 5 or refused then
      print((refused and 'refused ' or 'pushed ') .. id .. ' ' .. path)
      left = left - 1
      if left == 0 then start_pulls() end
    elseif status ~= 1 then
      quit('push failed ' .. id .. ' ' .. status)
    end
  end)
end
)LUA";

TEST(FileTransfer, ScriptPushesEveryKindAndPullsItAllBackByteIdentical) {
  temp_dir work;
  std::string storage = work / "phone";
  agent_process agent(storage);
  ASSERT_TRUE(agent.ready());

  std::map<std::string, std::string> files = {{"app.apk", some_bytes(1300000, 1)},
                                             {"song.mp3", some_bytes(700001, 2)},
                                             {"photo.jpg", some_bytes(40000, 3)},
                                             {"clip.mp4", some_bytes(2100000, 4)},
                                             {"empty.txt", ""}};
  for (const auto& [name, bytes] : files) write_file(work / ("src/" + name), bytes);

  script_install app;
  app.package("SRC = '" + work / "src/" + "'\nBACK = '" + work / "back/" + "'\n" + kScript);
  auto r = app.run({}, "", 60000);
  ASSERT_NE(r.out.find("all done"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;

  // On the phone, every push landed where it was sent, inside the storage only.
  EXPECT_TRUE(read_file(storage + "/sdcard/Download/app.apk") == files["app.apk"]);
  EXPECT_TRUE(read_file(storage + "/sdcard/Music/歌 1.mp3") == files["song.mp3"]);
  EXPECT_TRUE(read_file(storage + "/sdcard/Movies/clip.mp4") == files["clip.mp4"]);
  EXPECT_FALSE(testsupport::file_exists(work / "outside.txt"));
  EXPECT_FALSE(testsupport::file_exists(storage + "/../outside.txt"));

  // Back on the PC, byte for byte.
  EXPECT_TRUE(read_file(work / "back/files/app.apk") == files["app.apk"]);
  EXPECT_TRUE(read_file(work / "back/files/song.mp3") == files["song.mp3"]);
  EXPECT_TRUE(read_file(work / "back/files/photo.jpg") == files["photo.jpg"]);
  EXPECT_TRUE(read_file(work / "back/files/clip.mp4") == files["clip.mp4"]);
  EXPECT_TRUE(testsupport::file_exists(work / "back/files/empty.txt"));
  EXPECT_EQ(read_file(work / "back/files/empty.txt"), "");
  EXPECT_EQ(read_file(work / "back/icons/chat.png").substr(1, 3), "PNG");
  EXPECT_EQ(read_file(work / "back/small/pic.jpg").substr(0, 2), "\xff\xd8");
  EXPECT_EQ(read_file(work / "back/shots/beach.jpg").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST(FileTransfer, AgentThatClosesMidFileFailsThePullAndLeavesNoPartialFile) {
  temp_dir work;
  std::string storage = work / "phone";
  write_file(storage + "/sdcard/big.bin", some_bytes(3000000, 9));
  agent_process agent(storage, "close-mid-file");
  ASSERT_TRUE(agent.ready());
  script_install app;
  app.package("local back = '" + work / "back.bin" + R"LUA('
local shell = GetObject('Win32Shell.Object')
SetTimer(30000, function() print('timed out') shell:PostQuitMessage() end)
local get = GetObject('GetFile.Manager')
get:Init()
get:GetFileTask('/sdcard/big.bin', back, function(id, status, path, count)
  if status ~= 1 then print('status ' .. status) shell:PostQuitMessage() end
end)
)LUA");
  auto r = app.run({}, "", 60000);
  EXPECT_NE(r.out.find("status 6"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(testsupport::file_exists(work / "back.bin"));
}

} // namespace

namespace {

TEST(FileTransfer, ScriptCancelsSlowTransfersMidwayAndTheQueuesGoOn) {
  temp_dir work;
  std::string storage = work / "phone";
  write_file(storage + "/sdcard/big.bin", some_bytes(3000000, 5));
  write_file(work / "push.bin", some_bytes(3000000, 6));
  write_file(work / "small.bin", "small");
  write_file(storage + "/sdcard/kept.bin", "kept");
  agent_process agent(storage, "slow");
  ASSERT_TRUE(agent.ready());
  script_install app;
  app.package("local dir = '" + work.path() + R"LUA('
local shell = GetObject('Win32Shell.Object')
SetTimer(60000, function() print('timed out') shell:PostQuitMessage() end)
local send, get = GetObject('SendFile.Manager'), GetObject('GetFile.Manager')
send:Init()
get:Init()
local ended = 0
local function over(what)
  print(what)
  ended = ended + 1
  if ended == 4 then shell:PostQuitMessage() end
end
local push
push = send:SendCommonFile('/sdcard/push.bin', dir .. '/push.bin', function(id, status)
  if status == 1 then send:CancleTask(push) else over('push ' .. status) end
end)
send:SendCommonFile('/sdcard/small.bin', dir .. '/small.bin', function(id, status)
  if status ~= 1 then over('next push ' .. status) end
end)
local pull
pull = get:GetFileTask('/sdcard/big.bin', dir .. '/big.bin', function(id, status, path, count)
  if status == 1 then get:CancleTask(pull) else over('pull ' .. status) end
end)
get:GetFileTask('/sdcard/kept.bin', dir .. '/kept-back.bin', function(id, status, path, count)
  if status ~= 1 then over('next pull ' .. status) end
end)
)LUA");
  auto r = app.run({}, "", 90000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {"push 3", "next push 5", "pull 3", "next pull 5"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
  EXPECT_FALSE(testsupport::file_exists(work / "big.bin"));
  EXPECT_EQ(read_file(work / "kept-back.bin"), "kept");
  EXPECT_EQ(read_file(storage + "/sdcard/small.bin"), "small");
}

} // namespace
