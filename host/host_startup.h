// The process skeleton: start-up, the message loop and shutdown, all on the UI thread.
// The executable supplies what lies above the host layer: the managers created before the
// engine starts and the registration of the script objects.
#pragma once
#include <functional>
#include <vector>

#include "engine/ui_engine.h"

class CAppPaths;
class CMessageWindow;

namespace kit::host {

struct singleton_step {
  std::function<void()> acquire;
  std::function<void()> release;
};

struct host_config {
  // Acquired in order after the message window, released in reverse order at shutdown.
  std::vector<singleton_step> managers;
  // Run in order at shutdown once the message loop has ended, before the managers are
  // released and the message window is destroyed: every step stops what owns a thread, a
  // child process or a socket, so nothing of it is left when the window and the loop go.
  std::vector<std::function<void()>> shutdown_steps;
  // Registers every script object and class, in their fixed order.
  std::function<void(UIS_Env*)> register_objects;
  // Runs once after the package has loaded; its result is not examined.
  std::function<void()> update_check;
};

// Returns true when the message loop must run, false when the process must end at once
// (a later start that handed its command line over to the running instance).
bool startup(const host_config& config);
void run_message_loop();
void shutdown(const host_config& config);

// Names of the start-up scripts, in the order they run (file in luacode/, chunk name).
struct startup_script {
  const char* file;
  const char* chunk;
};
const std::vector<startup_script>& startup_scripts();

} // namespace kit::host

// The process-wide singletons the host owns; null outside start-up..shutdown, except that
// GetAppPaths() also makes the paths object when asked before start-up (that reference is
// the host's own, given back at shutdown).
CMessageWindow* GetMessageWindow();
CAppPaths* GetAppPaths();
