// The fake phone of a data set file (tools/agent_sim/phone_data.txt; its format is
// described at its top): messages, contacts, media, apps, files and device facts, held in
// memory. Changes last until the process ends. One lock guards every access.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "agent/phone_source.h"

namespace kit::agent {

class fixture_source : public phone_source {
public:
  // Reads the data set; false (with a message on stderr) when the file cannot be read.
  bool load(const std::string& path);

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
  void notices(bool on_connect, const each_fn<frame>& out) override;

  // The size the data set lists for a path (-1: not listed), and whether an app package
  // or a picture or video path is known; for made-up transfer bodies.
  int64_t listed_size(const std::string& path);
  bool has_package(const std::string& package);
  int64_t picture_id(const std::string& path);
  int64_t video_id(const std::string& path);
  int64_t song_id(const std::string& path);

private:
  std::string device_value(const std::string& key, const std::string& fallback = "") const;

  std::mutex lock_;
  std::vector<sms> messages_;
  std::vector<contact> contacts_;
  std::vector<music> songs_;
  std::vector<picture> pictures_;
  std::vector<video> videos_;
  std::vector<app> apps_;
  std::vector<file_entry> files_;
  std::map<std::string, std::string> device_;  // "device" lines: key -> value
};

} // namespace kit::agent
