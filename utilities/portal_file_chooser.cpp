#include "utilities/portal_file_chooser.h"

#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/dbus_buses.h"
#include "utilities/desktop_session.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kChooser = "org.freedesktop.portal.FileChooser";

bool is_dir(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The answer of one request: filled by the Response signal.
struct response_state {
  bool done = false;
  uint32_t code = 2;
  std::vector<std::string> uris;
};

int on_response(sd_bus_message* m, void* user, sd_bus_error*) {
  auto* state = static_cast<response_state*>(user);
  state->done = true;
  if (sd_bus_message_read(m, "u", &state->code) < 0) return 0;
  if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0) break;
    if (std::string(key) == "uris" && sd_bus_message_enter_container(m, 'v', "as") > 0) {
      if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
        const char* uri = nullptr;
        while (sd_bus_message_read(m, "s", &uri) > 0) state->uris.push_back(uri);
        sd_bus_message_exit_container(m);
      }
      sd_bus_message_exit_container(m);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  return 0;
}

// The portal leaving the bus ends a request it can no longer answer.
int on_owner_changed(sd_bus_message* m, void* user, sd_bus_error*) {
  const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
  if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0) return 0;
  if (new_owner && !*new_owner) static_cast<response_state*>(user)->done = true;
  return 0;
}

// The request path the portal will use for this sender and token.
std::string request_path(sd_bus* bus, const std::string& token) {
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus, &unique) < 0 || !unique) return {};
  std::string sender = unique[0] == ':' ? unique + 1 : unique;
  for (char& c : sender)
    if (c == '.') c = '_';
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

int append_options(sd_bus_message* m, const file_dialog_request& r, const std::string& token) {
  int rc = sd_bus_message_open_container(m, 'a', "{sv}");
  auto boolean = [&](const char* key, bool value) {
    if (rc >= 0) rc = sd_bus_message_append(m, "{sv}", key, "b", value ? 1 : 0);
  };
  if (rc >= 0) rc = sd_bus_message_append(m, "{sv}", "handle_token", "s", token.c_str());
  boolean("modal", true);
  if (r.open) boolean("multiple", r.multiple);
  if (r.open) boolean("directory", r.directory);
  auto filters = parse_filter(r.filter);
  if (!filters.empty() && rc >= 0) {
    rc = sd_bus_message_open_container(m, 'e', "sv");
    if (rc >= 0) rc = sd_bus_message_append(m, "s", "filters");
    if (rc >= 0) rc = sd_bus_message_open_container(m, 'v', "a(sa(us))");
    if (rc >= 0) rc = sd_bus_message_open_container(m, 'a', "(sa(us))");
    for (const auto& [name, patterns] : filters) {
      if (rc >= 0) rc = sd_bus_message_open_container(m, 'r', "sa(us)");
      if (rc >= 0) rc = sd_bus_message_append(m, "s", name.c_str());
      if (rc >= 0) rc = sd_bus_message_open_container(m, 'a', "(us)");
      for (const std::string& p : patterns)
        if (rc >= 0) rc = sd_bus_message_append(m, "(us)", 0u, p.c_str());
      for (int i = 0; i < 2 && rc >= 0; ++i) rc = sd_bus_message_close_container(m);
    }
    for (int i = 0; i < 3 && rc >= 0; ++i) rc = sd_bus_message_close_container(m);
  }
  if (!r.initial_folder.empty() && rc >= 0) {
    // A path as the portal takes it: bytes with their terminating zero.
    rc = sd_bus_message_open_container(m, 'e', "sv");
    if (rc >= 0) rc = sd_bus_message_append(m, "s", "current_folder");
    if (rc >= 0) rc = sd_bus_message_open_container(m, 'v', "ay");
    if (rc >= 0) rc = sd_bus_message_append_array(m, 'y', r.initial_folder.c_str(), r.initial_folder.size() + 1);
    for (int i = 0; i < 2 && rc >= 0; ++i) rc = sd_bus_message_close_container(m);
  }
  if (!r.open && !r.initial_name.empty() && rc >= 0)
    rc = sd_bus_message_append(m, "{sv}", "current_name", "s", file_name(r.initial_name).c_str());
  if (rc >= 0) rc = sd_bus_message_close_container(m);
  return rc;
}

} // namespace

std::vector<std::pair<std::string, std::vector<std::string>>> parse_filter(const std::string& filter) {
  std::vector<std::string> fields;
  size_t at = 0;
  while (at <= filter.size()) {
    size_t bar = filter.find('|', at);
    if (bar == std::string::npos) bar = filter.size();
    fields.push_back(filter.substr(at, bar - at));
    at = bar + 1;
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    std::vector<std::string> patterns;
    const std::string& list = fields[i + 1];
    for (size_t p = 0; p <= list.size();) {
      size_t semi = list.find(';', p);
      if (semi == std::string::npos) semi = list.size();
      std::string one = list.substr(p, semi - p);
      while (!one.empty() && one.front() == ' ') one.erase(0, 1);
      if (!one.empty()) patterns.push_back(one);
      p = semi + 1;
    }
    if (!fields[i].empty() && !patterns.empty()) out.emplace_back(fields[i], std::move(patterns));
  }
  return out;
}

std::string path_of_file_uri(const std::string& uri) {
  const std::string scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return {};
  std::string rest = uri.substr(scheme.size());
  size_t slash = rest.find('/');  // skip an authority ("localhost")
  if (slash == std::string::npos) return {};
  rest = rest.substr(slash);
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    int hi, lo;
    if (rest[i] == '%' && i + 2 < rest.size() && (hi = hex(rest[i + 1])) >= 0 && (lo = hex(rest[i + 2])) >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += rest[i];
    }
  }
  return out;
}

std::string nearest_existing_folder(const std::string& path) {
  std::string p = native_path(path);
  while (!p.empty() && !is_dir(p)) {
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return {};
    p = slash == 0 ? std::string("/") : p.substr(0, slash);
    if (p == "/" && !is_dir(p)) return {};
  }
  return p.empty() ? std::string() : with_separator(p);
}

std::vector<std::string> choose_files(const file_dialog_request& request) {
  sd_bus* bus = kit::platform::dbus::session_bus();
  if (!bus) {
    note_no_desktop("session bus");
    return {};
  }
  static std::atomic<unsigned> counter{0};
  const std::string token = "mobrevist" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  response_state state;
  // Subscribe before asking, so an answer that comes at once is not missed.
  sd_bus_slot* slot = nullptr;
  std::string path = request_path(bus, token);
  if (path.empty() || sd_bus_match_signal(bus, &slot, kPortal, path.c_str(), "org.freedesktop.portal.Request",
                                          "Response", on_response, &state) < 0)
    return {};
  sd_bus_slot* owner_slot = nullptr;
  sd_bus_add_match(bus, &owner_slot,
                   "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                   "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.freedesktop.portal.Desktop'",
                   on_owner_changed, &state);
  std::vector<std::string> chosen;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int rc = sd_bus_message_new_method_call(bus, &call, kPortal, kPortalPath, kChooser,
                                          request.open ? "OpenFile" : "SaveFile");
  if (rc >= 0) rc = sd_bus_message_append(call, "ss", "", request.title.c_str());
  if (rc >= 0) rc = append_options(call, request, token);
  if (rc >= 0) rc = sd_bus_call(bus, call, 0, &error, &reply);
  const char* handle = nullptr;
  if (rc >= 0) rc = sd_bus_message_read(reply, "o", &handle);
  sd_bus_slot* other_slot = nullptr;
  if (rc >= 0 && handle && path != handle)  // an older portal picks its own path
    sd_bus_match_signal(bus, &other_slot, kPortal, handle, "org.freedesktop.portal.Request", "Response", on_response,
                        &state);
  // The dialog is modal: wait for the user's answer while the bus lives.
  while (rc >= 0 && !state.done) {
    int processed = sd_bus_process(bus, nullptr);
    if (processed < 0) break;
    if (processed == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) break;
  }
  if (state.done && state.code == 0) {
    for (const std::string& uri : state.uris) {
      std::string p = path_of_file_uri(uri);
      if (p.empty()) continue;
      if (!request.open && !request.default_ext.empty() && file_ext(p).empty()) p += "." + request.default_ext;
      chosen.push_back(p);
    }
  }
  sd_bus_slot_unref(owner_slot);
  sd_bus_slot_unref(other_slot);
  sd_bus_slot_unref(slot);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_error_free(&error);
  return chosen;
}

} // namespace kit::utilities
