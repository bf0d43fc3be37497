// The work-item pool: items run one at a time in posting order and complete on the UI
// thread in the same order.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "host/script_bridge.h"
#include "host/thread_pool.h"
#include "platform/ui_loop.h"
#include "support/lua_globals.h"

namespace {
using kit::platform::ui_loop;

struct journal {
  std::vector<std::string> events;  // touched on the UI thread only
  std::vector<std::thread::id> routine_threads;
  int cleaned = 0;
};

// Routine, completion and clean-up in one object, the way the pool's users build items.
struct recording_item : IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
  recording_item(journal& j, std::string name, std::shared_future<void> gate = {})
      : j(j), name(std::move(name)), gate(std::move(gate)) {
    routine = this;
    completion = this;
    cleanup = this;
  }
  int32_t Run(void*) override {
    if (gate.valid()) gate.wait();
    j.routine_threads.push_back(std::this_thread::get_id());
    return static_cast<int32_t>(name.size());
  }
  void OnDone(IWorkItem* item) override {
    EXPECT_TRUE(ui_loop::instance().on_ui_thread());
    j.events.push_back(name + "=" + std::to_string(item->result));
    if (on_done) on_done();
    item->cleanup->Clean(item);
  }
  void Clean(IWorkItem*) override {
    ++j.cleaned;
    delete this;
  }
  journal& j;
  std::string name;
  std::shared_future<void> gate;
  std::function<void()> on_done;
};

void run_ui(const std::function<void()>& first) {
  ui_loop::instance().restart();
  ui_loop::instance().post(first);
  ui_loop::instance().run();
}
} // namespace

TEST(ThreadPool, CompletesInPostingOrderOnTheUiThreadWithoutBlockingThePoster) {
  journal j;
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  run_ui([&] {
    auto& pool = CThreadPool::Instance();
    // The first routine waits until the UI thread has posted everything: a post that
    // waited for the worker would never get there.
    ASSERT_EQ(pool.Post(new recording_item(j, "a", gate)), S_OK);
    ASSERT_EQ(pool.Post(new recording_item(j, "bb")), S_OK);
    auto* no_routine = new recording_item(j, "ccc");
    no_routine->routine = nullptr;  // still completed, with result 0
    ASSERT_EQ(pool.Post(no_routine), S_OK);
    auto* last = new recording_item(j, "dddd");
    last->on_done = [] { ui_loop::instance().stop(); };
    ASSERT_EQ(pool.Post(last), S_OK);
    release.set_value();
  });
  EXPECT_EQ(j.events, (std::vector<std::string>{"a=1", "bb=2", "ccc=0", "dddd=4"}));
  EXPECT_EQ(j.cleaned, 4);
  ASSERT_EQ(j.routine_threads.size(), 3u);
  EXPECT_EQ(j.routine_threads[0], j.routine_threads[2]);  // one worker
  EXPECT_NE(j.routine_threads[0], std::this_thread::get_id());
}

TEST(ThreadPool, StopCleansUpQueuedItemsAndALaterPostStartsAgain) {
  journal j;
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  auto& pool = CThreadPool::Instance();
  ASSERT_EQ(pool.Post(new recording_item(j, "running", gate)), S_OK);
  ASSERT_EQ(pool.Post(new recording_item(j, "queued")), S_OK);
  std::thread releaser([&] { release.set_value(); });
  pool.Stop();  // waits for a running item; what is still queued is cleaned up unrun
  releaser.join();

  // Completions posted before the stop still arrive; then a new worker serves new items.
  // Every item is either completed or cleaned up unrun: none is lost or freed twice.
  run_ui([&] {
    auto* again = new recording_item(j, "again");
    again->on_done = [] { ui_loop::instance().stop(); };
    ASSERT_EQ(pool.Post(again), S_OK);
  });
  ASSERT_FALSE(j.events.empty());
  EXPECT_EQ(j.events.back(), "again=5");
  EXPECT_EQ(j.cleaned, 3);
}

TEST(ThreadPool, ItemWithoutCompletionIsCleanedUpByThePool) {
  journal j;
  run_ui([&] {
    auto* quiet = new recording_item(j, "quiet");
    quiet->completion = nullptr;
    ASSERT_EQ(CThreadPool::Instance().Post(quiet), S_OK);
    auto* last = new recording_item(j, "last");
    last->on_done = [] { ui_loop::instance().stop(); };
    ASSERT_EQ(CThreadPool::Instance().Post(last), S_OK);
  });
  EXPECT_EQ(j.events, (std::vector<std::string>{"last=4"}));
  EXPECT_EQ(j.cleaned, 2);
}

namespace {
// The way the pool's users wire a script callback: the item's completion hands the result
// to the LuaAsynFunctionCallback, then cleans up.
struct script_item : IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
  explicit script_item(LuaAsynFunctionCallback* callback) : callback(callback) {
    routine = this;
    completion = this;
    cleanup = this;
  }
  int32_t Run(void*) override { return -7; }
  void OnDone(IWorkItem* item) override {
    if (callback) callback->OnDone(item);  // frees itself
    callback = nullptr;
    ui_loop::instance().stop();
    item->cleanup->Clean(item);
  }
  void Clean(IWorkItem*) override { delete this; }
  LuaAsynFunctionCallback* callback;
};
} // namespace

TEST(ThreadPool, ScriptCallbackReceivesTheRoutineResultOnTheUiThread) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  luaL_dostring(L, "got = nil; function done(r) got = r end");
  lua_getglobal(L, "done");
  LuaAsynFunctionCallback* callback = LuaAsynFunctionCallback::Create(L, -1);
  lua_pop(L, 1);
  ASSERT_NE(callback, nullptr);
  lua_pushnumber(L, 1);
  EXPECT_EQ(LuaAsynFunctionCallback::Create(L, -1), nullptr);  // not a function
  lua_pop(L, 1);

  run_ui([&] { ASSERT_EQ(CThreadPool::Instance().Post(new script_item(callback)), S_OK); });
  lua_getglobal(L, "got");
  EXPECT_EQ(lua_tonumber(L, -1), -7);
  lua_pop(L, 1);
  EXPECT_EQ(lua_gettop(L), 0);
  lua_close(L);
}

TEST(ThreadPool, FinishedItemsWhoseCompletionCanNoLongerRunAreCleanedUpByStop) {
  // The loop has ended (shutdown): a finished item's completion is queued behind it and
  // would never run. Stop frees it without calling the completion; a loop run later
  // finds nothing left to complete.
  journal j;
  ui_loop::instance().stop();
  auto& pool = CThreadPool::Instance();
  struct signalling_item : recording_item {
    using recording_item::recording_item;
    int32_t Run(void* data) override {
      started.set_value();
      return recording_item::Run(data);
    }
    std::promise<void> started;
  };
  auto* item = new signalling_item(j, "late");
  std::future<void> started = item->started.get_future();
  ASSERT_EQ(pool.Post(item), S_OK);
  started.wait();
  pool.Stop();  // joins the worker once the item's completion is queued
  EXPECT_EQ(j.cleaned, 1);
  EXPECT_TRUE(j.events.empty());
  run_ui([] { ui_loop::instance().post([] { ui_loop::instance().stop(); }); });
  EXPECT_TRUE(j.events.empty());
  EXPECT_EQ(j.cleaned, 1);
}

// A function handed over inside a coroutine is kept in the main state: the coroutine may be
// collected long before the work completes.
TEST(ThreadPool, ScriptCallbackTakenInACollectedCoroutineStillRuns) {
  lua_State* L = testsupport::lua_state();
  int top = lua_gettop(L);
  lua_State* co = lua_newthread(L);
  ASSERT_EQ(luaL_dostring(co, "pool_result = nil; return function(r) pool_result = r end"), 0);
  LuaAsynFunctionCallback* callback = LuaAsynFunctionCallback::Create(co, -1);
  ASSERT_NE(callback, nullptr);
  lua_settop(L, top);  // drops the coroutine
  for (int i = 0; i < 4; ++i) lua_gc(L, LUA_GCCOLLECT, 0);

  run_ui([&] { ASSERT_EQ(CThreadPool::Instance().Post(new script_item(callback)), S_OK); });
  EXPECT_EQ(testsupport::global_string("pool_result"), "-7");
  EXPECT_EQ(lua_gettop(L), top);
}
