// The scripts' debug-bridge commands: each request queues a command line on the
// debug-bridge runner and returns the task id at once; the command's output goes to the
// request's completion on the UI thread. The script face ("AndroidCon.Manager") is
// android_con_binding.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "device/android_connect_manager.h"

class CLuaAndroidConnectManager : public AndroidConnectCallback {
public:
  // (task id, output), on the UI thread; empty: nothing is called.
  using completion = std::function<void(int32_t task_id, const std::u16string& output)>;

  // Cancels the commands still pending and drops their completions.
  ~CLuaAndroidConnectManager() override;

  // Queues a command; returns the task id, or 0 when there is no runner.
  int32_t Queue(const std::string& command_line, int32_t priority, int32_t timeout_ms, completion done);
  void Cancel(int32_t task_id);
  void CancelAll();
  void UnInit();

  void OnCommandDone(int32_t task_id, const std::u16string& output) override;

private:
  void ReleaseAll();
  std::map<int32_t, completion> pending_;
};
