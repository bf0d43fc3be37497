#include "agent/fixture_source.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "agent/phone_paths.h"
#include "common/agent_protocol.h"

namespace kit::agent {

namespace {
std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  std::stringstream in(line);
  while (std::getline(in, field, '\t')) out.push_back(field);
  if (!line.empty() && line.back() == '\t') out.emplace_back();
  return out;
}

uint64_t num(const std::string& s) { return std::strtoull(s.c_str(), nullptr, 10); }

// Hands a copy of the records to `each` outside the lock: a slow host must not hold up
// the other connections.
template <typename T, typename Pick>
void each_copy(std::mutex& lock, const std::vector<T>& all, Pick pick, const each_fn<T>& each) {
  std::vector<T> copy;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (const T& item : all)
      if (pick(item)) copy.push_back(item);
  }
  for (const T& item : copy)
    if (!each(item)) return;
}
const auto kAll = [](const auto&) { return true; };
} // namespace

bool fixture_source::load(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot read the data set %s\n", path.c_str());
    return false;
  }
  std::lock_guard<std::mutex> guard(lock_);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto f = split_tabs(line);
    const std::string& kind = f[0];
    auto need = [&](size_t n) {
      if (f.size() >= n) return true;
      std::fprintf(stderr, "%s:%d: %s needs %zu fields\n", path.c_str(), number, kind.c_str(), n - 1);
      return false;
    };
    if (kind == "sms" && need(8)) {
      messages_.push_back({uint32_t(num(f[1])), uint32_t(num(f[2])), f[3], f[4], uint16_t(num(f[5])),
                           uint16_t(num(f[6])), f[7]});
    } else if (kind == "contact" && need(4)) {
      contacts_.push_back({f[1], f[2], f[3]});
    } else if (kind == "music" && need(8)) {
      songs_.push_back({uint32_t(num(f[1])), f[2], f[3], f[4], uint32_t(num(f[5])), num(f[6]), uint16_t(num(f[7]))});
    } else if (kind == "picture" && need(5)) {
      pictures_.push_back({uint32_t(num(f[1])), f[2], uint32_t(num(f[3])), num(f[4])});
    } else if (kind == "video" && need(4)) {
      videos_.push_back({uint32_t(num(f[1])), f[2], num(f[3])});
    } else if (kind == "app" && need(8)) {
      apps_.push_back({uint32_t(num(f[1])), uint16_t(num(f[2])), f[3], f[4], f[5], f[6], num(f[7])});
    } else if (kind == "file" && need(6)) {
      files_.push_back({f[1], f[2], uint16_t(num(f[3])), num(f[4]), uint16_t(num(f[5]))});
    } else if (kind == "device" && need(3)) {
      device_[f[1]] = f[2];
    }
  }
  return true;
}

std::string fixture_source::device_value(const std::string& key, const std::string& fallback) const {
  auto it = device_.find(key);
  return it == device_.end() ? fallback : it->second;
}

void fixture_source::sms_list(uint32_t thread, const each_fn<sms>& each) {
  each_copy(lock_, messages_, [&](const sms& m) { return thread == 0 || m.thread == thread; }, each);
}
void fixture_source::contacts(const each_fn<contact>& each) { each_copy(lock_, contacts_, kAll, each); }
void fixture_source::songs(const each_fn<music>& each) { each_copy(lock_, songs_, kAll, each); }
void fixture_source::pictures(const each_fn<picture>& each) { each_copy(lock_, pictures_, kAll, each); }
void fixture_source::videos(const each_fn<video>& each) { each_copy(lock_, videos_, kAll, each); }
void fixture_source::apps(const each_fn<app>& each) { each_copy(lock_, apps_, kAll, each); }
void fixture_source::files(const std::string& list, const each_fn<file_entry>& each) {
  each_copy(lock_, files_, [&](const file_entry& f) { return f.list == list; }, each);
}

uint32_t fixture_source::sms_count() {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<uint32_t>(messages_.size());
}

device_summary fixture_source::summary() {
  std::lock_guard<std::mutex> guard(lock_);
  device_summary s;
  s.battery = uint32_t(num(device_value("battery")));
  s.signal = uint32_t(num(device_value("signal")));
  s.sdk = uint32_t(num(device_value("sdk")));
  s.storage_total = num(device_value("storage_total"));
  s.storage_free = num(device_value("storage_free"));
  s.card_total = num(device_value("card_total"));
  s.card_free = num(device_value("card_free"));
  s.model = device_value("model");
  s.android = device_value("android");
  s.sms = uint32_t(messages_.size());
  s.contacts = uint32_t(contacts_.size());
  s.apps = uint32_t(apps_.size());
  s.card_present = 1;
  return s;
}

std::string fixture_source::model() {
  std::lock_guard<std::mutex> guard(lock_);
  return device_value("model");
}

uint64_t fixture_source::free_mb() {
  std::lock_guard<std::mutex> guard(lock_);
  return num(device_value("free_mb", "0"));
}

send_outcome fixture_source::send_sms(const std::string& number, const std::string& text, sms& stored) {
  if (number.empty()) return send_outcome::failed;
  std::lock_guard<std::mutex> guard(lock_);
  uint32_t id = messages_.empty() ? 1 : messages_.back().id + 1;
  stored = sms{id, 1, number, device_value("now_ms", "1765152000000"), 2, 1, text};
  for (const auto& other : messages_)
    if (other.number == number) stored.thread = other.thread;
  messages_.push_back(stored);
  return send_outcome::sent;
}

bool fixture_source::delete_sms(uint32_t id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::find_if(messages_.begin(), messages_.end(), [&](const sms& m) { return m.id == id; });
  if (it == messages_.end()) return false;
  messages_.erase(it);
  return true;
}

bool fixture_source::delete_contact(const std::string& id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::find_if(contacts_.begin(), contacts_.end(), [&](const contact& c) { return c.id == id; });
  if (it == contacts_.end()) return false;
  contacts_.erase(it);
  return true;
}

bool fixture_source::add_contact(const std::string& name, const std::string& number, contact& added) {
  std::lock_guard<std::mutex> guard(lock_);
  uint32_t next = 100;
  for (const auto& c : contacts_) next = std::max<uint32_t>(next, uint32_t(num(c.id)) + 1);
  added = contact{std::to_string(next), name, number};
  contacts_.push_back(added);
  return true;
}

bool fixture_source::mark_thread_read(uint32_t thread) {
  std::lock_guard<std::mutex> guard(lock_);
  bool changed = false;
  for (auto& m : messages_)
    if (m.thread == thread && !m.read) m.read = 1, changed = true;
  return changed;
}

bool fixture_source::set_ringtone(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& f : files_)
    if (f.path == path) return true;
  for (const auto& m : songs_)
    if (m.path == path) return true;
  return false;
}

bool fixture_source::uninstall(const std::string& package) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::find_if(apps_.begin(), apps_.end(), [&](const app& a) { return a.package == package; });
  if (it == apps_.end()) return false;
  apps_.erase(it);
  return true;
}

bool fixture_source::delete_file(const std::string& path) {
  if (!phone_paths::writable_area(path)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  auto drop = [&](auto& list) {
    size_t before = list.size();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& e) { return e.path == path; }), list.end());
    return list.size() != before;
  };
  size_t folders = std::count_if(files_.begin(), files_.end(), [&](const file_entry& f) { return f.list == "folder" && f.path == path; });
  if (folders) return false;  // a folder, not a file
  bool found = drop(pictures_);
  found = drop(videos_) || found;
  found = drop(songs_) || found;
  return drop(files_) || found;
}

bool fixture_source::make_folder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!phone_paths::writable_area(folder) || phone_paths().local(folder) != folder) return false;
  std::lock_guard<std::mutex> guard(lock_);
  auto inside = [&](const std::string& p) { return p == folder || p.compare(0, folder.size() + 1, folder + "/") == 0; };
  for (const auto& f : files_)
    if (inside(f.path)) return false;
  for (const auto& p : pictures_)
    if (inside(p.path)) return false;
  for (const auto& v : videos_)
    if (inside(v.path)) return false;
  for (const auto& m : songs_)
    if (inside(m.path)) return false;
  files_.push_back(file_entry{"folder", folder, 0, 0, 0});
  return true;
}

bool fixture_source::install(const std::string& path, std::string& text) {
  bool ok = path.size() > 4 && path.compare(path.size() - 4, 4, ".apk") == 0;
  text = ok ? "installed " + path : "not a package: " + path;
  return ok;
}

// On hello, one of each notification the host knows, made from the data set; nothing
// changes afterwards, so polls bring nothing.
void fixture_source::notices(bool on_connect, const each_fn<frame>& out) {
  if (!on_connect) return;
  std::vector<frame> all;
  {
    std::lock_guard<std::mutex> guard(lock_);
    // 19: a status text.
    all.push_back(std::move(frame(notify::kBattery).str("battery " + device_value("battery", "0") + "% 🔋")));
    // 48: a message arrived (the newest received one).
    if (!messages_.empty()) {
      const sms& m = messages_.back();
      all.push_back(std::move(
          frame(notify::kNewSms).u8(1).str(m.number).str(m.content).str(m.date).u16(1).u32(m.id).u32(m.thread).u16(0)));
    }
    // 18: an incoming call: id, state, number, name, label, extra, then 8 reserved bytes.
    if (!contacts_.empty()) {
      const contact& c = contacts_.front();
      all.push_back(std::move(frame(notify::kIncomingCall).u32(1).u16(1).str(c.number).str(c.name).str("来电 📞").str("").u64(0)));
    }
    // 105, 106, 107: a video, a photo and a song were added.
    if (!videos_.empty()) {
      const video& v = videos_.front();
      all.push_back(std::move(frame(notify::kVideoAdded).u8(1).u32(v.id).u32(1).str(v.path).u32(0).u64(v.size)));
    }
    if (!pictures_.empty()) {
      const picture& p = pictures_.front();
      all.push_back(std::move(frame(notify::kPhotoAdded).u8(1).u32(p.id).u32(1).str(p.path).u64(p.size)));
    }
    if (!songs_.empty()) {
      const music& m = songs_.front();
      all.push_back(std::move(frame(notify::kMusicAdded).u8(1).u32(m.id).u32(1).str(m.album).str(m.singer).str(m.path)
                                  .u32(m.seconds).u64(m.size).u16(m.is_ring)));
    }
    // 50: a message the phone sent failed (status 0: the number only).
    all.push_back(std::move(frame(notify::kSmsSendResult).u8(0).str("10086")));
  }
  for (const auto& f : all)
    if (!out(f)) return;
}

int64_t fixture_source::listed_size(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& p : pictures_)
    if (p.path == path) return static_cast<int64_t>(p.size);
  for (const auto& v : videos_)
    if (v.path == path) return static_cast<int64_t>(v.size);
  for (const auto& m : songs_)
    if (m.path == path) return static_cast<int64_t>(m.size);
  for (const auto& f : files_)
    if (f.path == path) return static_cast<int64_t>(f.size);
  return -1;
}

bool fixture_source::has_package(const std::string& package) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& a : apps_)
    if (a.package == package) return true;
  return false;
}

int64_t fixture_source::picture_id(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& p : pictures_)
    if (p.path == path) return p.id;
  return -1;
}

int64_t fixture_source::song_id(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& m : songs_)
    if (m.path == path) return m.id;
  return -1;
}

int64_t fixture_source::video_id(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& v : videos_)
    if (v.path == path) return v.id;
  return -1;
}

} // namespace kit::agent
