// Port 12300: one request per connection. Reads one request frame, answers with the reply
// frames of its type and closes. Request types and what they answer are listed in the
// README ("Stand-in agent").
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "garbage.h"
#include "common/agent_protocol.h"
#include "hostile.h"
#include "options.h"
#include "phone_data.h"
#include "port_server.h"
#include "wire.h"

namespace agent_sim {

namespace msg = kit::agent::msg;

namespace {

constexpr size_t kRecordsPerFrame = 40;
using frames = std::vector<frame>;
using record_writer = std::function<void(frame&, size_t)>;

// A list reply: batches of records under status 0, then the end frame (status 2).
frames list_reply(uint16_t type, size_t count, const record_writer& write) {
  frames out;
  for (size_t i = 0; i < count; i += kRecordsPerFrame) {
    frame f(type);
    f.u8(0);
    for (size_t j = i; j < std::min(count, i + kRecordsPerFrame); ++j) write(f, j);
    out.push_back(f);
  }
  out.push_back(std::move(frame(type).u8(2)));
  return out;
}

void write_sms(frame& f, const sms& m) {
  f.str(m.number).str(m.content).str(m.date).u16(m.type).u32(m.id).u32(m.thread).u16(m.read);
}

std::vector<const file_entry*> files_of(const phone_data& d, const std::string& list) {
  std::vector<const file_entry*> out;
  for (const auto& f : d.files)
    if (f.list == list) out.push_back(&f);
  return out;
}

frames value_u8(uint16_t type, uint8_t v) { return {std::move(frame(type).u8(v))}; }

// Status replies: each entry is one frame body after its status byte; then the end frame.
frames status_reply(uint16_t type, std::vector<std::pair<uint8_t, std::function<void(frame&)>>> bodies) {
  frames out;
  for (auto& [status, body] : bodies) {
    frame f(type);
    f.u8(status);
    body(f);
    out.push_back(f);
  }
  out.push_back(std::move(frame(type).u8(2)));
  return out;
}

uint64_t num(const std::string& s) { return std::strtoull(s.c_str(), nullptr, 10); }

frames answer(const request& req, phone_data& d) {
  std::lock_guard<std::mutex> guard(d.lock);
  request_reader args(req.payload);
  const uint16_t t = req.type;
  switch (t) {
    case msg::kMusicList:
      return list_reply(t, d.songs.size(), [&](frame& f, size_t i) {
        const music& m = d.songs[i];
        f.u32(m.id).str(m.album).str(m.singer).str(m.path).u32(m.seconds).u64(m.size).u16(m.is_ring);
      });
    case msg::kPictureList:
      return list_reply(t, d.pictures.size(), [&](frame& f, size_t i) {
        const picture& p = d.pictures[i];
        f.u32(p.id).str(p.path).u32(p.taken).u64(p.size);
      });
    case msg::kVideoList:
      return list_reply(t, d.videos.size(), [&](frame& f, size_t i) {
        const video& v = d.videos[i];
        f.u32(v.id).str(v.path).u64(v.size);
      });
    case msg::kDocumentList: {
      auto docs = files_of(d, "document");
      return list_reply(t, docs.size(), [&](frame& f, size_t i) { f.str(docs[i]->path).u64(docs[i]->size).u16(docs[i]->location); });
    }
    case msg::kAppList:
      return list_reply(t, d.apps.size(), [&](frame& f, size_t i) {
        const app& a = d.apps[i];
        f.u32(a.size).u16(a.location).str(a.name).str(a.package).str(a.version).str(a.version_code).u64(a.installed);
      });
    case msg::kContactList:
      return list_reply(t, d.contacts.size(), [&](frame& f, size_t i) {
        const contact& c = d.contacts[i];
        f.str(c.id).str(c.name).str(c.number);
      });
    case msg::kRingtoneList: {
      auto rings = files_of(d, "ringtone");
      return list_reply(t, rings.size(), [&](frame& f, size_t i) { f.str(rings[i]->path).u16(rings[i]->type).u64(rings[i]->size); });
    }
    case msg::kSmsList: {
      uint32_t thread = args.u32();  // 0 or absent: every thread
      std::vector<const sms*> picked;
      for (const auto& m : d.messages)
        if (thread == 0 || m.thread == thread) picked.push_back(&m);
      return list_reply(t, picked.size(), [&](frame& f, size_t i) { write_sms(f, *picked[i]); });
    }
    case msg::kSendSms: {
      std::string number = args.str(), content = args.str();
      frame f(t);
      if (number.empty()) {
        f.u8(0).str(number);  // not sent: the number alone
      } else {
        uint32_t id = d.messages.empty() ? 1 : d.messages.back().id + 1;
        sms m{id, 1, number, d.device_value("now_ms", "1765152000000"), 2, 1, content};
        for (const auto& other : d.messages)
          if (other.number == number) m.thread = other.thread;
        d.messages.push_back(m);
        f.u8(1);
        write_sms(f, m);
      }
      return {f, std::move(frame(t).u8(2))};
    }
    case msg::kRecordingList:
    case msg::kDownloadList:
    case msg::kScreenshotList:
    case msg::kCacheFileList:
    case msg::kBackupFileList: {
      static const std::map<uint16_t, std::string> lists = {
          {99, "recording"}, {108, "download"}, {109, "screenshot"}, {110, "cache"}, {113, "backup"}};
      auto found = files_of(d, lists.at(t));
      return list_reply(t, found.size(), [&](frame& f, size_t i) { f.str(found[i]->path).u8(static_cast<uint8_t>(found[i]->type)); });
    }
    case msg::kFolderList: {
      auto folders = files_of(d, "folder");
      frames out = list_reply(t, folders.size(), [&](frame& f, size_t i) {
        std::string path = folders[i]->path;
        f.u8(static_cast<uint8_t>(folders[i]->type)).str(path.substr(0, path.rfind('/'))).str(path);
      });
      uint64_t used = num(d.device_value("storage_total")) - num(d.device_value("storage_free"));
      out.back().u64(used);  // the end frame carries the bytes in use
      return out;
    }
    case msg::kSmsCount: return {std::move(frame(t).u32(static_cast<uint32_t>(d.messages.size())))};
    case msg::kDeleteSms: {
      uint32_t id = args.u32();
      auto it = std::find_if(d.messages.begin(), d.messages.end(), [&](const sms& m) { return m.id == id; });
      if (it == d.messages.end()) return value_u8(t, 0);
      d.messages.erase(it);
      return value_u8(t, 1);
    }
    case msg::kDeleteContact: {
      std::string id = args.str();
      auto it = std::find_if(d.contacts.begin(), d.contacts.end(), [&](const contact& c) { return c.id == id; });
      if (it == d.contacts.end()) return value_u8(t, 0);
      d.contacts.erase(it);
      return value_u8(t, 1);
    }
    case msg::kUninstallApp: {
      std::string package = args.str();
      auto it = std::find_if(d.apps.begin(), d.apps.end(), [&](const app& a) { return a.package == package; });
      if (it == d.apps.end()) return value_u8(t, 0);
      d.apps.erase(it);
      return value_u8(t, 1);
    }
    case msg::kMarkThreadRead: {
      uint32_t thread = args.u32();
      uint8_t changed = 0;
      for (auto& m : d.messages)
        if (m.thread == thread && !m.read) m.read = 1, changed = 1;
      return value_u8(t, changed);
    }
    case msg::kSetRingtone: {
      std::string path = args.str();
      uint8_t found = 0;
      for (const auto& f : d.files)
        if (f.path == path) found = 1;
      for (const auto& m : d.songs)
        if (m.path == path) found = 1;
      return value_u8(t, found);
    }
    case msg::kFreeStorage: return {std::move(frame(t).str(d.device_value("free_mb", "0")))};
    case msg::kDeviceSummary: {
      frame f(t);
      f.u32(uint32_t(num(d.device_value("battery")))).u32(uint32_t(num(d.device_value("signal"))))
          .u32(uint32_t(num(d.device_value("sdk"))));
      f.u64(num(d.device_value("storage_total"))).u64(num(d.device_value("storage_free")))
          .u64(num(d.device_value("card_total"))).u64(num(d.device_value("card_free")));
      f.str(d.device_value("model")).str(d.device_value("android"));
      f.u32(uint32_t(d.messages.size())).u32(uint32_t(d.contacts.size())).u32(uint32_t(d.apps.size())).u32(1);
      return {f};
    }
    case msg::kAddContact: {
      std::string name = args.str(), number = args.str();
      uint32_t next = 100;
      for (const auto& c : d.contacts) next = std::max<uint32_t>(next, uint32_t(num(c.id)) + 1);
      contact c{std::to_string(next), name, number};
      d.contacts.push_back(c);
      return status_reply(t, {{0, [c](frame& f) { f.str(c.id).str(c.name).str(c.number); }}});
    }
    case msg::kModelName: {
      std::string model = d.device_value("model");
      return status_reply(t, {{0, [model](frame& f) { f.str(model); }}});
    }
    case msg::kInstallApp: {
      std::string path = args.str();
      uint8_t status = path.size() > 4 && path.compare(path.size() - 4, 4, ".apk") == 0 ? 1 : 0;
      std::string text = status ? "installed " + path : "not a package: " + path;
      return status_reply(t, {{status, [text](frame& f) { f.str(text); }}});
    }
    case msg::kSmsBackupProgress:
    case msg::kContactBackupProgress:
    case msg::kAppBackupProgress: {
      static const std::map<uint16_t, std::string> what = {{80, "sms"}, {82, "contacts"}, {84, "apps"}};
      std::string label = what.at(t);
      std::vector<std::pair<uint8_t, std::function<void(frame&)>>> steps;
      for (uint32_t pct : {25u, 50u, 75u}) steps.push_back({0, [label, pct](frame& f) { f.str(label).u32(pct); }});
      steps.push_back({1, [label](frame& f) { f.str(label + " done").u32(100); }});
      return status_reply(t, steps);
    }
    default:
      return {frame(t)};  // unknown: one empty frame of the same type
  }
}

void serve(int fd, const options& opts, phone_data& data) {
  request req;
  if (!read_request(fd, req)) return;
  if (opts.silent) {
    drain_until_close(fd);
    return;
  }
  if (opts.garbage) {
    write_bytes(fd, garbage_bytes(opts.seed + req.type), opts);
    return;
  }
  if (opts.endless_frame) {
    send_endless_frame(fd, req.type);
    return;
  }
  if (opts.flood) {
    send_record_flood(fd, req.type, opts.flood, opts);
    return;
  }
  frames reply = answer(req, data);
  if (opts.close_early) {
    std::string first = reply.front().bytes();
    write_bytes(fd, first.substr(0, first.size() / 2), opts);
    return;
  }
  for (const auto& f : reply)
    if (!send_frame(fd, f, opts)) return;
}

} // namespace

const port_server request_server{"request", 12300, serve};

} // namespace agent_sim
