// The phone itself as the data source: Android's shell commands (content, cmd, dumpsys,
// getprop, am, stat), run as the shell user by argument arrays, their output parsed.
// Android silently ignores some writes of the shell user (SMS changes without the app-op):
// every change is checked by reading again and reported as done only when it shows.
#pragma once
#include <mutex>
#include <optional>

#include "agent/android_text.h"
#include "agent/command.h"
#include "agent/phone_paths.h"
#include "agent/phone_source.h"

namespace kit::agent {

class android_source : public phone_source {
public:
  explicit android_source(phone_paths paths, command_limits limits = {}) : paths_(std::move(paths)), limits_(limits) {}

  void sms_list(uint32_t thread, const each_fn<sms>& each) override;
  void contacts(const each_fn<contact>& each) override;
  void songs(const each_fn<music>& each) override;
  void pictures(const each_fn<picture>& each) override;
  void videos(const each_fn<video>& each) override;
  void apps(const each_fn<app>& each) override;
  void files(const std::string& list, const each_fn<file_entry>& each) override;
  uint32_t sms_count() override;
  device_summary summary() override;
  std::string model() override;
  uint64_t free_mb() override;
  send_outcome send_sms(const std::string& number, const std::string& text, sms& stored) override;
  bool delete_sms(uint32_t id) override;
  bool delete_contact(const std::string& id) override;
  bool add_contact(const std::string& name, const std::string& number, contact& added) override;
  bool mark_thread_read(uint32_t thread) override;
  bool set_ringtone(const std::string& path) override;
  bool uninstall(const std::string& package) override;
  bool delete_file(const std::string& path) override;
  bool make_folder(const std::string& path) override;
  bool install(const std::string& path, std::string& text) override;
  std::string app_file(const std::string& package) override;
  std::string video_thumbnail_file(const std::string& path) override;
  void notices(bool on_connect, const each_fn<frame>& out) override;

  // One `content query`; rows in projection order, nullopt (with why) when the provider
  // failed or the tool did not run.
  struct query {
    std::string uri;
    std::vector<std::string> projection;
    std::string where, sort;
  };
  std::optional<std::vector<std::vector<std::string>>> content_query(const query& q, std::string* why = nullptr);
  // `content insert|update|delete`; true when the tool ran and reported no failure (which
  // does not yet mean the phone made the change).
  bool content_change(const std::vector<std::string>& args, std::string* why = nullptr);
  command_result run(const std::vector<std::string>& argv) { return run_command(argv, limits_); }
  std::map<std::string, std::string> properties();
  int sdk();
  const phone_paths& paths() const { return paths_; }

private:
  void read_bodies(const std::vector<std::string>& ids, std::map<std::string, std::string>& bodies);
  std::optional<std::string> bind_value(const std::string& column, char type, const std::string& value);
  std::optional<std::pair<uint64_t, uint64_t>> storage_bytes(const std::string& phone_folder);
  std::vector<package_line> package_lines();

  phone_paths paths_;
  command_limits limits_;
  std::mutex lock_;  // guards what follows
  int sdk_ = -1;
  // What the notification poll has seen.
  bool watching_ = false;
  std::string battery_text_;
  uint64_t last_sms_ = 0, last_image_ = 0, last_video_ = 0, last_audio_ = 0;
  unsigned polls_ = 0;
};

} // namespace kit::agent
