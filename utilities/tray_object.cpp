#include "utilities/tray_object.h"

#include <algorithm>

#include "common/text_convert.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "platform/dbus_buses.h"
#include "platform/desktop_session.h"
#include "platform/file_type_icons.h"
#include "platform/status_notifier.h"

using kit::platform::status_notifier;

namespace {

// The largest icon handed to the tray (pixels a side).
constexpr int kTrayIconSize = 64;

status_notifier::pixmap load_icon(int64_t resource) {
  status_notifier::pixmap out;
  namespace icons = kit::platform::icons;
  std::string file = CLuaNotifyTray::IconResourcePath(resource);
  int width = 0, height = 0;
  if (!icons::image_file_size(file, width, height)) return out;
  // Its own size, unless that is larger than a tray shows.
  int size = std::min(kTrayIconSize, std::max(width, height));
  icons::icon_image image;
  if (icons::decode_icon_file(file, size, image, icons::pixel_order::argb_network)) {
    out.width = image.width;
    out.height = image.height;
    out.argb = std::move(image.bgra);
  }
  return out;
}

// The first count characters of a UTF-8 text (characters as the text's UTF-16 units).
std::string first_characters(const std::string& utf8, size_t count) {
  std::u16string wide = kit::text::utf8_to_utf16(utf8);
  if (wide.size() <= count) return utf8;
  // A surrogate pair is not cut in half.
  if (count > 0 && wide[count - 1] >= 0xD800 && wide[count - 1] <= 0xDBFF) --count;
  return kit::text::utf16_to_utf8(wide.substr(0, count));
}

} // namespace

std::string CLuaNotifyTray::IconResourcePath(int64_t resource) {
  CAppPaths* paths = GetAppPaths();
  return (paths ? paths->GetExeDir() : std::string()) + "mobrevist.rsrc/ICON/" + std::to_string(resource);
}

CLuaNotifyTray::CLuaNotifyTray()
    : item_(std::make_unique<status_notifier>([this](int message) { OnClick(message); })) {}

CLuaNotifyTray::~CLuaNotifyTray() {
  item_.reset();  // off the bus before the listeners go
  for (uint32_t cookie : events_.Cookies()) {
    CLuaEvent* event = nullptr;
    events_.RemoveEvent(cookie, &event);
    delete event;  // gives back its script function
  }
}

bool CLuaNotifyTray::Create() {
  tips_ = "Mobrevant";
  icon_ = kProgramIcon;
#ifndef _WIN32
  // The item lives on the session bus; Windows has its tray without one.
  if (!kit::platform::dbus::session_bus()) {
    kit::platform::note_no_desktop("session bus");
    return false;
  }
#endif
  item_->show(tips_, load_icon(icon_));
  return item_->shown();
}

void CLuaNotifyTray::SetTips(const std::string& utf8) {
  tips_ = first_characters(utf8, kMaxTipLength);
  if (item_->shown()) item_->set_tooltip(tips_);
}

void CLuaNotifyTray::SetIcon(int64_t resource) {
  if (resource < 0) return;
  icon_ = resource;
  if (item_->shown()) item_->set_icon(load_icon(icon_));
}

void CLuaNotifyTray::Delete() { item_->hide(); }

void CLuaNotifyTray::OnClick(int message) {
  if (click_handler_) click_handler_(message);
}
