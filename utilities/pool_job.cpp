#include "utilities/pool_job.h"

#include <utility>

#include "host/script_bridge.h"
#include "host/thread_pool.h"

namespace kit::utilities {

namespace {

class pool_job final : public IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
public:
  pool_job(std::function<int32_t()> run, LuaAsynFunctionCallback* callback)
      : run_(std::move(run)), callback_(callback) {
    routine = this;
    completion = this;
    cleanup = this;
  }

  int32_t Run(void*) override { return run_(); }

  void OnDone(IWorkItem* item) override {
    // The callback frees itself once called.
    if (LuaAsynFunctionCallback* callback = std::exchange(callback_, nullptr)) callback->OnDone(item);
    Clean(item);
  }

  // Also reached for a job that never ran or never completed (the pool stopped).
  void Clean(IWorkItem*) override { delete this; }

private:
  ~pool_job() override { delete callback_; }
  std::function<int32_t()> run_;
  LuaAsynFunctionCallback* callback_;
};

} // namespace

bool queue_pool_job(std::function<int32_t()> run, LuaAsynFunctionCallback* callback) {
  auto* job = new pool_job(std::move(run), callback);
  if (CThreadPool::Instance().Post(job) != S_OK) {
    job->Clean(job);
    return false;
  }
  return true;
}

} // namespace kit::utilities
