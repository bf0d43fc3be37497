// ClipBoardData.Manager against an Xvfb started by the test, with xclip as the other
// program on the clipboard. The host runs Lua lines written to its standard input, so
// each step can wait for the one before.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "support/desktop_peers.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {

const char* kLineRunner = R"(
c = GetObject('ClipBoardData.Manager')
function files(t) local s = 'type=' .. tostring(t.type) for i = 1, #t do s = s .. '|' .. t[i] end return s end
ReadConsole(function(line)
  if line == nil or line == 'quit' then GetObject('Win32Shell.Object'):PostQuitMessage() return end
  local f, err = loadstring(line)
  if not f then print('bad line: ' .. err) return end
  f()
end)
print('ready')
)";

class Clipboard : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(x_.ready());
    app_.set_env("DISPLAY", x_.name());
    app_.set_env("WAYLAND_DISPLAY", "");
    app_.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app_.root() + "/no-session-bus");
    app_.set_env("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + app_.root() + "/no-system-bus");
    app_.package(kLineRunner);
    host_ = app_.start();
    ASSERT_TRUE(host_->wait_for_output("ready\n", 20000)) << host_->err();
  }
  void TearDown() override {
    if (!host_) return;
    host_->write_stdin("quit\n");
    auto r = host_->wait(20000);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }

  // Runs one Lua line in the host and waits for the line it prints (marker=...=end-marker).
  std::string ask(const std::string& marker, const std::string& lua_expression) {
    std::string start = marker + "=", end = "=end-" + marker + "\n";
    host_->write_stdin("print('" + start + "' .. " + lua_expression + " .. '" + end.substr(0, end.size() - 1) + "')\n");
    if (!host_->wait_for_output(end, 20000)) return "(no answer)";
    std::string out = host_->out();
    size_t to = out.rfind(end);
    size_t at = out.rfind(start, to);
    if (at == std::string::npos) return "(no answer)";
    return out.substr(at + start.size(), to - at - start.size());
  }
  void run_lua(const std::string& line, const std::string& done) {
    host_->write_stdin(line + " print('" + done + "')\n");
    ASSERT_TRUE(host_->wait_for_output(done + "\n", 20000)) << host_->err();
  }

  // xclip's output for the arguments (the clipboard selection), or "(failed)".
  std::string xclip_out(const std::string& args) {
    std::string file = dir_ / ("out" + std::to_string(++runs_));
    int rc = testsupport::run_with_env({"sh", "-c", "xclip -selection clipboard " + args + " -o > " + file},
                                       {"DISPLAY=" + x_.name()});
    return rc == 0 ? testsupport::read_file(file) : "(failed)";
  }
  // Puts the bytes on the clipboard through xclip and waits until xclip serves them.
  void xclip_in(const std::string& args, const std::string& bytes) {
    std::string file = dir_ / ("in" + std::to_string(++runs_));
    testsupport::write_file(file, bytes);
    ASSERT_EQ(testsupport::run_with_env({"sh", "-c", "xclip -selection clipboard " + args + " -i < " + file},
                                        {"DISPLAY=" + x_.name()}),
              0);
    for (int i = 0; i < 2000 && xclip_out(args) != bytes; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(xclip_out(args), bytes);
  }

  testsupport::virtual_display x_;
  testsupport::temp_dir dir_;
  script_install app_;
  std::unique_ptr<testsupport::child_process> host_;
  int runs_ = 0;
};

const std::string kWideText = "h\xC3\xA9llo \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 end";

TEST_F(Clipboard, TextTravelsBothWaysWithChineseAndEmoji) {
  run_lua("c:SetTxtData('" + kWideText + "')", "set");
  EXPECT_EQ(xclip_out(""), kWideText);
  EXPECT_EQ(xclip_out("-t TEXT"), kWideText);
  EXPECT_EQ(xclip_out("-t STRING"), "h\xE9llo ?? ? end");  // Latin-1 for old clients
  EXPECT_EQ(ask("own", "c:GetTxtData()"), kWideText);
  xclip_in("", "from xclip \xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(ask("xclip", "c:GetTxtData()"), "from xclip \xE4\xB8\xAD\xF0\x9F\x98\x80");
  // Text is no file list.
  EXPECT_EQ(ask("nofiles", "files(c:GetHdropData())"), "type=5");
}

TEST_F(Clipboard, FileListsAsUriListsWithEncodedPaths) {
  run_lua("c:SetHdropData({type = 2, '/tmp/a b/\xE4\xB8\xAD.txt', '/tmp/100%.png'})", "set");
  EXPECT_EQ(xclip_out("-t text/uri-list"), "file:///tmp/a%20b/%E4%B8%AD.txt\r\nfile:///tmp/100%25.png\r\n");
  EXPECT_EQ(xclip_out("-t x-special/gnome-copied-files"), "copy\nfile:///tmp/a%20b/%E4%B8%AD.txt\nfile:///tmp/100%25.png");
  EXPECT_EQ(ask("own", "files(c:GetHdropData())"), "type=5|/tmp/a b/\xE4\xB8\xAD.txt|/tmp/100%.png");
  // An empty list leaves the clipboard as it was.
  run_lua("c:SetHdropData({type = 5})", "empty");
  EXPECT_EQ(xclip_out("-t text/uri-list"), "file:///tmp/a%20b/%E4%B8%AD.txt\r\nfile:///tmp/100%25.png\r\n");
}

TEST_F(Clipboard, CutAndCopiedFilesFromAnotherProgram) {
  xclip_in("-t x-special/gnome-copied-files", "cut\nfile:///home/u/x%20y.mp3\nfile:///home/u/z");
  EXPECT_EQ(ask("cut", "files(c:GetHdropData())"), "type=2|/home/u/x y.mp3|/home/u/z");
  xclip_in("-t x-special/gnome-copied-files", "copy\nfile:///a");
  EXPECT_EQ(ask("copy", "files(c:GetHdropData())"), "type=5|/a");
  xclip_in("-t text/uri-list", "# comment\r\nfile:///b%2Fc\r\nhttp://example.invalid/x\r\nfile://localhost/d\r\n");
  EXPECT_EQ(ask("list", "files(c:GetHdropData())"), "type=5|/b/c|/d");
  EXPECT_EQ(ask("notext", "c:GetTxtData()"), "");
}

// Large texts: other programs send them in pieces, which the host puts together.
TEST_F(Clipboard, LargeTextsBothWays) {
  std::string big;
  for (int i = 0; big.size() < (6u << 20); ++i) big += "line " + std::to_string(i) + " \xE4\xB8\xAD\n";
  xclip_in("", big);
  EXPECT_EQ(ask("size", "#c:GetTxtData()"), std::to_string(big.size()));
  run_lua("c:SetTxtData(string.rep('ab\xE4\xB8\xAD', 400000))", "set");
  std::string out = xclip_out("");
  EXPECT_EQ(out.size(), 2000000u);
  EXPECT_EQ(out.substr(0, 10), "ab\xE4\xB8\xAD" "ab\xE4\xB8\xAD");
}

// An owner that never answers costs the reader a bounded wait, then nothing.
TEST_F(Clipboard, ADeadOwnerGivesEmptyResults) {
  xcb_connection_t* conn = xcb_connect(x_.name().c_str(), nullptr);
  ASSERT_FALSE(xcb_connection_has_error(conn));
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
  xcb_window_t win = xcb_generate_id(conn);
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, win, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  auto* a = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, 9, "CLIPBOARD"), nullptr);
  ASSERT_NE(a, nullptr);
  xcb_set_selection_owner(conn, win, a->atom, XCB_CURRENT_TIME);
  free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));  // the server has it
  EXPECT_EQ(ask("dead", "c:GetTxtData()"), "");
  EXPECT_EQ(ask("deadfiles", "files(c:GetHdropData())"), "type=5");
  free(a);
  xcb_disconnect(conn);
}

} // namespace

namespace {

// A hostile clipboard owner on its own connection and thread: it offers a flood of
// targets, or answers text in incremental pieces that drip forever.
class hostile_owner {
public:
  enum class mode { target_flood, endless_pieces };

  hostile_owner(const std::string& display, mode m) : mode_(m) {
    conn_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(conn_)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    win_ = xcb_generate_id(conn_);
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, win_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    clipboard_ = atom("CLIPBOARD");
    targets_ = atom("TARGETS");
    utf8_ = atom("UTF8_STRING");
    incr_ = atom("INCR");
    xcb_set_selection_owner(conn_, win_, clipboard_, XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    ready_ = true;
    thread_ = std::thread([this] { serve(); });
  }
  ~hostile_owner() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (conn_) xcb_disconnect(conn_);
  }
  bool ready() const { return ready_; }
  int pieces_sent() const { return pieces_; }

private:
  xcb_atom_t atom(const char* name) {
    auto* r = xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, strlen(name), name), nullptr);
    xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return a;
  }

  void notify(const xcb_selection_request_event_t& req, xcb_atom_t property) {
    xcb_selection_notify_event_t ev{};
    ev.response_type = XCB_SELECTION_NOTIFY;
    ev.time = req.time;
    ev.requestor = req.requestor;
    ev.selection = req.selection;
    ev.target = req.target;
    ev.property = property;
    xcb_send_event(conn_, 0, req.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    xcb_flush(conn_);
  }

  void answer(const xcb_selection_request_event_t& req) {
    if (req.target == targets_) {
      // Flooding: 400,000 made-up targets with the text's own at the very end.
      std::vector<xcb_atom_t> atoms(mode_ == mode::target_flood ? 400000 : 2, targets_);
      atoms.back() = utf8_;
      xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, req.requestor, req.property, XCB_ATOM_ATOM, 32,
                          static_cast<uint32_t>(atoms.size()), atoms.data());
      notify(req, req.property);
    } else if (req.target == utf8_ && mode_ == mode::target_flood) {
      xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, req.requestor, req.property, utf8_, 8, 4, "flood");
      notify(req, req.property);
    } else if (req.target == utf8_) {
      // INCR: announce a size, then add a piece each time the reader deleted the last one,
      // slowly and without end.
      uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
      xcb_change_window_attributes(conn_, req.requestor, XCB_CW_EVENT_MASK, &events);
      uint32_t size = 1u << 30;
      xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, req.requestor, req.property, incr_, 32, 1, &size);
      requestor_ = req.requestor;
      property_ = req.property;
      notify(req, req.property);
    } else {
      notify(req, XCB_ATOM_NONE);
    }
  }

  void serve() {
    while (!stop_) {
      xcb_generic_event_t* ev = xcb_poll_for_event(conn_);
      if (!ev) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      uint8_t type = ev->response_type & 0x7f;
      if (type == XCB_SELECTION_REQUEST) {
        answer(*reinterpret_cast<xcb_selection_request_event_t*>(ev));
      } else if (type == XCB_PROPERTY_NOTIFY) {
        auto* p = reinterpret_cast<xcb_property_notify_event_t*>(ev);
        if (p->window == requestor_ && p->atom == property_ && p->state == XCB_PROPERTY_DELETE) {
          std::this_thread::sleep_for(std::chrono::milliseconds(400));
          xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, requestor_, property_, utf8_, 8, 4, "drip");
          xcb_flush(conn_);
          ++pieces_;
        }
      }
      free(ev);
    }
  }

  mode mode_;
  xcb_connection_t* conn_ = nullptr;
  xcb_window_t win_ = 0, requestor_ = 0;
  xcb_atom_t clipboard_ = 0, targets_ = 0, utf8_ = 0, incr_ = 0, property_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> pieces_{0};
  bool ready_ = false;
  std::thread thread_;
};

} // namespace

// A hostile owner: targets past the first 1024 are not read (the text offered at the end
// of 400,000 of them is not seen), and pieces that drip forever end with the one deadline
// of the whole read instead of holding the program.
TEST_F(Clipboard, AHostileOwnerCostsABoundedRead) {
  {
    hostile_owner owner(x_.name(), hostile_owner::mode::target_flood);
    ASSERT_TRUE(owner.ready());
    EXPECT_EQ(ask("flood", "c:GetTxtData()"), "");
  }
  {
    hostile_owner owner(x_.name(), hostile_owner::mode::endless_pieces);
    ASSERT_TRUE(owner.ready());
    EXPECT_EQ(ask("drip", "tostring(#c:GetTxtData() < 1000)"), "true");
    EXPECT_GE(owner.pieces_sent(), 1);
  }
}
