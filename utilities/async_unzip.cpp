#include "utilities/async_unzip.h"

#include <atomic>
#include <utility>

#include "host/script_bridge.h"
#include "host/thread_pool.h"
#include "archive/extract_archive.h"

namespace kit::utilities {

namespace {
std::atomic<uint32_t> g_last_job{0};

class unzip_job final : public IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
public:
  unzip_job(std::string archive, std::string destination, LuaAsynFunctionCallback* callback)
      : archive_(std::move(archive)), destination_(std::move(destination)), callback_(callback) {
    routine = this;
    completion = this;
    cleanup = this;
  }

  int32_t Run(void*) override { return kit::archive::extract_archive(archive_, destination_, {}) ? 0 : kUnzipFailed; }

  void OnDone(IWorkItem* item) override {
    // The callback frees itself once called.
    if (LuaAsynFunctionCallback* callback = std::exchange(callback_, nullptr)) callback->OnDone(item);
    Clean(item);
  }

  // Also reached for a job that never ran or never completed (the pool stopped).
  void Clean(IWorkItem*) override { delete this; }

private:
  ~unzip_job() override { delete callback_; }
  std::string archive_;
  std::string destination_;
  LuaAsynFunctionCallback* callback_;
};
} // namespace

uint32_t queue_unzip(const std::string& archive, const std::string& destination, LuaAsynFunctionCallback* callback) {
  uint32_t number = ++g_last_job;
  auto* job = new unzip_job(archive, destination, callback);
  if (CThreadPool::Instance().Post(job) != S_OK) {
    job->Clean(job);
    return 0;
  }
  return number;
}

uint32_t last_unzip_job() { return g_last_job.load(); }

} // namespace kit::utilities
