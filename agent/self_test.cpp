#include "agent/self_test.h"

#include <unistd.h>

#include <functional>
#include <vector>

#include "agent/version.h"

namespace kit::agent {

namespace {
struct check {
  const char* name;
  std::function<std::string(bool&)> run;  // sets ok; returns the detail
};

std::string count_detail(const std::optional<std::vector<std::vector<std::string>>>& rows, const char* what,
                         const std::string& why, bool& ok) {
  ok = rows.has_value();
  if (!ok) return why.empty() ? "the query failed" : why;
  if (rows->empty()) return std::string("none visible (Android also answers a refused read with an empty list)");
  return std::to_string(rows->size()) + " " + what;
}

std::string first_line(const std::string& s) { return s.substr(0, s.find('\n')); }

// What the phone printed reaches a terminal: control characters become '?'.
std::string printable(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return s;
}
} // namespace

std::string self_test_report(android_source& phone) {
  auto props = phone.properties();
  std::string out = "mobrevist-agent " MOBREVIST_AGENT_VERSION " self-test\n";
  out += "phone: " + printable(props["ro.product.manufacturer"] + " " + props["ro.product.model"] + ", Android " +
                             props["ro.build.version.release"] + " (SDK " + props["ro.build.version.sdk"] + ")") +
         ", running as uid " + std::to_string(::getuid()) + "\n\n";
  auto query = [&](const char* uri, const char* what) {
    return [&phone, uri, what](bool& ok) {
      std::string why;
      auto rows = phone.content_query({uri, {"_id"}, "", ""}, &why);
      return count_detail(rows, what, why, ok);
    };
  };
  auto command = [&](std::vector<std::string> argv, std::function<bool(const command_result&)> good, std::string yes) {
    return [&phone, argv, good, yes](bool& ok) {
      command_result r = phone.run(argv);
      ok = r.started && good(r);
      if (ok) return yes;
      if (!r.started) return r.error;
      if (r.timed_out) return argv[0] + " did not answer in time";
      std::string said = first_line(r.err.empty() ? r.out : r.err);
      return argv[0] + " failed" + (said.empty() ? "" : ": " + said);
    };
  };
  std::vector<check> checks = {
      {"read SMS", query("content://sms", "messages (received and sent)")},
      {"change SMS", [](bool& ok) {
         ok = false;
         return std::string("Android ignores SMS changes by the shell user unless its WRITE_SMS app-op is allowed;"
                            " each delete or mark-read is checked and reported when ignored");
       }},
      {"send SMS", command({"am", "help"}, [](const command_result& r) { return r.started; },
                           "opens the phone's messaging app with the text; press Send there")},
      {"read contacts", query("content://com.android.contacts/contacts", "contacts")},
      {"write contacts", command({"dumpsys", "package", "com.android.shell"},
                                 [](const command_result& r) {
                                   return r.out.find("android.permission.WRITE_CONTACTS: granted=true") != std::string::npos;
                                 },
                                 "the shell user holds WRITE_CONTACTS")},
      {"music", query("content://media/external/audio/media", "songs")},
      {"pictures", query("content://media/external/images/media", "pictures")},
      {"videos", query("content://media/external/video/media", "videos")},
      {"apps", command({"cmd", "package", "list", "packages", "-3"},
                       [](const command_result& r) { return r.ok() && r.out.find("package:") != std::string::npos; },
                       "installed apps listed; install and uninstall through the package manager")},
      {"battery", command({"dumpsys", "battery"},
                          [](const command_result& r) { return r.ok() && r.out.find("level:") != std::string::npos; },
                          "level and charging state")},
      {"notifications", command({"dumpsys", "notification", "--noredact"},
                                [](const command_result& r) { return r.ok() && r.out.find("Notification") != std::string::npos; },
                                "new SMS, pictures, videos and songs are looked for every few seconds")},
      {"storage", [&phone](bool& ok) {
         std::string local = phone.paths().local("/sdcard");
         command_result r = phone.run({"stat", "-f", "-c", "%s %b %a", local});
         auto bytes = r.ok() ? parse_stat_fs(r.out) : std::nullopt;
         bool writable = ::access(local.c_str(), W_OK) == 0;
         ok = bytes.has_value() && writable;
         if (!bytes) return std::string("stat -f /sdcard failed: ") + first_line(r.started ? r.err : r.error);
         if (!writable) return std::string("/sdcard is not writable by this user");
         return std::to_string(bytes->second / (1024 * 1024)) + " MB free of " + std::to_string(bytes->first / (1024 * 1024)) +
                " MB; push and pull work there";
       }},
  };
  for (auto& c : checks) {
    bool ok = false;
    std::string detail = c.run(ok);
    std::string name = c.name;
    name.resize(16, ' ');
    out += name + (ok ? "yes  " : "no   ") + printable(detail) + "\n";
  }
  return out;
}

} // namespace kit::agent
