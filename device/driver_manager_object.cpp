#include "device/driver_manager_object.h"

#include "common/singleton_ex.h"

using kit::design_pattern::singleton_ex;

namespace {
CDriverManager* installer() { return singleton_ex<CDriverManager>::peek(); }
} // namespace

int32_t CLuaDriverManager::Queue(const std::string& archive, const std::string& file_name, int32_t mode,
                                 const std::string& extra, completion done) {
  CDriverManager* m = installer();
  if (!m) return 0;
  // The completion arrives on this (the UI) thread later, so the entry is in place first.
  int32_t id = m->AddTask(archive, file_name, mode, extra, this);
  pending_[id] = std::move(done);
  return id;
}

void CLuaDriverManager::CancelAll() {
  std::map<int32_t, completion> dropped;
  dropped.swap(pending_);
  if (CDriverManager* m = installer()) {
    for (const auto& [id, fn] : dropped) m->RemoveTask(id);
  }
}

CLuaDriverManager::~CLuaDriverManager() {
  // The installer outlives this object: no task may still name it, and no installer
  // started for the scripts may outlive the scripts.
  if (CDriverManager* m = installer()) m->UnInit();
  pending_.clear();
}

void CLuaDriverManager::OnInstallDone(int32_t task_id, int32_t result) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;  // cancelled
  // Out of the table before the call: the function may cancel or queue requests.
  completion done = std::move(it->second);
  pending_.erase(it);
  if (done) done(task_id, result);
}
