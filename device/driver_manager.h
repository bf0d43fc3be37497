// The driver installer: unpacks a driver archive into the host's temporary folder and runs
// one installer for it on its own worker thread, one task at a time in order of
// submission, and hands the installer's exit code to the task's callback on the UI thread.
//
// Modes: 1 runs the unpacked file itself; 2 runs the driver package installer beside the
// program with the unpacked information file and the extra parameter; 3 runs "msiexec /i"
// with the unpacked package. The result is the installer's exit status (128 + the signal
// number when a signal ended it), and 0 when the archive did not unpack, the mode is
// unknown or the program could not be started.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "host/locks.h"
#include "host/message_handler.h"
#include "host/worker_thread.h"

namespace kit::platform {
class process;
}

// Receives the result of a finished task, on the UI thread.
class DriverInstallCallback {
public:
  virtual ~DriverInstallCallback() = default;
  virtual void OnInstallDone(int32_t task_id, int32_t result) = 0;
};

struct DriverTask {
  std::string archive_path;
  std::string file_name;
  int32_t mode = 0;
  std::string extra;
  DriverInstallCallback* callback = nullptr;
  int32_t task_id = 0;
  int taken = 0;
  int32_t result = 0;
};

class CDriverManager : public kit::multithread::queue_worker, public MessageHandler {
public:
  CDriverManager();
  ~CDriverManager() override;

  // Starts the worker the first time and returns true; later calls (also after UnInit)
  // change nothing.
  bool Init();
  // Drops every task, ends a running installer (its whole process group) and joins the
  // worker. The started flag stays set, so Init does not bring the worker back.
  void UnInit();

  // 2 on a 64-bit host, 1 otherwise; 0 before Init.
  int32_t Bitness();
  // The driver package installer beside the program, as asked for on the command line.
  std::string InstallerPath();
  // The folder an archive unpacks into: temp folder + "driverDir/" + its name without the
  // last extension (with a trailing "/").
  std::string UnpackFolder(const std::string& archive_path);

  // Queues a task; returns its id (from 1, never reused).
  int32_t AddTask(const std::string& archive_path, const std::string& file_name, int32_t mode,
                  const std::string& extra, DriverInstallCallback* callback);
  // Forgets a task; an installer running for it goes on, but nothing is reported.
  void RemoveTask(int32_t task_id);
  size_t TaskCount();

  // The command line a mode runs for the unpacked folder (empty for an unknown mode).
  static std::string CommandLine(int32_t mode, const std::string& installer, const std::string& folder,
                                 const std::string& file_name, const std::string& extra);

  // Completion of a task on the UI thread (the argument is the task id).
  void HandleMessage(uintptr_t argument) override;

  // The program and temporary folders (with "/"); taken from the host's paths at Init
  // unless set before (tests).
  void SetFolders(const std::string& program_dir, const std::string& temp_dir);

protected:
  step run_next() override;
  void on_stop_requested() override;

private:
  bool TakeNextTask(DriverTask& copy);
  int32_t Install(const DriverTask& task);

  kit::multithread::critical_section lock_;
  std::map<int32_t, DriverTask> tasks_;
  int32_t last_task_id_ = 0;
  bool started_ = false;
  int32_t bitness_ = 0;
  bool folders_set_ = false;
  std::string program_dir_;
  std::string temp_dir_;
  kit::platform::process* running_ = nullptr;
};
