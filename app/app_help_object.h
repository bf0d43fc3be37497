// "AppHelp.Object": how the program was started, the command lines of later starts, the
// two-stage exit notification, and a few path and text utilities for the scripts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ui_engine.h"
#include "host/command_switches.h"
#include "host/lua_event.h"
#include "host/message_handler.h"

class CLuaAppeHelp : public TimerHandler {
public:
  static constexpr const char* kGlobalName = "AppHelp.Object";
  static constexpr const char* kClassName = "AppHelp.Class";
  static void Register(UIS_Env* env);

  CLuaAppeHelp();
  // Stops the poll and gives back every listener's script function.
  ~CLuaAppeHelp() override;
  // Polls the shared command block every second: each command line a later start handed
  // over reaches every command listener once, as a table of its switches.
  void OnTimer(uint32_t argument) override;

  LuaEventContainer pre_exit_listeners;
  LuaEventContainer exit_listeners;
  LuaEventContainer command_listeners;
  int32_t start_type = 0;  // 0 until the start command was parsed
  kit::host::switch_map start_switches;

  // Takes the command lines out of the shared block and empties it.
  static std::vector<std::u16string> TakeHandedOverCommandLines();

private:
  uint32_t timer_id_ = 0;
};
