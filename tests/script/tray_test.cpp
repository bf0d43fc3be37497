// Tray.Manager as a StatusNotifierItem on a private session bus, with a small watcher of
// the test's own that records registrations, and the test calling the item's methods the
// way a desktop's tray does.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "support/desktop_peers.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {

sd_bus* connect(const std::string& address) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  sd_bus_set_address(bus, address.c_str());
  sd_bus_set_bus_client(bus, 1);
  if (sd_bus_start(bus) < 0) return sd_bus_unref(bus);
  return bus;
}

// org.kde.StatusNotifierWatcher on its own connection and thread.
class watcher {
public:
  explicit watcher(const std::string& address) {
    bus_ = connect(address);
    if (!bus_) return;
    sd_bus_add_object_vtable(bus_, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher", kVtable, this);
    if (sd_bus_request_name(bus_, "org.kde.StatusNotifierWatcher", 0) < 0) return;
    thread_ = std::thread([this] {
      while (!stop_) {
        if (sd_bus_process(bus_, nullptr) > 0) continue;
        sd_bus_wait(bus_, 50000);
      }
    });
  }
  ~watcher() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
  }
  bool ready() const { return thread_.joinable(); }
  // The first item registered (waits up to 20 s).
  std::string first_item() {
    for (int i = 0; i < 2000; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!items_.empty()) return items_.front();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }

private:
  static int on_register(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* name = nullptr;
    if (sd_bus_message_read(m, "s", &name) >= 0 && name) {
      auto* w = static_cast<watcher*>(userdata);
      std::lock_guard<std::mutex> lock(w->mutex_);
      w->items_.push_back(name);
    }
    return sd_bus_reply_method_return(m, "");
  }
  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", on_register, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};

  sd_bus* bus_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> items_;
};

void write_icon(const std::string& path, int size, uint32_t rgba_first, uint32_t rgba_rest) {
  testsupport::make_dirs(path.substr(0, path.rfind('/')));
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
  gdk_pixbuf_fill(p, rgba_rest);
  guchar* px = gdk_pixbuf_get_pixels(p);
  px[0] = rgba_first >> 24, px[1] = rgba_first >> 16, px[2] = rgba_first >> 8, px[3] = rgba_first;
  ASSERT_TRUE(gdk_pixbuf_save(p, path.c_str(), "png", nullptr, nullptr));
  g_object_unref(p);
}

struct item_view {
  std::string tooltip;
  int width = -1, height = -1;
  std::vector<uint8_t> argb;
};

item_view read_item(sd_bus* bus, const std::string& name) {
  item_view v;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  if (sd_bus_get_property(bus, name.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", "ToolTip", &error,
                          &reply, "(sa(iiay)ss)") >= 0) {
    const char *icon = nullptr, *title = nullptr, *text = nullptr;
    sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss");
    sd_bus_message_read(reply, "s", &icon);
    sd_bus_message_skip(reply, "a(iiay)");
    if (sd_bus_message_read(reply, "ss", &title, &text) >= 0 && title) v.tooltip = title;
    reply = sd_bus_message_unref(reply);
  }
  sd_bus_error_free(&error);
  if (sd_bus_get_property(bus, name.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", "IconPixmap", &error,
                          &reply, "a(iiay)") >= 0) {
    sd_bus_message_enter_container(reply, 'a', "(iiay)");
    if (sd_bus_message_enter_container(reply, 'r', "iiay") > 0) {
      const void* bytes = nullptr;
      size_t n = 0;
      sd_bus_message_read(reply, "ii", &v.width, &v.height);
      if (sd_bus_message_read_array(reply, 'y', &bytes, &n) >= 0 && n)
        v.argb.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
    }
    sd_bus_message_unref(reply);
  }
  sd_bus_error_free(&error);
  return v;
}

bool call_item(sd_bus* bus, const std::string& name, const char* method) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int r = sd_bus_call_method(bus, name.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", method, &error,
                             nullptr, "ii", 10, 20);
  sd_bus_error_free(&error);
  return r >= 0;
}

bool has_owner(sd_bus* bus, const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int owned = 0;
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         &error, &reply, "s", name.c_str()) >= 0)
    sd_bus_message_read(reply, "b", &owned);
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return owned != 0;
}

TEST(Tray, ItemRegistersShowsTipsAndIconsAndReportsClicks) {
  testsupport::temp_dir dir;
  testsupport::private_bus session(dir / "session");
  ASSERT_TRUE(session.ready());
  watcher w(session.address());
  ASSERT_TRUE(w.ready());
  std::unique_ptr<sd_bus, sd_bus* (*)(sd_bus*)> connection(connect(session.address()), sd_bus_flush_close_unref);
  sd_bus* bus = connection.get();
  ASSERT_NE(bus, nullptr);

  script_install app;
  write_icon(app.dir() + "mobrevist.rsrc/ICON/130", 4, 0xFF000080, 0x00FF00FF);
  write_icon(app.dir() + "mobrevist.rsrc/ICON/131", 2, 0x0000FFFF, 0x000000FF);
  app.set_env("DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", session.address());
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
  app.package(R"(
t = GetObject('Tray.Manager')
local function on(label) return function(id, msg) print(label .. ' ' .. id .. ' ' .. msg) end end
t:AttachEvent(on('first'))
local gone = t:AttachEvent(on('gone'))
t:AttachEvent(on('second'))
t:DetachEvent(gone)
t:DetachEvent(12345)
print('attach', t:AttachEvent(42))
t:CreateNotifyTray()
ReadConsole(function(line)
  if line == nil or line == 'quit' then GetObject('Win32Shell.Object'):PostQuitMessage() return end
  loadstring(line)()
end)
print('ready')
)");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("ready\n", 20000)) << host->err();
  EXPECT_NE(host->out().find("attach\n"), std::string::npos);  // no cookie for a non-function

  std::string item = w.first_item();
  ASSERT_FALSE(item.empty());
  item_view v = read_item(bus, item);
  EXPECT_EQ(v.tooltip, "Mobrevant");
  EXPECT_EQ(v.width, 4);
  EXPECT_EQ(v.height, 4);
  ASSERT_EQ(v.argb.size(), 64u);
  EXPECT_EQ(std::vector<uint8_t>(v.argb.begin(), v.argb.begin() + 8),
            (std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00}));

  // 125 letters and three Chinese characters: the first 127 characters stay.
  host->write_stdin("t:ModifyTrayTips(string.rep('x', 125) .. '\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97') "
                    "t:ModifyTrayIcon(131) print('modified')\n");
  ASSERT_TRUE(host->wait_for_output("modified\n"));
  v = read_item(bus, item);
  EXPECT_EQ(v.tooltip, std::string(125, 'x') + "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(v.width, 2);
  ASSERT_EQ(v.argb.size(), 16u);
  EXPECT_EQ(std::vector<uint8_t>(v.argb.begin(), v.argb.begin() + 4), (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0xFF}));

  ASSERT_TRUE(call_item(bus, item, "Activate"));
  ASSERT_TRUE(call_item(bus, item, "ContextMenu"));
  ASSERT_TRUE(call_item(bus, item, "SecondaryActivate"));
  ASSERT_TRUE(host->wait_for_output("second 0 520\n"));
  EXPECT_NE(host->out().find("first 0 515\nsecond 0 515\nfirst 0 517\nsecond 0 517\nfirst 0 520\n"), std::string::npos)
      << host->out();
  EXPECT_EQ(host->out().find("gone"), std::string::npos);

  host->write_stdin("t:DeleteNotifyTray() print('deleted')\n");
  ASSERT_TRUE(host->wait_for_output("deleted\n"));
  EXPECT_FALSE(has_owner(bus, item));
  EXPECT_FALSE(call_item(bus, item, "Activate"));

  host->write_stdin("quit\n");
  auto r = host->wait(20000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Tray, NothingIsShownWithoutASessionBus) {
  script_install app;
  app.set_env("DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app.root() + "/no-session-bus");
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
  app.package(R"(
local t = GetObject('Tray.Manager')
local cookie = t:AttachEvent(function() end)
t:CreateNotifyTray()
t:ModifyTrayTips('tip')
t:ModifyTrayIcon(131)
t:DeleteNotifyTray()
t:DetachEvent(cookie)
print('cookie', cookie, pcall(t.CreateNotifyTray, {}))
GetObject('Win32Shell.Object'):PostQuitMessage()
)");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("cookie\t1\tfalse\t"), std::string::npos) << r.out << r.err;
}

} // namespace

namespace {

// A tray that starts after the item (a desktop's panel restarting) still learns of it.
TEST(Tray, ItemRegistersWithAWatcherThatComesLater) {
  testsupport::temp_dir dir;
  testsupport::private_bus session(dir / "session");
  ASSERT_TRUE(session.ready());
  script_install app;
  app.set_env("DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", session.address());
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
  app.package(R"(
GetObject('Tray.Manager'):CreateNotifyTray()
ReadConsole(function(line) if line == nil or line == 'quit' then GetObject('Win32Shell.Object'):PostQuitMessage() end end)
print('ready')
)");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("ready\n", 20000)) << host->err();
  {
    watcher first(session.address());
    ASSERT_TRUE(first.ready());
    EXPECT_NE(first.first_item().find("org.kde.StatusNotifierItem-"), std::string::npos);
  }
  watcher second(session.address());  // the tray restarted
  ASSERT_TRUE(second.ready());
  EXPECT_NE(second.first_item().find("org.kde.StatusNotifierItem-"), std::string::npos);
  host->write_stdin("quit\n");
  EXPECT_EQ(host->wait(20000).exit_code, 0);
}

} // namespace
