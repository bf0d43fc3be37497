// "AndroidCon.Manager": the scripts' debug-bridge commands. Each method builds a fixed
// command line, queues it on the debug-bridge runner and returns the task id at once;
// the command's output is turned into the method's result and handed to the script
// function given with the request, on the UI thread.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "device/android_connect_manager.h"
#include "engine/ui_engine.h"
#include "engine/function_ref.h"

class CLuaAndroidConnectManager : public AndroidConnectCallback {
public:
  static constexpr const char* kGlobalName = "AndroidCon.Manager";
  static constexpr const char* kClassName = "AndroidCon.Manager.Class";
  static void Register(UIS_Env* env);
  // Cancels the commands still pending for the scripts and gives back their functions.
  ~CLuaAndroidConnectManager() override;

  enum class ResultKind { RawOutput, DeviceList, CompletionOnly, InstallResult, ErrorCheck, BroadcastCheck };

  // Queues a command whose result goes to the function at fn_index (when it is one);
  // returns the task id, or 0 when there is no runner.
  int32_t Queue(const std::string& command_line, int32_t priority, int32_t timeout_ms, ResultKind kind,
                lua_State* L, int fn_index);
  void Cancel(int32_t task_id);
  void CancelAll();
  void UnInit();

  void OnCommandDone(int32_t task_id, const std::u16string& output) override;

private:
  struct PendingCommand {
    ResultKind kind;
    kit::script::function_ref function;  // empty when the request carried none
  };
  void ReleaseAll();
  std::map<int32_t, PendingCommand> pending_;
};
