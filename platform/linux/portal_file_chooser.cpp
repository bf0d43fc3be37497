#include "platform/portal_file_chooser.h"

#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/dbus_buses.h"
#include "platform/desktop_session.h"
#include "platform/process_info.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform {
namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kChooser = "org.freedesktop.portal.FileChooser";

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
  if (LAZY_SD(sd_bus_message_enter_container)(m, 'a', "{sv}") < 0) return 0;
  while (LAZY_SD(sd_bus_message_enter_container)(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0) break;
    if (std::string(key) == "uris" && LAZY_SD(sd_bus_message_enter_container)(m, 'v', "as") > 0) {
      if (LAZY_SD(sd_bus_message_enter_container)(m, 'a', "s") > 0) {
        const char* uri = nullptr;
        while (sd_bus_message_read(m, "s", &uri) > 0) state->uris.push_back(uri);
        LAZY_SD(sd_bus_message_exit_container)(m);
      }
      LAZY_SD(sd_bus_message_exit_container)(m);
    } else {
      LAZY_SD(sd_bus_message_skip)(m, "v");
    }
    LAZY_SD(sd_bus_message_exit_container)(m);
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
  if (LAZY_SD(sd_bus_get_unique_name)(bus, &unique) < 0 || !unique) return {};
  std::string sender = unique[0] == ':' ? unique + 1 : unique;
  for (char& c : sender)
    if (c == '.') c = '_';
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

int append_options(sd_bus_message* m, const file_chooser_request& r, const std::string& token) {
  int rc = LAZY_SD(sd_bus_message_open_container)(m, 'a', "{sv}");
  auto boolean = [&](const char* key, bool value) {
    if (rc >= 0) rc = sd_bus_message_append(m, "{sv}", key, "b", value ? 1 : 0);
  };
  if (rc >= 0) rc = sd_bus_message_append(m, "{sv}", "handle_token", "s", token.c_str());
  boolean("modal", true);
  if (r.open) boolean("multiple", r.multiple);
  if (r.open) boolean("directory", r.directory);
  if (!r.filters.empty() && rc >= 0) {
    rc = LAZY_SD(sd_bus_message_open_container)(m, 'e', "sv");
    if (rc >= 0) rc = sd_bus_message_append(m, "s", "filters");
    if (rc >= 0) rc = LAZY_SD(sd_bus_message_open_container)(m, 'v', "a(sa(us))");
    if (rc >= 0) rc = LAZY_SD(sd_bus_message_open_container)(m, 'a', "(sa(us))");
    for (const auto& [name, patterns] : r.filters) {
      if (rc >= 0) rc = LAZY_SD(sd_bus_message_open_container)(m, 'r', "sa(us)");
      if (rc >= 0) rc = sd_bus_message_append(m, "s", name.c_str());
      if (rc >= 0) rc = LAZY_SD(sd_bus_message_open_container)(m, 'a', "(us)");
      for (const std::string& p : patterns)
        if (rc >= 0) rc = sd_bus_message_append(m, "(us)", 0u, p.c_str());
      for (int i = 0; i < 2 && rc >= 0; ++i) rc = LAZY_SD(sd_bus_message_close_container)(m);
    }
    for (int i = 0; i < 3 && rc >= 0; ++i) rc = LAZY_SD(sd_bus_message_close_container)(m);
  }
  if (!r.current_folder.empty() && rc >= 0) {
    // A path as the portal takes it: bytes with their terminating zero.
    rc = LAZY_SD(sd_bus_message_open_container)(m, 'e', "sv");
    if (rc >= 0) rc = sd_bus_message_append(m, "s", "current_folder");
    if (rc >= 0) rc = LAZY_SD(sd_bus_message_open_container)(m, 'v', "ay");
    if (rc >= 0) rc = LAZY_SD(sd_bus_message_append_array)(m, 'y', r.current_folder.c_str(), r.current_folder.size() + 1);
    for (int i = 0; i < 2 && rc >= 0; ++i) rc = LAZY_SD(sd_bus_message_close_container)(m);
  }
  if (!r.open && !r.current_name.empty() && rc >= 0)
    rc = sd_bus_message_append(m, "{sv}", "current_name", "s", r.current_name.c_str());
  if (rc >= 0) rc = LAZY_SD(sd_bus_message_close_container)(m);
  return rc;
}

} // namespace




std::vector<std::string> choose_file_uris(const file_chooser_request& request) {
  sd_bus* bus = kit::platform::dbus::session_bus();
  if (!bus) {
    note_no_desktop("session bus");
    return {};
  }
  static std::atomic<unsigned> counter{0};
  const std::string token = "mobrevist" + std::to_string(current_process_id()) + "_" + std::to_string(++counter);
  response_state state;
  // Subscribe before asking, so an answer that comes at once is not missed.
  sd_bus_slot* slot = nullptr;
  std::string path = request_path(bus, token);
  if (path.empty() || LAZY_SD(sd_bus_match_signal)(bus, &slot, kPortal, path.c_str(), "org.freedesktop.portal.Request",
                                          "Response", on_response, &state) < 0)
    return {};
  sd_bus_slot* owner_slot = nullptr;
  LAZY_SD(sd_bus_add_match)(bus, &owner_slot,
                   "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                   "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.freedesktop.portal.Desktop'",
                   on_owner_changed, &state);
  std::vector<std::string> chosen;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int rc = LAZY_SD(sd_bus_message_new_method_call)(bus, &call, kPortal, kPortalPath, kChooser,
                                          request.open ? "OpenFile" : "SaveFile");
  if (rc >= 0) rc = sd_bus_message_append(call, "ss", "", request.title.c_str());
  if (rc >= 0) rc = append_options(call, request, token);
  if (rc >= 0) rc = LAZY_SD(sd_bus_call)(bus, call, 0, &error, &reply);
  const char* handle = nullptr;
  if (rc >= 0) rc = sd_bus_message_read(reply, "o", &handle);
  sd_bus_slot* other_slot = nullptr;
  if (rc >= 0 && handle && path != handle)  // an older portal picks its own path
    LAZY_SD(sd_bus_match_signal)(bus, &other_slot, kPortal, handle, "org.freedesktop.portal.Request", "Response", on_response,
                        &state);
  // The dialog is modal: wait for the user's answer while the bus lives.
  while (rc >= 0 && !state.done) {
    int processed = LAZY_SD(sd_bus_process)(bus, nullptr);
    if (processed < 0) break;
    if (processed == 0 && LAZY_SD(sd_bus_wait)(bus, UINT64_MAX) < 0) break;
  }
  if (state.done && state.code == 0) {
    chosen = state.uris;
  }
  LAZY_SD(sd_bus_slot_unref)(owner_slot);
  LAZY_SD(sd_bus_slot_unref)(other_slot);
  LAZY_SD(sd_bus_slot_unref)(slot);
  LAZY_SD(sd_bus_message_unref)(reply);
  LAZY_SD(sd_bus_message_unref)(call);
  LAZY_SD(sd_bus_error_free)(&error);
  return chosen;
}

} // namespace kit::platform
