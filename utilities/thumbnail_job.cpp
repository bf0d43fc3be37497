#include "utilities/thumbnail_job.h"

#include <utility>

#include "host/script_bridge.h"
#include "host/thread_pool.h"
#include "platform/file.h"
#include "platform/file_type_icons.h"

namespace kit::utilities {

namespace {

class thumbnail_job final : public IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
public:
  thumbnail_job(std::string image, std::string out, int size, LuaAsynFunctionCallback* callback)
      : image_(std::move(image)), out_(std::move(out)), size_(size), callback_(callback) {
    routine = this;
    completion = this;
    cleanup = this;
  }

  int32_t Run(void*) override { return write_thumbnail(image_, out_, size_) ? 0 : kThumbnailFailed; }

  void OnDone(IWorkItem* item) override {
    if (LuaAsynFunctionCallback* callback = std::exchange(callback_, nullptr)) callback->OnDone(item);
    Clean(item);
  }

  void Clean(IWorkItem*) override { delete this; }

private:
  ~thumbnail_job() override { delete callback_; }
  std::string image_, out_;
  int size_;
  LuaAsynFunctionCallback* callback_;
};

} // namespace

bool write_thumbnail(const std::string& image, const std::string& out, int size) {
  std::string bytes, format;
  if (!kit::platform::icons::encode_thumbnail(image, size, bytes, format)) return false;
  return kit::platform::replace_file(out, bytes);
}

bool queue_thumbnail(const std::string& image, const std::string& out, int size, LuaAsynFunctionCallback* callback) {
  auto* job = new thumbnail_job(image, out, size, callback);
  if (CThreadPool::Instance().Post(job) != S_OK) {
    job->Clean(job);
    return false;
  }
  return true;
}

} // namespace kit::utilities
