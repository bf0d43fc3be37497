// DownloadManger.Manager through the real executable: the stored-task list handed to Init,
// downloads from a private nginx reported to the script and recorded in Download.db.
#include <string>

#include <gtest/gtest.h>

#include "common/text_convert.h"
#include "net/task_store.h"
#include "support/nginx_fixture.h"
#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()";
} // namespace

TEST(DownloadManagerScript, InitListsStoredTasksWithWholePositions) {
  script_install app;
  testsupport::make_dirs(app.dir() + "Profiles");
  {
    CSqliteManager store;
    ASSERT_TRUE(store.open_task_store_at(app.dir() + "Profiles/Download.db"));
    task_record t;
    t.task_id = 4;
    t.task_type = 2;
    t.task_state = 3;
    t.file_pos = INT64_C(5000000001);
    t.file_size = INT64_C(9007199254740992);  // 2^53: script numbers are exact up to here
    t.file_path = "/x/big.iso";
    t.show_name = "big \u00e9";
    t.download_url = "http://127.0.0.1:1/big.iso";
    t.logoUrl = "logo.png";
    ASSERT_TRUE(store.insert_task(t));
  }
  app.package(R"(
    local m = GetObject('DownloadManger.Manager')
    m:Init()
    m:Init(function(list)
      print('tasks', #list)
      local t = list[1]
      print(string.format('task %d %d %d %.0f %.0f %s|%s|%s|%s', t.taskId, t.taskType, t.taskState, t.filePos,
        t.fileSize, t.showName, t.filePath, t.url, t.logo))
      )" + std::string(kQuit) + R"(
    end)
    m:Init(function() print('called twice') end)
  )");
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("tasks\t1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("task 4 2 3 5000000001 9007199254740992 big \u00e9|/x/big.iso|http://127.0.0.1:1/big.iso|logo.png\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("called twice"), std::string::npos);
}
