#include "agent/replies.h"

#include <chrono>
#include <vector>

#include "common/agent_protocol.h"

namespace kit::agent {

namespace {

constexpr std::chrono::milliseconds kFrameWait{1000};

// Collects records into frames of kRecordsPerFrame under status 0 and sends each full one
// at once; finish() sends the rest and the end frame (status 2). A phone may take seconds
// per record (a tool run for each app): a frame that has waited kFrameWait is sent with
// what it holds, so the host hears from the agent at least that often.
class list_writer {
public:
  list_writer(uint16_t type, const each_fn<frame>& send)
      : type_(type), send_(send), current_(type), started_(std::chrono::steady_clock::now()) {
    current_.u8(0);
  }

  // Adds one record through write(frame&); false once the host has gone.
  template <typename Write>
  bool add(Write write) {
    write(current_);
    auto now = std::chrono::steady_clock::now();
    if (++count_ < kRecordsPerFrame && now - started_ < kFrameWait) return true;
    started_ = now;
    count_ = 0;
    alive_ = alive_ && send_(current_);
    current_ = frame(type_);
    current_.u8(0);
    return alive_;
  }
  frame end_frame() const {
    frame end(type_);
    end.u8(status::kListEnd);
    return end;
  }
  // Sends what is left and then `end` (by default the plain end frame).
  void finish() { finish(end_frame()); }
  void finish(const frame& end) {
    if (alive_ && count_ > 0) alive_ = send_(current_);
    if (alive_) send_(end);
  }

private:
  uint16_t type_;
  const each_fn<frame>& send_;
  frame current_;
  std::chrono::steady_clock::time_point started_;
  uint32_t count_ = 0;
  bool alive_ = true;
};

void write_sms(frame& f, const sms& m) {
  f.str(m.number).str(m.content).str(m.date).u16(m.type).u32(m.id).u32(m.thread).u16(m.read);
}

void value_u8(uint16_t type, bool v, const each_fn<frame>& send) { send(std::move(frame(type).u8(v ? 1 : 0))); }

void status_end(uint16_t type, const each_fn<frame>& send) { send(std::move(frame(type).u8(status::kStatusEnd))); }

} // namespace

const char* listing_of(uint16_t type) {
  switch (type) {
    case msg::kDocumentList: return "document";
    case msg::kRingtoneList: return "ringtone";
    case msg::kRecordingList: return "recording";
    case msg::kDownloadList: return "download";
    case msg::kScreenshotList: return "screenshot";
    case msg::kCacheFileList: return "cache";
    case msg::kBackupFileList: return "backup";
    case msg::kFolderList: return "folder";
    default: return "";
  }
}

void answer(const request& req, phone_source& src, const each_fn<frame>& send) {
  request_reader args(req.payload);
  const uint16_t t = req.type;
  switch (t) {
    case msg::kMusicList: {
      list_writer w(t, send);
      src.songs([&](const music& m) {
        return w.add([&](frame& f) {
          f.u32(m.id).str(m.album).str(m.singer).str(m.path).u32(m.seconds).u64(m.size).u16(m.is_ring);
        });
      });
      return w.finish();
    }
    case msg::kPictureList: {
      list_writer w(t, send);
      src.pictures([&](const picture& p) { return w.add([&](frame& f) { f.u32(p.id).str(p.path).u32(p.taken).u64(p.size); }); });
      return w.finish();
    }
    case msg::kVideoList: {
      list_writer w(t, send);
      src.videos([&](const video& v) { return w.add([&](frame& f) { f.u32(v.id).str(v.path).u64(v.size); }); });
      return w.finish();
    }
    case msg::kAppList: {
      list_writer w(t, send);
      src.apps([&](const app& a) {
        return w.add([&](frame& f) {
          f.u32(a.size).u16(a.location).str(a.name).str(a.package).str(a.version).str(a.version_code).u64(a.installed);
        });
      });
      return w.finish();
    }
    case msg::kContactList: {
      list_writer w(t, send);
      src.contacts([&](const contact& c) { return w.add([&](frame& f) { f.str(c.id).str(c.name).str(c.number); }); });
      return w.finish();
    }
    case msg::kSmsList: {
      uint32_t thread = args.u32();  // 0 or absent: every thread
      list_writer w(t, send);
      src.sms_list(thread, [&](const sms& m) { return w.add([&](frame& f) { write_sms(f, m); }); });
      return w.finish();
    }
    case msg::kDocumentList:
    case msg::kRingtoneList:
    case msg::kRecordingList:
    case msg::kDownloadList:
    case msg::kScreenshotList:
    case msg::kCacheFileList:
    case msg::kBackupFileList: {
      list_writer w(t, send);
      src.files(listing_of(t), [&](const file_entry& e) {
        return w.add([&](frame& f) {
          if (t == msg::kDocumentList) f.str(e.path).u64(e.size).u16(e.location);
          else if (t == msg::kRingtoneList) f.str(e.path).u16(e.type).u64(e.size);
          else f.str(e.path).u8(static_cast<uint8_t>(e.type));
        });
      });
      return w.finish();
    }
    case msg::kFolderList: {
      list_writer w(t, send);
      src.files("folder", [&](const file_entry& e) {
        return w.add([&](frame& f) {
          f.u8(static_cast<uint8_t>(e.type)).str(e.path.substr(0, e.path.rfind('/'))).str(e.path);
        });
      });
      device_summary s = src.summary();
      frame end = w.end_frame();
      end.u64(s.storage_total >= s.storage_free ? s.storage_total - s.storage_free : 0);  // bytes in use
      return w.finish(end);
    }
    case msg::kSendSms: {
      std::string number = args.str(), text = args.str();
      sms stored;
      switch (src.send_sms(number, text, stored)) {
        case send_outcome::sent: {
          frame f(t);
          f.u8(1);
          write_sms(f, stored);
          if (!send(f)) return;
          break;
        }
        case send_outcome::opened_on_phone:  // status 0: not sent yet, the number alone
          if (!send(std::move(frame(t).u8(0).str(number)))) return;
          break;
        case send_outcome::failed: break;  // no record at all: nothing was sent or opened
      }
      return status_end(t, send);
    }
    case msg::kSmsCount: send(std::move(frame(t).u32(src.sms_count()))); return;
    case msg::kDeleteSms: return value_u8(t, src.delete_sms(args.u32()), send);
    case msg::kDeleteContact: return value_u8(t, src.delete_contact(args.str()), send);
    case msg::kUninstallApp: return value_u8(t, src.uninstall(args.str()), send);
    case msg::kMarkThreadRead: return value_u8(t, src.mark_thread_read(args.u32()), send);
    case msg::kSetRingtone: return value_u8(t, src.set_ringtone(args.str()), send);
    case msg::kDeleteFile: return value_u8(t, src.delete_file(args.str()), send);
    case msg::kMakeFolder: return value_u8(t, src.make_folder(args.str()), send);
    case msg::kFreeStorage: send(std::move(frame(t).str(std::to_string(src.free_mb())))); return;
    case msg::kDeviceSummary: {
      device_summary s = src.summary();
      frame f(t);
      f.u32(s.battery).u32(s.signal).u32(s.sdk);
      f.u64(s.storage_total).u64(s.storage_free).u64(s.card_total).u64(s.card_free);
      f.str(s.model).str(s.android);
      f.u32(s.sms).u32(s.contacts).u32(s.apps).u32(s.card_present);
      send(f);
      return;
    }
    case msg::kAddContact: {
      std::string name = args.str(), number = args.str();
      contact c;
      if (src.add_contact(name, number, c)) {
        if (!send(std::move(frame(t).u8(status::kStatusOk).str(c.id).str(c.name).str(c.number)))) return;
      }
      return status_end(t, send);
    }
    case msg::kModelName: {
      if (!send(std::move(frame(t).u8(status::kStatusOk).str(src.model())))) return;
      return status_end(t, send);
    }
    case msg::kInstallApp: {
      std::string path = args.str(), text;
      bool ok = src.install(path, text);
      if (!send(std::move(frame(t).u8(ok ? 1 : 0).str(text)))) return;
      return status_end(t, send);
    }
    case msg::kSmsBackupProgress:
    case msg::kContactBackupProgress:
    case msg::kAppBackupProgress: {
      // The phone keeps no backup of its own; the host makes backups from the lists. The
      // progress reply says so in steps, as the host's progress display expects.
      std::string label = t == msg::kSmsBackupProgress ? "sms" : t == msg::kContactBackupProgress ? "contacts" : "apps";
      for (uint32_t pct : {25u, 50u, 75u})
        if (!send(std::move(frame(t).u8(status::kStatusOk).str(label).u32(pct)))) return;
      if (!send(std::move(frame(t).u8(status::kStatusDone).str(label + " done").u32(100)))) return;
      return status_end(t, send);
    }
    default:
      send(frame(t));  // unknown: one empty frame of the same type
      return;
  }
}

} // namespace kit::agent
