// The scripts' driver installation: a request queues a task on the driver installer and
// returns its id at once; the installer's exit code goes to the request's completion on
// the UI thread. The script face ("Driver.Manager") is driver_manager_binding.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "device/driver_manager.h"

class CLuaDriverManager : public DriverInstallCallback {
public:
  // (task id, result), on the UI thread; empty: nothing is called.
  using completion = std::function<void(int32_t task_id, int32_t result)>;

  // Ends a running installer and the installer's worker, and drops the completions.
  ~CLuaDriverManager() override;

  // Queues a task; returns the task id, or 0 when there is no installer.
  int32_t Queue(const std::string& archive, const std::string& file_name, int32_t mode, const std::string& extra,
                completion done);
  void CancelAll();

  void OnInstallDone(int32_t task_id, int32_t result) override;

private:
  std::map<int32_t, completion> pending_;
};
