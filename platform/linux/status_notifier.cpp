#include "platform/status_notifier.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "platform/dbus_buses.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform {

struct status_notifier::state {
  std::function<void(int)> on_click;
  sd_bus* bus = nullptr;
  sd_bus_slot* slot = nullptr;
  sd_bus_slot* watcher_match = nullptr;
  std::string name;
  std::string title;
  pixmap icon;
};

namespace {

constexpr const char* kPath = "/StatusNotifierItem";
constexpr const char* kInterface = "org.kde.StatusNotifierItem";

using item_state = status_notifier::state;

int append_pixmaps(sd_bus_message* m, const status_notifier::pixmap& icon) {
  int r = LAZY_SD(sd_bus_message_open_container)(m, 'a', "(iiay)");
  if (r < 0) return r;
  if (icon.width > 0 && icon.height > 0) {
    if ((r = LAZY_SD(sd_bus_message_open_container)(m, 'r', "iiay")) < 0) return r;
    if ((r = sd_bus_message_append(m, "ii", icon.width, icon.height)) < 0) return r;
    if ((r = LAZY_SD(sd_bus_message_append_array)(m, 'y', icon.argb.data(), icon.argb.size())) < 0) return r;
    if ((r = LAZY_SD(sd_bus_message_close_container)(m)) < 0) return r;
  }
  return LAZY_SD(sd_bus_message_close_container)(m);
}

int get_property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* userdata,
                 sd_bus_error*) {
  auto* s = static_cast<item_state*>(userdata);
  if (!std::strcmp(property, "Category")) return sd_bus_message_append(reply, "s", "ApplicationStatus");
  if (!std::strcmp(property, "Id")) return sd_bus_message_append(reply, "s", "mobrevist");
  if (!std::strcmp(property, "Title")) return sd_bus_message_append(reply, "s", s->title.c_str());
  if (!std::strcmp(property, "Status")) return sd_bus_message_append(reply, "s", "Active");
  if (!std::strcmp(property, "WindowId")) return sd_bus_message_append(reply, "i", 0);
  if (!std::strcmp(property, "IconName")) return sd_bus_message_append(reply, "s", "");
  if (!std::strcmp(property, "ItemIsMenu")) return sd_bus_message_append(reply, "b", 0);
  if (!std::strcmp(property, "IconPixmap")) return append_pixmaps(reply, s->icon);
  if (!std::strcmp(property, "ToolTip")) {
    int r = LAZY_SD(sd_bus_message_open_container)(reply, 'r', "sa(iiay)ss");
    if (r < 0) return r;
    if ((r = sd_bus_message_append(reply, "s", "")) < 0) return r;
    if ((r = append_pixmaps(reply, {})) < 0) return r;
    if ((r = sd_bus_message_append(reply, "ss", s->title.c_str(), "")) < 0) return r;
    return LAZY_SD(sd_bus_message_close_container)(reply);
  }
  return -ENOENT;
}

int click(sd_bus_message* m, item_state* s, int message) {
  // Answer first: the script functions may take their time or show things.
  int r = sd_bus_reply_method_return(m, "");
  if (s->on_click) s->on_click(message);
  return r;
}
int on_activate(sd_bus_message* m, void* userdata, sd_bus_error*) {
  return click(m, static_cast<item_state*>(userdata), status_notifier::kLeftDoubleClick);
}
int on_context_menu(sd_bus_message* m, void* userdata, sd_bus_error*) {
  return click(m, static_cast<item_state*>(userdata), status_notifier::kRightButtonUp);
}
int on_secondary(sd_bus_message* m, void* userdata, sd_bus_error*) {
  return click(m, static_cast<item_state*>(userdata), status_notifier::kMiddleButtonUp);
}
int on_scroll(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", get_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", get_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("Status", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("WindowId", "i", get_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", get_property, 0, 0),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", get_property, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", get_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Activate", "ii", "", on_activate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", on_secondary, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ContextMenu", "ii", "", on_context_menu, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Scroll", "is", "", on_scroll, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END};

// The watcher (when there is one) tells the desktop's tray; the answer is not waited for.
void register_item(item_state& s) {
  LAZY_SD(sd_bus_call_method_async)(s.bus, nullptr, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                           "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem", nullptr, nullptr, "s",
                           s.name.c_str());
}

// A watcher that appears later (the desktop's panel restarting) learns of the item too.
int on_owner_changed(sd_bus_message* m, void* userdata, sd_bus_error*) {
  const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
  if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0) return 0;
  auto* s = static_cast<item_state*>(userdata);
  if (s->slot && name && new_owner && *new_owner && !std::strcmp(name, "org.kde.StatusNotifierWatcher"))
    register_item(*s);
  return 0;
}

void emit(item_state& s, const char* signal) {
  if (s.slot) sd_bus_emit_signal(s.bus, kPath, kInterface, signal, "");
}

} // namespace

status_notifier::status_notifier(std::function<void(int)> on_click) : state_(std::make_unique<state>()) {
  state_->on_click = std::move(on_click);
}

status_notifier::~status_notifier() { hide(); }

bool status_notifier::show(const std::string& title, pixmap icon) {
  hide();
  state& s = *state_;
  s.title = title;
  s.icon = std::move(icon);
  sd_bus* bus = dbus::session_bus();
  if (!bus) return false;
  static unsigned counter = 0;
  std::string name = "org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  if (LAZY_SD(sd_bus_add_object_vtable)(bus, &s.slot, kPath, kInterface, kVtable, &s) < 0) {
    s.slot = nullptr;
    return false;
  }
  if (LAZY_SD(sd_bus_request_name)(bus, name.c_str(), 0) < 0) {
    s.slot = LAZY_SD(sd_bus_slot_unref)(s.slot);
    return false;
  }
  s.bus = bus;
  s.name = name;
  LAZY_SD(sd_bus_match_signal)(bus, &s.watcher_match, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "NameOwnerChanged", on_owner_changed, &s);
  register_item(s);
  return true;
}

void status_notifier::set_tooltip(const std::string& title) {
  state_->title = title;
  emit(*state_, "NewToolTip");
  emit(*state_, "NewTitle");
}

void status_notifier::set_icon(pixmap icon) {
  state_->icon = std::move(icon);
  emit(*state_, "NewIcon");
}

void status_notifier::hide() {
  state& s = *state_;
  if (!s.slot) return;
  s.slot = LAZY_SD(sd_bus_slot_unref)(s.slot);
  s.watcher_match = LAZY_SD(sd_bus_slot_unref)(s.watcher_match);
  LAZY_SD(sd_bus_release_name)(s.bus, s.name.c_str());
  s.bus = nullptr;
  s.name.clear();
}

bool status_notifier::shown() const { return state_->slot != nullptr; }
std::string status_notifier::bus_name() const { return state_->name; }

} // namespace kit::platform
