#include "device/driver_manager.h"

#include <cerrno>
#include <mutex>

#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "archive/extract_archive.h"

using lock_guard = std::lock_guard<kit::multithread::critical_section>;

namespace {
constexpr int32_t kNothingRan = 0;

std::string quoted(const std::string& s) { return kit::platform::quote_command_argument(s); }

std::string folder_of(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
} // namespace

CDriverManager::CDriverManager() = default;

CDriverManager::~CDriverManager() {
  // run() belongs to this class, so the thread must end before the members go; the stop
  // request ends a running installer first.
  stop_and_wait();
}

void CDriverManager::SetFolders(const std::string& program_dir, const std::string& temp_dir) {
  lock_guard lock(lock_);
  program_dir_ = program_dir;
  temp_dir_ = temp_dir;
  folders_set_ = true;
}

bool CDriverManager::Init() {
  {
    lock_guard lock(lock_);
    if (started_) return true;
    started_ = true;
    // This program is built for the host's own word size: 64-bit on a 64-bit system.
    bitness_ = sizeof(void*) == 8 ? 2 : 1;
    if (!folders_set_) {
      if (CAppPaths* paths = GetAppPaths()) {
        program_dir_ = paths->GetExeDir();
        temp_dir_ = paths->GetTempDir();
      } else {
        program_dir_ = folder_of(kit::platform::executable_path());
        temp_dir_ = kit::platform::temp_path();
      }
      folders_set_ = true;
    }
  }
  // Outside the lock: stopping takes the thread's control lock first and then ours.
  start();
  return true;
}

void CDriverManager::UnInit() {
  {
    lock_guard lock(lock_);
    tasks_.clear();
    notify_work();
  }
  // The stop request also ends a running installer, so the join never waits for a
  // program that does not end.
  stop_and_wait();
}

int32_t CDriverManager::Bitness() {
  lock_guard lock(lock_);
  return bitness_;
}

std::string CDriverManager::InstallerPath() {
  lock_guard lock(lock_);
  return program_dir_ + (bitness_ == 1 ? "dpinst.exe" : "dpinst64.exe");
}

std::string CDriverManager::UnpackFolder(const std::string& archive_path) {
  std::string name = archive_path;
  auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name = name.substr(0, dot);
  lock_guard lock(lock_);
  return temp_dir_ + "driverDir/" + name + "/";
}

int32_t CDriverManager::AddTask(const std::string& archive_path, const std::string& file_name, int32_t mode,
                                const std::string& extra, DriverInstallCallback* callback) {
  lock_guard lock(lock_);
  int32_t id = ++last_task_id_;
  DriverTask& task = tasks_[id];
  task.archive_path = archive_path;
  task.file_name = file_name;
  task.mode = mode;
  task.extra = extra;
  task.callback = callback;
  task.task_id = id;
  notify_work();
  return id;
}

void CDriverManager::RemoveTask(int32_t task_id) {
  lock_guard lock(lock_);
  tasks_.erase(task_id);
}

size_t CDriverManager::TaskCount() {
  lock_guard lock(lock_);
  return tasks_.size();
}

std::string CDriverManager::CommandLine(int32_t mode, const std::string& installer, const std::string& folder,
                                        const std::string& file_name, const std::string& extra) {
  std::string file = quoted(folder + file_name);
  switch (mode) {
  case 1: return file;
  case 2: return quoted(installer) + " " + file + "  " + quoted(extra);
  case 3: return "msiexec /i " + file;
  default: return {};
  }
}

void CDriverManager::HandleMessage(uintptr_t argument) {
  auto task_id = static_cast<int32_t>(argument);
  DriverInstallCallback* callback = nullptr;
  int32_t result = 0;
  {
    lock_guard lock(lock_);
    auto it = tasks_.find(task_id);
    if (it == tasks_.end()) return;
    callback = it->second.callback;
    result = it->second.result;
    tasks_.erase(it);
  }
  // Called without the lock: the callback may queue or cancel tasks.
  if (callback) callback->OnInstallDone(task_id, result);
}

bool CDriverManager::TakeNextTask(DriverTask& copy) {
  lock_guard lock(lock_);
  for (auto& [id, task] : tasks_) {
    if (task.taken) continue;
    task.taken = 1;
    copy = task;
    return true;
  }
  return false;
}

int32_t CDriverManager::Install(const DriverTask& task) {
  std::string folder = UnpackFolder(task.archive_path);
  std::string temp;
  std::string installer = InstallerPath();
  std::string program_dir;
  {
    lock_guard lock(lock_);
    temp = temp_dir_;
    program_dir = program_dir_;
  }
  // Without a temporary folder, or when the unpack folder cannot be made, nothing runs.
  if (temp.empty() || !kit::platform::make_directories(folder.substr(0, folder.size() - 1))) return kNothingRan;
  if (!kit::archive::extract_archive(task.archive_path, folder, {})) return kNothingRan;
  std::string line = CommandLine(task.mode, installer, folder, task.file_name, task.extra);
  if (line.empty()) return kNothingRan;

  kit::platform::process proc;
  {
    lock_guard lock(lock_);
    running_ = &proc;
    // A stop requested before this point found nothing to end.
    if (stop_requested()) proc.cancel();
  }
  kit::platform::process_result result = proc.run(line, -1, program_dir);
  {
    lock_guard lock(lock_);
    running_ = nullptr;
  }
  return result.how == kit::platform::process_result::ending::not_started ? kNothingRan : result.exit_code;
}

CDriverManager::step CDriverManager::run_next() {
  DriverTask task;
  if (!TakeNextTask(task)) return step::idle;
  int32_t result = Install(task);
  lock_guard lock(lock_);
  auto it = tasks_.find(task.task_id);
  // A task removed meanwhile is gone: nothing is delivered for it.
  if (it == tasks_.end()) return step::ran;
  it->second.result = result;
  if (CMessageWindow* window = GetMessageWindow()) window->PostCallHandler(this, static_cast<uint32_t>(task.task_id));
  return step::ran;
}

void CDriverManager::on_stop_requested() {
  lock_guard lock(lock_);
  if (running_) running_->cancel();
}
