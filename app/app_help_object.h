// How the program was started (the script face, "AppHelp.Object", is app_help_binding.cpp), the command lines of later starts, the
// two-stage exit notification, and a few path and text utilities for the scripts.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/command_switches.h"
#include "host/lua_event.h"
#include "host/message_handler.h"

class CLuaAppeHelp : public TimerHandler {
public:

  CLuaAppeHelp();
  // Stops the poll and gives back every listener's script function.
  ~CLuaAppeHelp() override;
  // Polls the shared command block every second: each command line a later start handed
  // over reaches every command listener once, as a table of its switches.
  void OnTimer(uint32_t argument) override;

  LuaEventContainer pre_exit_listeners;
  LuaEventContainer exit_listeners;
  LuaEventContainer command_listeners;
  // Called with the switches of each command line a later start handed over.
  std::function<void(const kit::host::switch_map&)> command_handler;
  int32_t start_type = 0;  // 0 until the start command was parsed
  kit::host::switch_map start_switches;

  // Takes the command lines out of the shared block and empties it.
  static std::vector<std::u16string> TakeHandedOverCommandLines();

private:
  uint32_t timer_id_ = 0;
};
