// Where the agent's answers come from: the phone itself (Android's shell commands) or a
// fixture file (tests, demo, the stand-in agent). The request server knows only this.
//
// List methods hand records to `each` as soon as they are read, so that a slow phone's
// first frame leaves before the whole list is known; `each` returns false when the host
// has gone, and the method then stops early. Methods may be called from several
// connection threads at once.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "agent/records.h"
#include "agent/wire.h"

namespace kit::agent {

template <typename T>
using each_fn = std::function<bool(const T&)>;

enum class send_outcome { sent, opened_on_phone, failed };

class phone_source {
public:
  virtual ~phone_source() = default;

  virtual void sms_list(uint32_t thread, const each_fn<sms>& each) = 0;  // thread 0: all
  virtual void contacts(const each_fn<contact>& each) = 0;
  virtual void songs(const each_fn<music>& each) = 0;
  virtual void pictures(const each_fn<picture>& each) = 0;
  virtual void videos(const each_fn<video>& each) = 0;
  virtual void apps(const each_fn<app>& each) = 0;
  // The entries of one listing (file_entry::list names it).
  virtual void files(const std::string& list, const each_fn<file_entry>& each) = 0;

  virtual uint32_t sms_count() = 0;
  virtual device_summary summary() = 0;
  virtual std::string model() = 0;
  virtual uint64_t free_mb() = 0;

  // Changes; each is true only once the phone holds the change.
  virtual send_outcome send_sms(const std::string& number, const std::string& text, sms& stored) = 0;
  virtual bool delete_sms(uint32_t id) = 0;
  virtual bool delete_contact(const std::string& id) = 0;
  virtual bool add_contact(const std::string& name, const std::string& number, contact& added) = 0;
  virtual bool mark_thread_read(uint32_t thread) = 0;
  virtual bool set_ringtone(const std::string& path) = 0;
  virtual bool uninstall(const std::string& package) = 0;
  // Deletes one file (never a folder) of shared storage, and its entry in the media lists.
  virtual bool delete_file(const std::string& path) = 0;
  // Makes a new folder in shared storage (the folders above it too); false when it exists.
  virtual bool make_folder(const std::string& path) = 0;
  // Installs a package file already on the phone; text is the phone's answer.
  virtual bool install(const std::string& path, std::string& text) = 0;
  // The file an installed app was installed from, as the agent opens it; "" when unknown.
  virtual std::string app_file(const std::string& /*package*/) { return {}; }
  // The picture the phone keeps of a video, as the agent opens it; "" when it keeps none.
  virtual std::string video_thumbnail_file(const std::string& /*path*/) { return {}; }

  // Notifications for the channel on port 12303: those due when a host says hello
  // (on_connect) or, polled every few seconds, what changed since the last call.
  virtual void notices(bool on_connect, const each_fn<frame>& out) = 0;
};

} // namespace kit::agent
