#include "agent/android_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>

#include "agent/storage_walk.h"
#include "common/agent_protocol.h"

namespace kit::agent {

namespace {
constexpr const char* kSms = "content://sms";
constexpr const char* kContactsData = "content://com.android.contacts/data";
constexpr const char* kRawContacts = "content://com.android.contacts/raw_contacts";
constexpr const char* kContacts = "content://com.android.contacts/contacts";
constexpr const char* kAudio = "content://media/external/audio/media";
constexpr const char* kImages = "content://media/external/images/media";
constexpr const char* kVideo = "content://media/external/video/media";
constexpr const char* kVideoThumbnails = "content://media/external/video/thumbnails";
// The largest thumbnail offered: the media store's are a few tens of kilobytes.
constexpr off_t kMaxThumbnailBytes = 1 << 20;
constexpr const char* kPhoneType = "vnd.android.cursor.item/phone_v2";
constexpr const char* kNameType = "vnd.android.cursor.item/name";
// Bodies are read a page per tool call: the first page one frame's worth, so the first
// frame leaves early, then twice as many each time up to kMaxBodyPage, so a phone with
// thousands of messages costs a few dozen calls, not one per frame.
constexpr size_t kFirstBodyPage = kRecordsPerFrame;
constexpr size_t kMaxBodyPage = 2500;

// A column value: the literal NULL stands for no value.
std::string text(const std::string& v) { return v == "NULL" ? std::string() : v; }
uint64_t number(const std::string& v) { return to_u64(v); }

bool all_digits(const std::string& s) {
  return !s.empty() && s.size() < 19 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A string literal for a --where clause.
std::string sql_text(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
  return out;
}
} // namespace

// ---- Running the tools ----------------------------------------------------------------------

std::optional<std::vector<std::vector<std::string>>> android_source::content_query(const query& q, std::string* why) {
  std::vector<std::string> argv = {"content", "query", "--uri", q.uri, "--projection", join(q.projection, ":")};
  if (!q.where.empty()) argv.insert(argv.end(), {"--where", q.where});
  if (!q.sort.empty()) argv.insert(argv.end(), {"--sort", q.sort});
  command_result r = run(argv);
  if (!r.started || r.timed_out || content_failed(r.err) || r.out.find("[ERROR]") != std::string::npos) {
    if (why) {
      *why = !r.started ? r.error : r.timed_out ? "content timed out" : r.err.substr(0, r.err.find('\n'));
      if (why->empty()) *why = r.out.substr(r.out.rfind("[ERROR]") == std::string::npos ? 0 : r.out.rfind("[ERROR]"));
    }
    return std::nullopt;
  }
  return parse_content_rows(r.out, q.projection);
}

bool android_source::content_change(const std::vector<std::string>& args, std::string* why) {
  std::vector<std::string> argv = {"content"};
  argv.insert(argv.end(), args.begin(), args.end());
  command_result r = run(argv);
  bool ok = r.started && !r.timed_out && !content_failed(r.err) && r.out.find("[ERROR]") == std::string::npos;
  if (!ok && why) *why = !r.started ? r.error : r.timed_out ? "content timed out" : r.err.substr(0, r.err.find('\n'));
  return ok;
}

std::map<std::string, std::string> android_source::properties() { return parse_getprop(run({"getprop"}).out); }

int android_source::sdk() {
  std::lock_guard<std::mutex> guard(lock_);
  if (sdk_ < 0) {
    command_result r = run({"getprop", "ro.build.version.sdk"});
    sdk_ = static_cast<int>(to_u64(r.out, 0));
  }
  return sdk_;
}

// A --bind argument. Android 11 and later read "\:" as a colon inside a value; older
// versions have no escape, so a value with a colon cannot be written there.
std::optional<std::string> android_source::bind_value(const std::string& column, char type, const std::string& value) {
  std::string v;
  for (char c : value) {
    if (c == ':') {
      if (sdk() < 30) return std::nullopt;
      v += "\\:";
    } else {
      v += c;
    }
  }
  return column + ":" + type + ":" + v;
}

// ---- Messages --------------------------------------------------------------------------------

// The bodies of the messages with these ids. A page whose output is ambiguous (a body
// holds a line that looks like a row marker) is split in halves and read again, down to
// single messages, where the text after "body=" up to the end is the body whatever it holds.
void android_source::read_bodies(const std::vector<std::string>& ids, std::map<std::string, std::string>& bodies) {
  if (ids.empty()) return;
  if (ids.size() == 1) {
    command_result one = run({"content", "query", "--uri", kSms, "--projection", "_id:body", "--where", "_id=" + ids[0]});
    const std::string head = "Row: 0 _id=" + ids[0] + ", body=";
    if (!one.ok() || one.out.compare(0, head.size(), head) != 0) return;
    std::string body = one.out.substr(head.size());
    if (!body.empty() && body.back() == '\n') body.pop_back();
    bodies[ids[0]] = body;
    return;
  }
  command_result r = run({"content", "query", "--uri", kSms, "--projection", "_id:body", "--where",
                          "_id IN (" + join(ids, ",") + ")", "--sort", "_id"});
  if (r.ok() && !r.truncated && content_rows_unambiguous(r.out, "_id", ids)) {
    for (auto& row : parse_content_rows(r.out, {"_id", "body"})) bodies[row[0]] = row[1];
    return;
  }
  if (!r.ok() && !r.started) return;  // no tool: halves would fail alike
  size_t half = ids.size() / 2;
  read_bodies(std::vector<std::string>(ids.begin(), ids.begin() + half), bodies);
  read_bodies(std::vector<std::string>(ids.begin() + half, ids.end()), bodies);
}

void android_source::sms_list(uint32_t thread, const each_fn<sms>& each) {
  // First the short columns of every message (one call), then the bodies a page at a time
  // (one call each), so that frames leave as soon as their page is read.
  query q{kSms, {"_id", "thread_id", "date", "type", "read", "address"}, "", "_id"};
  if (thread) q.where = "thread_id=" + std::to_string(thread);
  auto rows = content_query(q);
  if (!rows) return;
  size_t page = kFirstBodyPage;
  for (size_t start = 0; start < rows->size(); start += page, page = std::min(page * 2, kMaxBodyPage)) {
    size_t end = std::min(rows->size(), start + page);
    std::vector<std::string> ids;
    for (size_t i = start; i < end; ++i)
      if (all_digits((*rows)[i][0])) ids.push_back((*rows)[i][0]);
    std::map<std::string, std::string> bodies;
    read_bodies(ids, bodies);
    for (size_t i = start; i < end; ++i) {
      const auto& row = (*rows)[i];
      sms m;
      m.id = static_cast<uint32_t>(number(row[0]));
      m.thread = static_cast<uint32_t>(number(row[1]));
      m.date = std::to_string(number(row[2]));
      m.type = static_cast<uint16_t>(number(row[3]));
      m.read = static_cast<uint16_t>(number(row[4]));
      m.number = text(row[5]);
      auto body = bodies.find(row[0]);
      m.content = body == bodies.end() ? std::string() : text(body->second);
      if (!each(m)) return;
    }
  }
}

uint32_t android_source::sms_count() {
  auto rows = content_query({kSms, {"_id"}, "", ""});
  return rows ? static_cast<uint32_t>(rows->size()) : 0;
}

send_outcome android_source::send_sms(const std::string& number, const std::string& body, sms&) {
  // The shell user cannot send on every Android version; the phone's own messaging app
  // opens with the text, and the user presses Send there.
  if (number.empty() || number.size() > 64 ||
      number.find_first_not_of("0123456789+*#-() ") != std::string::npos)
    return send_outcome::failed;
  command_result r = run({"am", "start", "-a", "android.intent.action.SENDTO", "-d", "sms:" + number, "--es", "sms_body", body});
  bool opened = r.ok() && r.out.find("Error") == std::string::npos && r.err.find("Error") == std::string::npos;
  return opened ? send_outcome::opened_on_phone : send_outcome::failed;
}

bool android_source::delete_sms(uint32_t id) {
  const std::string where = "_id=" + std::to_string(id);
  auto before = content_query({kSms, {"_id"}, where, ""});
  if (!before || before->empty()) return false;
  content_change({"delete", "--uri", std::string(kSms) + "/" + std::to_string(id)});
  auto after = content_query({kSms, {"_id"}, where, ""});
  return after && after->empty();
}

bool android_source::mark_thread_read(uint32_t thread) {
  const std::string where = "thread_id=" + std::to_string(thread) + " AND read=0";
  auto before = content_query({kSms, {"_id"}, where, ""});
  if (!before || before->empty()) return false;
  content_change({"update", "--uri", kSms, "--bind", "read:i:1", "--where", where});
  auto after = content_query({kSms, {"_id"}, where, ""});
  return after && after->empty();
}

// ---- Contacts --------------------------------------------------------------------------------

void android_source::contacts(const each_fn<contact>& each) {
  auto rows = content_query({kContactsData, {"contact_id", "data1", "display_name"},
                             std::string("mimetype='") + kPhoneType + "'", "contact_id"});
  if (!rows) return;
  std::string last;
  for (const auto& row : *rows) {
    if (row[0] == last) continue;  // one number per contact: the first
    last = row[0];
    if (!each(contact{row[0], text(row[2]), text(row[1])})) return;
  }
}

bool android_source::add_contact(const std::string& name, const std::string& phone_number, contact& added) {
  auto name_bind = bind_value("data1", 's', name), number_bind = bind_value("data1", 's', phone_number);
  if (!name_bind || !number_bind || name.empty()) return false;
  // The raw contact first; its id is the one above every id there was before.
  auto ids = content_query({kRawContacts, {"_id"}, "", "_id"});
  if (!ids) return false;
  uint64_t highest = 0;
  for (const auto& row : *ids) highest = std::max(highest, number(row[0]));
  if (!content_change({"insert", "--uri", kRawContacts, "--bind", "starred:i:0"})) return false;
  auto fresh = content_query({kRawContacts, {"_id"}, "_id>" + std::to_string(highest), "_id"});
  if (!fresh || fresh->empty()) return false;
  const std::string raw = (*fresh)[0][0];
  if (!all_digits(raw)) return false;
  // The name and number rows are independent: both inserts run at once, as every call
  // starts a VM on the phone and the host waits 5 s for the answer.
  auto name_row = std::async(std::launch::async, [&] {
    return content_change({"insert", "--uri", kContactsData, "--bind", "raw_contact_id:i:" + raw, "--bind",
                           std::string("mimetype:s:") + kNameType, "--bind", *name_bind});
  });
  content_change({"insert", "--uri", kContactsData, "--bind", "raw_contact_id:i:" + raw, "--bind",
                  std::string("mimetype:s:") + kPhoneType, "--bind", *number_bind, "--bind", "data2:i:2"});
  name_row.wait();
  auto check = content_query({kContactsData, {"contact_id", "data1"},
                              "raw_contact_id=" + raw + " AND mimetype='" + kPhoneType + "'", ""});
  if (!check || check->empty() || text((*check)[0][1]) != phone_number) return false;
  added = contact{(*check)[0][0], name, phone_number};
  return true;
}

bool android_source::delete_contact(const std::string& id) {
  if (!all_digits(id)) return false;
  auto before = content_query({kContacts, {"_id"}, "_id=" + id, ""});
  if (!before || before->empty()) return false;
  content_change({"delete", "--uri", std::string(kContacts) + "/" + id});
  auto after = content_query({kContacts, {"_id"}, "_id=" + id, ""});
  return after && after->empty();
}

// ---- Media -----------------------------------------------------------------------------------

void android_source::songs(const each_fn<music>& each) {
  auto rows = content_query({kAudio, {"_id", "duration", "_size", "is_ringtone", "album", "artist", "_data"}, "", "_id"});
  if (!rows) return;
  for (const auto& r : *rows) {
    music m{static_cast<uint32_t>(number(r[0])), text(r[4]), text(r[5]), text(r[6]),
            static_cast<uint32_t>(number(r[1]) / 1000), number(r[2]), static_cast<uint16_t>(number(r[3]) ? 1 : 0)};
    if (!each(m)) return;
  }
}

void android_source::pictures(const each_fn<picture>& each) {
  auto rows = content_query({kImages, {"_id", "_size", "datetaken", "date_added", "_data"}, "", "_id"});
  if (!rows) return;
  for (const auto& r : *rows) {
    uint64_t taken = number(r[2]) ? number(r[2]) / 1000 : number(r[3]);  // taken in ms, added in s
    if (!each(picture{static_cast<uint32_t>(number(r[0])), text(r[4]), static_cast<uint32_t>(taken), number(r[1])})) return;
  }
}

void android_source::videos(const each_fn<video>& each) {
  auto rows = content_query({kVideo, {"_id", "_size", "_data"}, "", "_id"});
  if (!rows) return;
  for (const auto& r : *rows)
    if (!each(video{static_cast<uint32_t>(number(r[0])), text(r[2]), number(r[1])})) return;
}

// The media store's thumbnail of a video, where it made one (a gallery showed the video);
// the shell user may read the store's thumbnail table and the files it names.
std::string android_source::video_thumbnail_file(const std::string& path) {
  auto ids = content_query({kVideo, {"_id"}, "_data=" + sql_text(path), ""});
  if (!ids || ids->empty() || !all_digits((*ids)[0][0])) return {};
  auto rows = content_query({kVideoThumbnails, {"_data"}, "video_id=" + (*ids)[0][0], ""});
  for (const auto& r : rows ? *rows : std::vector<std::vector<std::string>>{}) {
    std::string local = paths_.local(text(r[0]));
    struct stat st {};
    if (!local.empty() && ::stat(local.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        st.st_size <= kMaxThumbnailBytes)
      return local;
  }
  return {};
}

bool android_source::set_ringtone(const std::string& path) {
  auto rows = content_query({kAudio, {"_id"}, "_data=" + sql_text(path), ""});
  if (!rows || rows->empty() || !all_digits((*rows)[0][0])) return false;
  const std::string uri = std::string(kAudio) + "/" + (*rows)[0][0];
  run({"cmd", "settings", "put", "system", "ringtone", uri});
  command_result check = run({"cmd", "settings", "get", "system", "ringtone"});
  std::string now = check.out.substr(0, check.out.find('\n'));
  return check.ok() && now == uri;
}

// ---- Files ---------------------------------------------------------------------------------

bool android_source::delete_file(const std::string& path) {
  std::string local = paths_.local(path);
  struct stat st {};
  if (local.empty() || !phone_paths::writable_area(path) || ::lstat(local.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  if (::unlink(local.c_str()) != 0) return false;
  // The media store keeps a file's row until its next scan; without this the media lists
  // would go on naming the deleted file.
  for (const char* uri : {kImages, kVideo, kAudio}) content_change({"delete", "--uri", uri, "--where", "_data=" + sql_text(path)});
  return true;
}

bool android_source::make_folder(const std::string& path) {
  std::string local = paths_.local(path);
  if (local.empty() || !phone_paths::writable_area(path) || !make_parent_folders(local)) return false;
  return ::mkdir(local.c_str(), 0775) == 0;
}

// ---- Apps ------------------------------------------------------------------------------------

std::vector<package_line> android_source::package_lines() {
  command_result r = run({"cmd", "package", "list", "packages", "-f", "-3", "-U", "--show-versioncode"});
  if (r.out.find("package:") == std::string::npos)  // older versions lack some options
    r = run({"cmd", "package", "list", "packages", "-f", "-3"});
  std::vector<package_line> out;
  size_t start = 0;
  while (start < r.out.size()) {
    size_t end = r.out.find('\n', start);
    if (end == std::string::npos) end = r.out.size();
    if (auto p = parse_package_line(r.out.substr(start, end - start))) out.push_back(*p);
    start = end + 1;
  }
  // Newer versions list in no particular order and may repeat a package per user.
  std::sort(out.begin(), out.end(), [](const package_line& a, const package_line& b) { return a.package < b.package; });
  out.erase(std::unique(out.begin(), out.end(), [](const package_line& a, const package_line& b) { return a.package == b.package; }),
            out.end());
  return out;
}

void android_source::apps(const each_fn<app>& each) {
  for (const auto& p : package_lines()) {
    package_details d = parse_dumpsys_package(run({"dumpsys", "package", p.package}).out, p.package);
    app a;
    struct stat st {};
    std::string local = paths_.local(p.path);
    if (!local.empty() && ::stat(local.c_str(), &st) == 0) a.size = static_cast<uint32_t>(std::min<uint64_t>(st.st_size, UINT32_MAX));
    a.location = p.path.rfind("/mnt/", 0) == 0 ? 1 : 0;
    a.name = p.package;  // the label is not readable by the shell user
    a.package = p.package;
    a.version = d.version_name;
    a.version_code = !p.version_code.empty() ? p.version_code : d.version_code;
    a.installed = d.first_install;
    if (!each(a)) return;
  }
}

namespace {
bool package_name(const std::string& package) {
  return !package.empty() &&
         package.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._") == std::string::npos;
}
} // namespace

// `cmd package path` names the base package file first ("package:/data/app/.../base.apk"),
// then any split ones.
std::string android_source::app_file(const std::string& package) {
  if (!package_name(package)) return {};
  command_result r = run({"cmd", "package", "path", package});
  const std::string first = r.out.substr(0, r.out.find('\n'));
  const std::string prefix = "package:";
  if (!r.ok() || first.compare(0, prefix.size(), prefix) != 0) return {};
  return paths_.local(first.substr(prefix.size()));
}

bool android_source::uninstall(const std::string& package) {
  if (!package_name(package)) return false;
  command_result r = run({"cmd", "package", "uninstall", package});
  return r.ok() && r.out.find("Success") != std::string::npos;
}

bool android_source::install(const std::string& path, std::string& answer) {
  std::string local = paths_.local(path);
  if (local.empty()) {
    answer = "Failure [not a path on the phone: " + path + "]";
    return false;
  }
  command_result r = run({"cmd", "package", "install", "-r", local});
  std::string out = r.out + r.err;
  size_t line = out.find("Success");
  if (r.ok() && line != std::string::npos) {
    answer = "Success";
    return true;
  }
  size_t failure = out.find("Failure");
  answer = failure != std::string::npos ? out.substr(failure, out.find('\n', failure) - failure)
           : !r.started                 ? "Failure [" + r.error + "]"
           : r.timed_out                ? "Failure [the phone did not answer in time]"
                                        : "Failure [no answer from the package manager]";
  return false;
}

// ---- Files and the device --------------------------------------------------------------------

void android_source::files(const std::string& list, const each_fn<file_entry>& each) { walk_listing(paths_, list, each); }

std::optional<std::pair<uint64_t, uint64_t>> android_source::storage_bytes(const std::string& phone_folder) {
  std::string local = paths_.local(phone_folder);
  command_result r = run({"stat", "-f", "-c", "%s %b %a", local});
  return r.ok() ? parse_stat_fs(r.out) : std::nullopt;
}

device_summary android_source::summary() {
  // Every figure comes from a tool of its own, and a provider query starts a VM on the
  // phone: the groups run side by side, so the answer takes about as long as the slowest
  // of them rather than all of them in a row (the host waits 5 s for a frame).
  auto in_parallel = [](auto fn) { return std::async(std::launch::async, fn); };
  auto props = in_parallel([this] { return properties(); });
  auto battery = in_parallel([this] { return parse_colon_lines(run({"dumpsys", "battery"}).out); });
  auto data = in_parallel([this] { return storage_bytes("/data"); });
  auto card = in_parallel([this] { return storage_bytes(phone_paths::kStorage); });
  auto sms = in_parallel([this] { return sms_count(); });
  auto people = in_parallel([this] {
    uint32_t n = 0;
    contacts([&](const contact&) { return ++n, true; });
    return n;
  });
  auto apps = in_parallel([this] { return static_cast<uint32_t>(package_lines().size()); });

  device_summary s;
  auto p = props.get();
  auto b = battery.get();
  s.battery = static_cast<uint32_t>(to_u64(b["level"]));
  s.sdk = static_cast<uint32_t>(to_u64(p["ro.build.version.sdk"]));
  s.model = p["ro.product.model"];
  s.android = p["ro.build.version.release"];
  if (auto d = data.get()) s.storage_total = d->first, s.storage_free = d->second;
  if (auto c = card.get()) s.card_total = c->first, s.card_free = c->second, s.card_present = 1;
  s.sms = sms.get();
  s.contacts = people.get();
  s.apps = apps.get();
  return s;
}

std::string android_source::model() {
  command_result r = run({"getprop", "ro.product.model"});
  return r.out.substr(0, r.out.find('\n'));
}

uint64_t android_source::free_mb() {
  auto data = storage_bytes("/data");
  return data ? data->second / (1024 * 1024) : 0;
}

// ---- Notifications ---------------------------------------------------------------------------

void android_source::notices(bool on_connect, const each_fn<frame>& out) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<frame> due;
  // The battery on every poll (dumpsys is cheap); the providers, which start a VM per
  // query, every third poll only.
  auto battery = parse_colon_lines(run({"dumpsys", "battery"}).out);
  if (battery.count("level")) {
    std::string t = "battery " + battery["level"] + "%" + (battery["status"] == "2" ? " charging" : "");
    if (on_connect || t != battery_text_) due.push_back(std::move(frame(notify::kBattery).str(t)));
    battery_text_ = t;
  }
  auto highest = [&](const char* uri, const std::string& where) -> uint64_t {
    auto rows = content_query({uri, {"_id"}, where, ""});
    uint64_t top = 0;
    if (rows)
      for (const auto& r : *rows) top = std::max(top, number(r[0]));
    return top;
  };
  if (on_connect || !watching_) {
    last_sms_ = highest(kSms, "type=1");
    last_image_ = highest(kImages, "");
    last_video_ = highest(kVideo, "");
    last_audio_ = highest(kAudio, "");
    watching_ = true;
  } else if (++polls_ % 3 == 0) {
    auto fresh = content_query({kSms, {"_id", "thread_id", "date", "read", "address"}, "type=1 AND _id>" + std::to_string(last_sms_), "_id"});
    for (const auto& r : fresh ? *fresh : std::vector<std::vector<std::string>>{}) {
      last_sms_ = std::max(last_sms_, number(r[0]));
      auto body = content_query({kSms, {"_id", "body"}, "_id=" + std::to_string(number(r[0])), ""});
      std::string content = body && body->size() == 1 ? text((*body)[0][1]) : "";
      due.push_back(std::move(frame(notify::kNewSms).u8(1).str(text(r[4])).str(content).str(std::to_string(number(r[2])))
                                  .u16(1).u32(static_cast<uint32_t>(number(r[0]))).u32(static_cast<uint32_t>(number(r[1])))
                                  .u16(static_cast<uint16_t>(number(r[3])))));
    }
    auto images = content_query({kImages, {"_id", "_size", "_data"}, "_id>" + std::to_string(last_image_), "_id"});
    for (const auto& r : images ? *images : std::vector<std::vector<std::string>>{}) {
      last_image_ = std::max(last_image_, number(r[0]));
      due.push_back(std::move(frame(notify::kPhotoAdded).u8(1).u32(static_cast<uint32_t>(number(r[0]))).u32(1).str(text(r[2])).u64(number(r[1]))));
    }
    auto videos = content_query({kVideo, {"_id", "_size", "_data"}, "_id>" + std::to_string(last_video_), "_id"});
    for (const auto& r : videos ? *videos : std::vector<std::vector<std::string>>{}) {
      last_video_ = std::max(last_video_, number(r[0]));
      due.push_back(std::move(frame(notify::kVideoAdded).u8(1).u32(static_cast<uint32_t>(number(r[0]))).u32(1).str(text(r[2])).u32(0).u64(number(r[1]))));
    }
    auto audio = content_query({kAudio, {"_id", "duration", "_size", "is_ringtone", "album", "artist", "_data"},
                                "_id>" + std::to_string(last_audio_), "_id"});
    for (const auto& r : audio ? *audio : std::vector<std::vector<std::string>>{}) {
      last_audio_ = std::max(last_audio_, number(r[0]));
      due.push_back(std::move(frame(notify::kMusicAdded).u8(1).u32(static_cast<uint32_t>(number(r[0]))).u32(1).str(text(r[4]))
                                  .str(text(r[5])).str(text(r[6])).u32(static_cast<uint32_t>(number(r[1]) / 1000))
                                  .u64(number(r[2])).u16(number(r[3]) ? 1 : 0)));
    }
  }
  for (const auto& f : due)
    if (!out(f)) return;
}

} // namespace kit::agent
