// "Driver.Manager": the scripts' driver installation. AddInstallDriver queues a task on
// the driver installer and returns its id at once; the installer's exit code goes to the
// script function given with the request, on the UI thread.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "device/driver_manager.h"
#include "engine/function_ref.h"
#include "engine/ui_engine.h"

class CLuaDriverManager : public DriverInstallCallback {
public:
  static constexpr const char* kGlobalName = "Driver.Manager";
  static constexpr const char* kClassName = "Driver.Manager.Class";
  static void Register(UIS_Env* env);
  // Ends a running installer and the installer's worker, and gives back the functions.
  ~CLuaDriverManager() override;

  // Queues a task whose result goes to the function at fn_index (when it is one); returns
  // the task id, or 0 when there is no installer.
  int32_t Queue(const std::string& archive, const std::string& file_name, int32_t mode, const std::string& extra,
                lua_State* L, int fn_index);
  void CancelAll();

  void OnInstallDone(int32_t task_id, int32_t result) override;

private:
  std::map<int32_t, kit::script::function_ref> pending_;  // empty function: none was given
};
