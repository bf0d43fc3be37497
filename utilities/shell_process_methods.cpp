// Win32Shell.Object: processes and the machine.
#include "host/script_bridge.h"
#include "platform/launch.h"
#include "platform/desktop_session.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {
using platform::has_display;
using platform::note_no_desktop;
using platform::request_reboot;


int GetProcessList(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::vector<kit::platform::process_entry> processes = kit::platform::list_processes();
  lua_createtable(L, static_cast<int>(processes.size()), 0);
  int n = 0;
  for (const auto& p : processes) {
    lua_createtable(L, 0, 2);
    kit::script::push_string(L, p.path);
    lua_setfield(L, -2, "path");
    lua_pushnumber(L, p.id);
    lua_setfield(L, -2, "id");
    lua_rawseti(L, -2, ++n);
  }
  return 1;
}

// Kills the process. The exit code is accepted and cannot be given to the process here:
// a killed process ends with SIGKILL.
int TerminateProcess(lua_State* L) {
  if (!is_shell(L)) return 0;
  kit::platform::kill_process(kit::engine::check_int64(L, 2));
  return 0;
}

int RebootMachine(lua_State* L) {
  if (!is_shell(L)) return 0;
  request_reboot();
  return 0;
}

} // namespace kit::utilities::shell
