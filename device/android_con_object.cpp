#include "device/android_con_object.h"

#include "common/singleton_ex.h"

using kit::design_pattern::singleton_ex;

namespace {
CAndroidConnectManager* runner() { return singleton_ex<CAndroidConnectManager>::peek(); }
} // namespace

int32_t CLuaAndroidConnectManager::Queue(const std::string& command_line, int32_t priority, int32_t timeout_ms,
                                         completion done) {
  CAndroidConnectManager* r = runner();
  if (!r) return 0;
  // The completion arrives on this (the UI) thread later, so the entry is in place first.
  int32_t id = r->AddTask(command_line, priority, timeout_ms, this);
  pending_[id] = std::move(done);
  return id;
}

void CLuaAndroidConnectManager::Cancel(int32_t task_id) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;
  if (CAndroidConnectManager* r = runner()) r->Cancel(task_id);
  pending_.erase(it);  // releases its function
}

void CLuaAndroidConnectManager::CancelAll() {
  if (CAndroidConnectManager* r = runner()) r->CancelAll();
  ReleaseAll();
}

void CLuaAndroidConnectManager::UnInit() {
  if (CAndroidConnectManager* r = runner()) r->UnInit();
  ReleaseAll();
}

CLuaAndroidConnectManager::~CLuaAndroidConnectManager() {
  // The runner outlives this object: none of its tasks may still name it as the callback.
  if (CAndroidConnectManager* r = runner()) {
    for (const auto& [id, p] : pending_) r->Cancel(id);
  }
  ReleaseAll();
}

void CLuaAndroidConnectManager::ReleaseAll() {
  std::map<int32_t, completion> dropped;
  dropped.swap(pending_);  // their functions are released with it
}

void CLuaAndroidConnectManager::OnCommandDone(int32_t task_id, const std::u16string& output) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;  // cancelled
  // Out of the table before the call: the function may cancel or queue requests.
  completion done = std::move(it->second);
  pending_.erase(it);
  if (done) done(task_id, output);
}
