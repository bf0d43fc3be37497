// The statuses scripts receive for the tasks of every manager (pushes, pulls, downloads,
// debug-bridge commands): one vocabulary, with the failure codes of each kind of task.
#pragma once
#include <cstdint>

namespace kit::host {

enum task_status : int32_t {
  kTaskWaiting = 0,            // queued, not started
  kTaskRunning = 1,            // running; with pushes and pulls: a piece was moved
  kTaskStopped = 3,            // cancelled or stopped by request
  kTaskFailed = 4,             // failed (debug-bridge commands, downloads)
  kTaskDone = 5,               // finished
  kTaskConnectionFailed = 6,   // the connection to the phone failed (pulls)
  // Pushes to the phone.
  kPushOpenFailed = 1000,      // the source file could not be opened
  kPushSocketFailed = 1001,    // no socket could be created
  kPushConnectFailed = 1002,   // the connection to the agent failed
  kPushSendFailed = 1003,      // sending to the agent failed
  kPushRefused = 1004,         // the agent took the bytes and closed without acknowledging them
  // Installing an app through the debug bridge.
  kInstallNoSpace = 2000,
  kInstallInvalidApk = 2001,
  kInstallOlderSdk = 2002,
  kInstallFileNotFound = 2003,
  kInstallMediaUnavailable = 2004,
  // Pulls from the phone.
  kPullCannotWrite = 3000,     // no local file could be made or written
};

// Whether a task reporting this status has ended: nothing follows it.
constexpr bool is_final_status(int64_t status) { return status >= kTaskStopped; }

} // namespace kit::host
