// A host killed with SIGKILL at random moments in the middle of three downloads from a
// rate-limited nginx, started again each time, resuming the unfinished tasks the store
// lists: in the end every file is identical to its source, no ".tmp" is left and the
// store is healthy.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/nginx_fixture.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {

// Queues the downloads a stored task does not cover yet, resumes the unfinished stored
// ones, restarts a failed one after a moment, and quits once every task completed.
const char* const kSoakPackage = R"(
local m = GetObject('DownloadManger.Manager')
local pending = {}
local function quit_when_done()
  if next(pending) == nil then
    print('all done')
    GetObject('Win32Shell.Object'):PostQuitMessage()
  end
end
local function report(id, pos, size, state)
  if state == 5 then
    pending[id] = nil
    quit_when_done()
  elseif state == 4 then
    print('failed', id, pos)
    SetTimer(200, function() m:RestartTask(id) end)
  end
end
m:Init(function(list)
  local known = {}
  for _, t in ipairs(list) do
    known[t.filePath] = true
    if t.taskState ~= 5 then
      pending[t.taskId] = true
      m:AddDatebaseTask(t.taskId, t.url, t.filePos, t.fileSize, t.filePath, t.taskType, t.logo, report)
    end
  end
  for _, name in ipairs(NAMES) do
    local path = DEST .. '/' .. name
    if not known[path] then pending[m:DownLoadFile(BASE .. '/' .. name, path, 1, name, '', report)] = true end
  end
  print('queued')
  quit_when_done()
end)
)";

std::string pattern_file(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// Bytes the next start downloads again: what the ".tmp" files hold beyond the position
// their rows record, for every unfinished task.
long long held_beyond_rows(const std::string& db_path) {
  sqlite3* db = nullptr;
  long long extra = 0;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select file_path, file_pos from task_info_table where task_state <> 5", -1, &st,
                           nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::string tmp = reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) + std::string(".tmp");
        long long pos = sqlite3_column_int64(st, 1);
        std::error_code ec;
        long long size = static_cast<long long>(std::filesystem::file_size(std::filesystem::u8path(tmp), ec));
        if (!ec && size > pos) extra += size - pos;
      }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return extra;
}

std::string integrity(const std::string& path) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "pragma integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return out;
}

} // namespace

TEST(DownloadKill, KilledTenTimesEndsWithIdenticalFilesAndAHealthyStore) {
  testsupport::nginx_server nginx("", "    limit_rate 4m;\n");
  if (!nginx.started()) GTEST_SKIP() << "nginx is not installed";
  const char* names[] = {"one.bin", "two.bin", "three.bin"};
  const size_t size = 12u << 20;
  for (unsigned i = 0; i < 3; ++i) testsupport::write_file(nginx.root() + "/" + names[i], pattern_file(size, i + 1));

  script_install app;
  const std::string dest = app.tmp_dir() + "downloads";
  app.package(kSoakPackage);
  app.write("uipkg/onload.lua", "BASE = '" + nginx.url("") + "'\nDEST = '" +
                                    dest + "'\nNAMES = {'one.bin', 'two.bin', 'three.bin'}\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));

  unsigned seed = std::random_device{}();
  std::printf("kill moments from seed %u\n", seed);
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> moment_ms(50, 500);
  int kills = 0;
  long long twice = 0;
  bool done = false;
  for (int run = 0; run < 40 && !done; ++run) {
    auto host = app.start();
    ASSERT_TRUE(host->wait_for_output("queued", 30000)) << host->out() << host->err();
    if (kills < 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(gen)));  // the kill moment, not a readiness wait
      host->kill_now();
      auto r = host->wait(30000);
      if (r.out.find("all done") != std::string::npos) {
        done = true;
      } else {
        ++kills;
        twice += held_beyond_rows(app.dir() + "Profiles/Download.db");
      }
      continue;
    }
    auto r = host->wait(90000);
    ASSERT_FALSE(r.timed_out) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 0) << r.err;
    done = r.out.find("all done") != std::string::npos;
  }
  ASSERT_TRUE(done);
  EXPECT_EQ(kills, 10);
  for (unsigned i = 0; i < 3; ++i) {
    std::string path = dest + "/" + names[i];
    EXPECT_TRUE(testsupport::read_file(path) == pattern_file(size, i + 1)) << path;
    EXPECT_FALSE(testsupport::file_exists(path + ".tmp")) << path;
  }
  EXPECT_EQ(integrity(app.dir() + "Profiles/Download.db"), "ok");
  std::printf("kills %d, bytes downloaded twice %lld of %lld\n", kills, twice, 3LL * static_cast<long long>(size));
}
