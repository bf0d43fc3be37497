// Win32Shell.Object's screen, pointer, key and full-screen methods against an Xvfb started
// by the test, with xdotool moving the pointer and pressing keys and this test as the
// second X client that makes a full-screen window.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "support/desktop_peers.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

testsupport::run_result run_on(script_install& app, const testsupport::virtual_display& x, const std::string& body) {
  app.set_env("DISPLAY", x.name());
  app.set_env("WAYLAND_DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app.root() + "/no-session-bus");
  app.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app.root() + "/no-system-bus");
  app.package(std::string(R"(
local s = GetObject('Win32Shell.Object')
local function show(label, ...) local t = {...} for i = 1, select('#', ...) do t[i] = tostring(t[i]) end
  print(label .. '=' .. table.concat(t, ',') .. ' #' .. select('#', ...)) end
)") + body + kQuit);
  return app.run();
}

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

// A second client on the display: makes windows and sets the focus and root properties.
class x_client {
public:
  explicit x_client(const std::string& display) {
    conn_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(conn_)) return;
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
  }
  ~x_client() { xcb_disconnect(conn_); }
  bool ok() const { return screen_ != nullptr; }
  xcb_window_t root() const { return screen_->root; }

  xcb_window_t window(int16_t x, int16_t y, uint16_t w, uint16_t h) {
    xcb_window_t win = xcb_generate_id(conn_);
    uint32_t values[] = {1};  // override-redirect: placed exactly where asked
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, win, screen_->root, x, y, w, h, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen_->root_visual, XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(conn_, win);
    sync();
    return win;
  }
  void focus(xcb_window_t win) {
    xcb_set_input_focus(conn_, XCB_INPUT_FOCUS_PARENT, win, XCB_CURRENT_TIME);
    sync();
  }
  xcb_atom_t atom(const char* name) {
    auto* r = xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, std::strlen(name), name), nullptr);
    xcb_atom_t a = r->atom;
    std::free(r);
    return a;
  }
  void set_property(xcb_window_t win, const char* name, xcb_atom_t type, std::vector<uint32_t> values) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, win, atom(name), type, 32, static_cast<uint32_t>(values.size()),
                        values.data());
    sync();
  }
  void set_cardinals(const char* name, std::initializer_list<uint32_t> values) {
    set_property(screen_->root, name, XCB_ATOM_CARDINAL, values);
  }
  // A round trip: everything sent so far has been handled by the server.
  void sync() { std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }

private:
  xcb_connection_t* conn_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
};
} // namespace

TEST(ShellObjectX11, PointerScreenAndKeys) {
  testsupport::virtual_display x(1280, 800);
  ASSERT_TRUE(x.ready());
  ASSERT_TRUE(x.xdotool({"mousemove", "123", "45"}));
  ASSERT_TRUE(x.xdotool({"keydown", "shift", "keydown", "a"}));
  x_client client(x.name());
  ASSERT_TRUE(client.ok());
  client.set_cardinals("_NET_WORKAREA", {0, 30, 1280, 740});
  script_install app;
  auto r = run_on(app, x, R"(
show('cursor', s:GetCursorPos())
show('screen', s:GetScreenSize())
show('work', s:GetWorkArea())
show('work_far', s:GetWorkArea(5000, -20))
show('shift', s:IsKeyDown(0x10))
show('lshift', s:IsKeyDown(0xA0))
show('a', s:IsKeyDown(0x41))
show('b', s:IsKeyDown(0x42))
show('a_state', s:GetKeyState(0x41))
show('b_state', s:GetKeyState(0x42))
show('a_async', s:GetAsyncKeyState(0x41))
show('unknown', s:IsKeyDown(0xFFFF), s:IsKeyDown(-1))
show('hide', s:ShowCursor(false))
show('show', s:ShowCursor(true))
)");
  x.xdotool({"keyup", "a", "keyup", "shift"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {"cursor=123,45 #2", "screen=1280,800 #2", "work=0,30,1280,770 #4", "work_far=0,30,1280,770 #4",
                           "shift=true #1", "lshift=true #1", "a=true #1", "b=false #1", "a_state=-128 #1",
                           "b_state=0 #1", "a_async=true #1", "unknown=false,false #2", "hide= #0", "show= #0"})
    EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out << r.err;
}

TEST(ShellObjectX11, FullScreenWindowsAndTheDesktop) {
  testsupport::virtual_display x(1024, 768);
  ASSERT_TRUE(x.ready());
  x_client client(x.name());
  ASSERT_TRUE(client.ok());
  const std::string body = "show('full', s:IsNowFullScreen())\n";

  client.focus(client.window(10, 10, 300, 200));
  script_install app;
  auto small = run_on(app, x, body);
  EXPECT_TRUE(has(small.out, "full=false #1")) << small.out << small.err;

  client.focus(client.window(0, 0, 1024, 768));
  auto full = run_on(app, x, body);
  EXPECT_TRUE(has(full.out, "full=true #1")) << full.out << full.err;

  client.focus(client.root());  // the desktop has the focus: nothing
  auto desktop = run_on(app, x, body);
  EXPECT_TRUE(has(desktop.out, "full= #0")) << desktop.out << desktop.err;
}

TEST(ShellObjectX11, TheDesktopAndTheFileManagerDrawingItCountAsNothing) {
  testsupport::virtual_display x(800, 600);
  ASSERT_TRUE(x.ready());
  x_client client(x.name());
  ASSERT_TRUE(client.ok());
  script_install app;
  const std::string body = "show('full', s:IsNowFullScreen())\n";

  // A full-screen window typed as the desktop.
  xcb_window_t desktop = client.window(0, 0, 800, 600);
  client.set_property(desktop, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {client.atom("_NET_WM_WINDOW_TYPE_DESKTOP")});
  client.focus(desktop);
  auto typed = run_on(app, x, body);
  EXPECT_TRUE(has(typed.out, "full= #0")) << typed.out << typed.err;

  // A full-screen window of a program named like a desktop file manager.
  testsupport::temp_dir bin;
  std::string fake = bin / "nautilus";
  testsupport::write_file(fake, testsupport::read_file("/bin/sleep"));
  ::chmod(fake.c_str(), 0755);
  int pid = testsupport::start_with_env({fake, "60"}, {});
  ASSERT_GT(pid, 0);
  xcb_window_t manager = client.window(0, 0, 800, 600);
  client.set_property(manager, "_NET_WM_PID", XCB_ATOM_CARDINAL, {static_cast<uint32_t>(pid)});
  client.focus(manager);
  auto file_manager = run_on(app, x, body);
  testsupport::stop_process(pid);
  EXPECT_TRUE(has(file_manager.out, "full= #0")) << file_manager.out << file_manager.err;

  // The window manager's active window counts before the focus; a window that only says
  // it is full screen counts as full screen.
  xcb_window_t small = client.window(5, 5, 100, 100);
  client.set_property(client.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, {small});
  auto active = run_on(app, x, body);
  EXPECT_TRUE(has(active.out, "full=false #1")) << active.out << active.err;
  client.set_property(small, "_NET_WM_STATE", XCB_ATOM_ATOM, {client.atom("_NET_WM_STATE_FULLSCREEN")});
  auto stated = run_on(app, x, body);
  EXPECT_TRUE(has(stated.out, "full=true #1")) << stated.out << stated.err;
}
