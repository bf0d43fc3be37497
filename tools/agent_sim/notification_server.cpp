// Port 12303: the notification channel. Every frame of type 8 from the host is answered
// with the set of notifications below; the channel stays open until the host closes it.
#include "garbage.h"
#include "common/agent_protocol.h"
#include "options.h"
#include "phone_data.h"
#include "port_server.h"
#include "wire.h"

namespace agent_sim {

namespace notify = kit::agent::notify;

namespace {

constexpr uint16_t kHello = kit::agent::msg::kConnect;

std::vector<frame> notifications(phone_data& d) {
  std::lock_guard<std::mutex> guard(d.lock);
  std::vector<frame> out;
  // 19: a status text.
  out.push_back(std::move(frame(notify::kBattery).str("battery " + d.device_value("battery", "0") + "% 🔋")));
  // 48: a message arrived (the newest received one).
  if (!d.messages.empty()) {
    const sms& m = d.messages.back();
    out.push_back(std::move(
        frame(notify::kNewSms).u8(1).str(m.number).str(m.content).str(m.date).u16(1).u32(m.id).u32(m.thread).u16(0)));
  }
  // 18: an incoming call: id, state, number, name, label, extra, then 8 reserved bytes.
  if (!d.contacts.empty()) {
    const contact& c = d.contacts.front();
    out.push_back(std::move(frame(notify::kIncomingCall).u32(1).u16(1).str(c.number).str(c.name).str("来电 📞").str("").u64(0)));
  }
  // 105, 106, 107: a video, a photo and a song were added.
  if (!d.videos.empty()) {
    const video& v = d.videos.front();
    out.push_back(std::move(frame(notify::kVideoAdded).u8(1).u32(v.id).u32(1).str(v.path).u32(0).u64(v.size)));
  }
  if (!d.pictures.empty()) {
    const picture& p = d.pictures.front();
    out.push_back(std::move(frame(notify::kPhotoAdded).u8(1).u32(p.id).u32(1).str(p.path).u64(p.size)));
  }
  if (!d.songs.empty()) {
    const music& m = d.songs.front();
    out.push_back(std::move(
        frame(notify::kMusicAdded).u8(1).u32(m.id).u32(1).str(m.album).str(m.singer).str(m.path).u32(m.seconds).u64(m.size).u16(m.is_ring)));
  }
  // 50: a message the phone sent failed (status 0: the number only).
  out.push_back(std::move(frame(notify::kSmsSendResult).u8(0).str("10086")));
  return out;
}

void serve(int fd, const options& opts, phone_data& data) {
  request req;
  while (read_request(fd, req)) {
    if (req.type != kHello || opts.silent) continue;
    if (opts.garbage) {
      if (!write_bytes(fd, garbage_bytes(opts.seed), opts)) return;
      continue;
    }
    for (const auto& f : notifications(data))
      if (!send_frame(fd, f, opts)) return;
  }
}

} // namespace

const port_server notification_server{"notification", 12303, serve};

} // namespace agent_sim
