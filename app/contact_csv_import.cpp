#include "app/contact_csv_import.h"

#include <optional>
#include <utility>
#include <vector>

#include "app/app_help_backup.h"
#include "backup/backup_functions.h"
#include "host/script_bridge.h"
#include "host/thread_pool.h"

namespace kit::app {

namespace {
class import_job final : public IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
public:
  import_job(std::string path, kit::engine::function_ref done) : path_(std::move(path)), done_(std::move(done)) {
    routine = this;
    completion = this;
    cleanup = this;
  }

  int32_t Run(void*) override {
    contacts_ = backup::read_contacts_csv(path_);
    return contacts_ ? 0 : 1;
  }

  void OnDone(IWorkItem* item) override {
    kit::script::call_event(done_, [this](lua_State* L) {
      if (!contacts_) return 0;
      push_contact_list(L, *contacts_);
      return 1;
    });
    Clean(item);
  }

  // Also reached for a job that never ran or never completed (the pool stopped).
  void Clean(IWorkItem*) override { delete this; }

private:
  ~import_job() override = default;
  std::string path_;
  kit::engine::function_ref done_;
  std::optional<std::vector<backup::contact_record>> contacts_;
};
} // namespace

bool queue_contact_import(const std::string& path, kit::engine::function_ref done) {
  auto* job = new import_job(path, std::move(done));
  if (CThreadPool::Instance().Post(job) != S_OK) {
    job->Clean(job);
    return false;
  }
  return true;
}

} // namespace kit::app
