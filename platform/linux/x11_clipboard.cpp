#include "platform/x11_clipboard.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/x11_display.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform::x11::clipboard {
namespace {

// What a read takes at most, however the owner sends it.
constexpr size_t kMaxData = 64u << 20;
// The most targets of another owner that are read.
constexpr size_t kMaxTargets = 1024;

struct free_event {
  void operator()(xcb_generic_event_t* e) const { std::free(e); }
};
using event_ptr = std::unique_ptr<xcb_generic_event_t, free_event>;

struct clip_state {
  xcb_connection_t* conn = nullptr;  // the connection the window and atoms belong to
  xcb_window_t window = 0;
  std::map<std::string, xcb_atom_t> atoms;
  std::map<xcb_atom_t, std::string> data;  // what we offer while we own the clipboard
  std::map<xcb_atom_t, xcb_atom_t> aliases;
  bool owner = false;
  int timeout_ms = 3000;  // the whole of one read, pieces included
};

clip_state& state() {
  static clip_state s;
  return s;
}

xcb_atom_t atom(const std::string& name) {
  clip_state& s = state();
  auto it = s.atoms.find(name);
  if (it != s.atoms.end()) return it->second;
  xcb_atom_t a = XCB_ATOM_NONE;
  auto cookie = LAZY_XCB(xcb_intern_atom)(s.conn, 0, static_cast<uint16_t>(name.size()), name.c_str());
  if (xcb_intern_atom_reply_t* r = LAZY_XCB(xcb_intern_atom_reply)(s.conn, cookie, nullptr)) {
    a = r->atom;
    std::free(r);
  }
  if (a != XCB_ATOM_NONE) s.atoms[name] = a;
  return a;
}

std::string atom_name(xcb_atom_t a) {
  std::string name;
  auto cookie = LAZY_XCB(xcb_get_atom_name)(state().conn, a);
  if (xcb_get_atom_name_reply_t* r = LAZY_XCB(xcb_get_atom_name_reply)(state().conn, cookie, nullptr)) {
    name.assign(LAZY_XCB(xcb_get_atom_name_name)(r), LAZY_XCB(xcb_get_atom_name_name_length)(r));
    std::free(r);
  }
  return name;
}

void send_notify(const xcb_selection_request_event_t* req, xcb_atom_t property) {
  xcb_selection_notify_event_t ev{};
  ev.response_type = XCB_SELECTION_NOTIFY;
  ev.time = req->time;
  ev.requestor = req->requestor;
  ev.selection = req->selection;
  ev.target = req->target;
  ev.property = property;
  LAZY_XCB(xcb_send_event)(state().conn, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
}

// Answers another program's request for our data.
void serve(const xcb_selection_request_event_t* req) {
  clip_state& s = state();
  // Old clients leave the property out: the target's name stands for it.
  xcb_atom_t property = req->property != XCB_ATOM_NONE ? req->property : req->target;
  if (!s.owner || req->selection != atom("CLIPBOARD")) {
    send_notify(req, XCB_ATOM_NONE);
  } else if (req->target == atom("TARGETS")) {
    std::vector<xcb_atom_t> list{atom("TARGETS"), atom("TIMESTAMP")};
    for (auto& [target, bytes] : s.data) list.push_back(target);
    for (auto& [alias, target] : s.aliases) list.push_back(alias);
    LAZY_XCB(xcb_change_property)(s.conn, XCB_PROP_MODE_REPLACE, req->requestor, property, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(list.size()), list.data());
    send_notify(req, property);
  } else if (req->target == atom("TIMESTAMP")) {
    uint32_t when = 0;
    LAZY_XCB(xcb_change_property)(s.conn, XCB_PROP_MODE_REPLACE, req->requestor, property, XCB_ATOM_INTEGER, 32, 1, &when);
    send_notify(req, property);
  } else {
    auto alias = s.aliases.find(req->target);
    auto it = s.data.find(alias != s.aliases.end() ? alias->second : req->target);
    // Data too large for one request is refused rather than sent in pieces.
    size_t max = static_cast<size_t>(LAZY_XCB(xcb_get_maximum_request_length)(s.conn)) * 4;
    if (it == s.data.end() || it->second.size() + 64 > max) {
      send_notify(req, XCB_ATOM_NONE);
    } else {
      LAZY_XCB(xcb_change_property)(s.conn, XCB_PROP_MODE_REPLACE, req->requestor, property, req->target, 8,
                          static_cast<uint32_t>(it->second.size()), it->second.data());
      send_notify(req, property);
    }
  }
  LAZY_XCB(xcb_flush)(s.conn);
}

void on_x_event(xcb_generic_event_t* e) {
  clip_state& s = state();
  switch (e->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
      serve(reinterpret_cast<xcb_selection_request_event_t*>(e));
      break;
    case XCB_SELECTION_CLEAR: {
      auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(e);
      if (clear->owner == s.window && clear->selection == atom("CLIPBOARD")) {
        s.owner = false;
        s.data.clear();
        s.aliases.clear();
      }
      break;
    }
    default:
      break;
  }
}

// The connection with our window on it, or null without a display. A new connection
// (after a close) gets a new window and forgets what the old one owned.
xcb_connection_t* ready() {
  xcb_connection_t* conn = connection();
  clip_state& s = state();
  if (!conn) return nullptr;
  if (s.conn == conn && s.window) return conn;
  s.conn = conn;
  s.atoms.clear();
  s.data.clear();
  s.aliases.clear();
  s.owner = false;
  s.window = LAZY_XCB(xcb_generate_id)(conn);
  uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  LAZY_XCB(xcb_create_window)(conn, XCB_COPY_FROM_PARENT, s.window, root_window(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  on_event(on_x_event);
  return conn;
}

using deadline_t = std::chrono::steady_clock::time_point;

// The end of a read that starts now: one read, however its owner sends it, ends then.
deadline_t read_deadline() { return std::chrono::steady_clock::now() + std::chrono::milliseconds(state().timeout_ms); }

// Waits for the first event wanted says yes to, handing every other one to the listeners
// (our own requests are still answered meanwhile). Null once the deadline has passed.
template <class Wanted>
event_ptr wait_for(Wanted wanted, deadline_t deadline) {
  clip_state& s = state();
  for (;;) {
    while (xcb_generic_event_t* e = LAZY_XCB(xcb_poll_for_event)(s.conn)) {
      event_ptr owned(e);
      if (wanted(e)) return owned;
      dispatch(e);
    }
    if (LAZY_XCB(xcb_connection_has_error)(s.conn)) return nullptr;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return nullptr;
    pollfd p{LAZY_XCB(xcb_get_file_descriptor)(s.conn), POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(left.count()) + 1);
  }
}

struct property_value {
  xcb_atom_t type = XCB_ATOM_NONE;
  std::string bytes;
};

// Reads and deletes the property of our window.
std::optional<property_value> take_property(xcb_atom_t property) {
  clip_state& s = state();
  auto cookie = LAZY_XCB(xcb_get_property)(s.conn, 1, s.window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxData / 4);
  xcb_get_property_reply_t* r = LAZY_XCB(xcb_get_property_reply)(s.conn, cookie, nullptr);
  if (!r) return std::nullopt;
  property_value v;
  v.type = r->type;
  int len = LAZY_XCB(xcb_get_property_value_length)(r);
  if (len > 0) v.bytes.assign(static_cast<const char*>(LAZY_XCB(xcb_get_property_value)(r)), static_cast<size_t>(len));
  std::free(r);
  return v;
}

// The rest of an answer the owner sends in pieces: each new value of the property is one
// piece, an empty one ends it.
std::optional<std::string> take_pieces(xcb_atom_t property, deadline_t deadline) {
  clip_state& s = state();
  std::string all;
  for (;;) {
    event_ptr e = wait_for([&](xcb_generic_event_t* ev) {
      if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
      auto* p = reinterpret_cast<xcb_property_notify_event_t*>(ev);
      return p->window == s.window && p->atom == property && p->state == XCB_PROPERTY_NEW_VALUE;
    }, deadline);
    if (!e) return std::nullopt;
    std::optional<property_value> piece = take_property(property);
    LAZY_XCB(xcb_flush)(s.conn);
    if (!piece) return std::nullopt;
    if (piece->bytes.empty()) return all;
    if (all.size() + piece->bytes.size() > kMaxData) return std::nullopt;
    all += piece->bytes;
  }
}

// Events that replies queued inside the connection go to the listeners now: the UI
// loop's reader only wakes for new bytes on the socket.
void hand_on_queued() {
  while (xcb_generic_event_t* e = LAZY_XCB(xcb_poll_for_queued_event)(state().conn)) {
    dispatch(e);
    std::free(e);
  }
}

std::optional<std::string> request(const std::string& target) {
  clip_state& s = state();
  xcb_atom_t clipboard = atom("CLIPBOARD"), wanted = atom(target), property = atom("MOBREVIST_CLIPBOARD");
  if (!clipboard || !wanted || !property) return std::nullopt;
  LAZY_XCB(xcb_delete_property)(s.conn, s.window, property);
  LAZY_XCB(xcb_convert_selection)(s.conn, s.window, clipboard, wanted, property, XCB_CURRENT_TIME);
  LAZY_XCB(xcb_flush)(s.conn);
  const deadline_t deadline = read_deadline();
  event_ptr e = wait_for([&](xcb_generic_event_t* ev) {
    if ((ev->response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
    auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(ev);
    return n->requestor == s.window && n->selection == clipboard && n->target == wanted;
  }, deadline);
  if (!e) return std::nullopt;
  if (reinterpret_cast<xcb_selection_notify_event_t*>(e.get())->property == XCB_ATOM_NONE) return std::nullopt;
  std::optional<property_value> v = take_property(property);
  LAZY_XCB(xcb_flush)(s.conn);
  if (!v) return std::nullopt;
  if (v->type == atom("INCR")) return take_pieces(property, deadline);
  return v->bytes;
}

// Whether our window still owns the clipboard: another program may have taken it over
// with the notice not read yet.
bool still_owner() {
  clip_state& s = state();
  if (!s.owner) return false;
  xcb_atom_t clipboard = atom("CLIPBOARD");
  if (auto* r = LAZY_XCB(xcb_get_selection_owner_reply)(s.conn, LAZY_XCB(xcb_get_selection_owner)(s.conn, clipboard), nullptr)) {
    s.owner = r->owner == s.window;
    std::free(r);
  }
  if (!s.owner) {
    s.data.clear();
    s.aliases.clear();
  }
  return s.owner;
}

} // namespace

bool set(const std::map<std::string, std::string>& formats, const std::map<std::string, std::string>& aliases) {
  xcb_connection_t* conn = ready();
  if (!conn) return false;
  clip_state& s = state();
  xcb_atom_t clipboard = atom("CLIPBOARD");
  if (!clipboard) return false;
  s.data.clear();
  s.aliases.clear();
  for (auto& [name, bytes] : formats) {
    if (xcb_atom_t a = atom(name)) s.data[a] = bytes;
  }
  for (auto& [alias, target] : aliases) {
    xcb_atom_t a = atom(alias), t = atom(target);
    if (a && t && s.data.count(t)) s.aliases[a] = t;
  }
  LAZY_XCB(xcb_set_selection_owner)(conn, s.window, clipboard, XCB_CURRENT_TIME);
  bool owner = false;
  if (auto* r = LAZY_XCB(xcb_get_selection_owner_reply)(conn, LAZY_XCB(xcb_get_selection_owner)(conn, clipboard), nullptr)) {
    owner = r->owner == s.window;
    std::free(r);
  }
  s.owner = owner;
  if (!owner) {
    s.data.clear();
    s.aliases.clear();
  }
  hand_on_queued();
  return owner;
}

std::vector<std::string> targets() {
  std::vector<std::string> names;
  if (!ready()) return names;
  clip_state& s = state();
  if (still_owner()) {
    for (auto& [target, bytes] : s.data) names.push_back(atom_name(target));
    for (auto& [alias, target] : s.aliases) names.push_back(atom_name(alias));
    return names;
  }
  std::optional<std::string> list = request("TARGETS");
  if (list) {
    // Each name costs a round trip to the display: an owner offering thousands of targets
    // would hold the caller for seconds. The first kMaxTargets are read, the rest ignored.
    size_t end = std::min(list->size(), kMaxTargets * 4);
    for (size_t i = 0; i + 4 <= end; i += 4) {
      uint32_t a = 0;
      std::memcpy(&a, list->data() + i, 4);
      if (a != XCB_ATOM_NONE) names.push_back(atom_name(a));
    }
  }
  hand_on_queued();
  return names;
}

std::optional<std::string> get(const std::string& target) {
  if (!ready()) return std::nullopt;
  clip_state& s = state();
  if (still_owner()) {
    xcb_atom_t a = atom(target);
    auto alias = s.aliases.find(a);
    auto it = s.data.find(alias != s.aliases.end() ? alias->second : a);
    if (it == s.data.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> value = request(target);
  hand_on_queued();
  return value;
}

} // namespace kit::platform::x11::clipboard
