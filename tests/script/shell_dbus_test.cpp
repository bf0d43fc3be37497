// Win32Shell.Object's dialogs and reboot over D-Bus: private bus daemons started by the
// test, a fake file-chooser portal on the "session" bus that answers with chosen URIs or a
// cancel, and a fake login manager on the "system" bus that records the reboot request.
// Neither the machine's session bus nor its system bus is ever reached.
#include <gtest/gtest.h>

#include <systemd/sd-bus.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/desktop_peers.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// Reads one option value of a{sv} as text: booleans, strings, byte strings and filters.
std::string variant_text(sd_bus_message* m) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) < 0 || type != 'v' || !contents) return "?";
  std::string sig = contents, out;
  sd_bus_message_enter_container(m, 'v', contents);
  if (sig == "b") {
    int b = 0;
    sd_bus_message_read(m, "b", &b);
    out = b ? "true" : "false";
  } else if (sig == "s") {
    const char* s = nullptr;
    sd_bus_message_read(m, "s", &s);
    out = s ? s : "";
  } else if (sig == "ay") {
    const void* data = nullptr;
    size_t n = 0;
    sd_bus_message_read_array(m, 'y', &data, &n);
    out.assign(static_cast<const char*>(data), n);
    if (!out.empty() && out.back() == '\0') out.pop_back();
  } else if (sig == "a(sa(us))") {
    sd_bus_message_enter_container(m, 'a', "(sa(us))");
    while (sd_bus_message_enter_container(m, 'r', "sa(us)") > 0) {
      const char* name = nullptr;
      sd_bus_message_read(m, "s", &name);
      if (!out.empty()) out += "|";
      out += std::string(name) + ":";
      sd_bus_message_enter_container(m, 'a', "(us)");
      uint32_t kind = 0;
      const char* pattern = nullptr;
      bool first = true;
      while (sd_bus_message_read(m, "(us)", &kind, &pattern) > 0) {
        out += (first ? "" : ";") + std::string(pattern);
        first = false;
      }
      sd_bus_message_exit_container(m);
      sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
  } else {
    sd_bus_message_skip(m, contents);
    out = "(" + sig + ")";
  }
  sd_bus_message_exit_container(m);
  return out;
}

// A service on a private bus, run by its own thread: the fake portal and the fake login
// manager. Every call is recorded as one line.
class fake_service {
public:
  fake_service(const std::string& address, const char* name, const char* path, const char* interface,
               const sd_bus_vtable* vtable) {
    sd_bus_new(&bus_);
    sd_bus_set_address(bus_, address.c_str());
    sd_bus_set_bus_client(bus_, 1);
    ok_ = sd_bus_start(bus_) >= 0 && sd_bus_add_object_vtable(bus_, nullptr, path, interface, vtable, this) >= 0 &&
          sd_bus_request_name(bus_, name, 0) >= 0;
    if (ok_) thread_ = std::thread([this] { loop(); });
  }
  ~fake_service() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
  }
  bool ok() const { return ok_; }
  std::string log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  void record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_ += line + "\n";
  }
  // The answers the portal gives, in order: empty for a cancel, else the URIs.
  void answer(std::vector<std::string> uris) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(uris));
  }
  std::optional<std::vector<std::string>> next_answer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.empty()) return std::nullopt;
    auto a = answers_.front();
    answers_.pop_front();
    return a;
  }
  sd_bus* bus() const { return bus_; }

private:
  void loop() {
    while (!stop_) {
      int r = sd_bus_process(bus_, nullptr);
      if (r < 0) break;
      if (r == 0) sd_bus_wait(bus_, 100000);  // wakes up now and then to see stop_
    }
  }
  sd_bus* bus_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string log_;
  std::deque<std::vector<std::string>> answers_;
};

// OpenFile / SaveFile (parent, title, options) -> request handle, then the Response signal.
int chooser_call(sd_bus_message* m, void* user, sd_bus_error*) {
  auto* service = static_cast<fake_service*>(user);
  const char *parent = nullptr, *title = nullptr;
  sd_bus_message_read(m, "ss", &parent, &title);
  std::string line = std::string(sd_bus_message_get_member(m)) + " title=" + title, token;
  sd_bus_message_enter_container(m, 'a', "{sv}");
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    sd_bus_message_read(m, "s", &key);
    std::string value = variant_text(m);
    if (std::string(key) == "handle_token") token = value;
    else line += " " + std::string(key) + "=" + value;
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  service->record(line);
  std::string sender = sd_bus_message_get_sender(m) + 1;
  for (char& c : sender)
    if (c == '.') c = '_';
  std::string handle = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
  int r = sd_bus_reply_method_return(m, "o", handle.c_str());
  auto answer = service->next_answer();
  if (answer && answer->size() == 1 && answer->front() == "<vanish>") {
    // The portal goes away without answering (it crashed, say).
    sd_bus_release_name(service->bus(), "org.freedesktop.portal.Desktop");
    return r;
  }
  sd_bus_message* signal = nullptr;
  sd_bus_message_new_signal(service->bus(), &signal, handle.c_str(), "org.freedesktop.portal.Request", "Response");
  sd_bus_message_append(signal, "u", answer && !answer->empty() ? 0u : 1u);
  sd_bus_message_open_container(signal, 'a', "{sv}");
  if (answer && !answer->empty()) {
    sd_bus_message_open_container(signal, 'e', "sv");
    sd_bus_message_append(signal, "s", "uris");
    sd_bus_message_open_container(signal, 'v', "as");
    sd_bus_message_open_container(signal, 'a', "s");
    for (const std::string& uri : *answer) sd_bus_message_append(signal, "s", uri.c_str());
    for (int i = 0; i < 3; ++i) sd_bus_message_close_container(signal);
  }
  sd_bus_message_close_container(signal);
  sd_bus_send(service->bus(), signal, nullptr);
  sd_bus_message_unref(signal);
  return r;
}

int reboot_call(sd_bus_message* m, void* user, sd_bus_error*) {
  int interactive = -1;
  sd_bus_message_read(m, "b", &interactive);
  static_cast<fake_service*>(user)->record(std::string("Reboot ") + (interactive ? "true" : "false"));
  return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kChooser[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenFile", "ssa{sv}", "o", chooser_call, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SaveFile", "ssa{sv}", "o", chooser_call, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kLogin[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Reboot", "b", "", reboot_call, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

class ShellObjectDbus : public ::testing::Test {
protected:
  testsupport::temp_dir root;
  testsupport::private_bus session{root / "session"};
  testsupport::private_bus system{root / "system"};
  script_install app;

  testsupport::run_result run(const std::string& body) {
    app.set_env("DISPLAY", "");
    app.set_env("WAYLAND_DISPLAY", "");
    app.set_env("DBUS_SESSION_BUS_ADDRESS", session.address());
    app.set_env("DBUS_SYSTEM_BUS_ADDRESS", system.address());
    app.package(std::string(R"(
local s = GetObject('Win32Shell.Object')
local function show(label, v)
  if type(v) == 'table' then v = '{' .. table.concat(v, ',') .. '}' end
  print(label .. '=' .. tostring(v))
end
)") + body + kQuit);
    return app.run();
  }
};

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }
} // namespace

TEST_F(ShellObjectDbus, PortalAnswersBecomePaths) {
  ASSERT_TRUE(session.ready() && system.ready());
  fake_service portal(session.address(), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                      "org.freedesktop.portal.FileChooser", kChooser);
  ASSERT_TRUE(portal.ok());
  portal.answer({"file:///data/a%20b.txt", "file://localhost/data/c.log", "https://example.invalid/x"});
  portal.answer({"file:///out/report"});
  portal.answer({"file:///chosen/folder"});
  portal.answer({});
  portal.answer({});
  testsupport::make_dirs(root / "exists");
  auto r = run("local T = '" + root.path() + R"('
show('multi', s:FileDialog(true, 'Text|*.txt; *.log|All|*.*', nil, nil, true))
show('save', s:FileDialog(false, 'Text|*.txt', 'txt', T .. '\\exists\\name.txt'))
show('folder', s:FolderDialog('Pick one', T .. '/exists/missing/deeper'))
show('cancel_file', s:FileDialog(true, 'All|*.*', '', ''))
show('cancel_folder', s:FolderDialog())
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {"multi={/data/a b.txt,/data/c.log}", "save={/out/report.txt}", "folder=/chosen/folder",
                           "cancel_file={}", "cancel_folder="})
    EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out << r.err;
  std::string log = portal.log();
  EXPECT_NE(log.find("OpenFile title= modal=true multiple=true directory=false filters=Text:*.txt;*.log|All:*.*\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("SaveFile title= modal=true filters=Text:*.txt current_folder=" + root.path() +
                     "/exists/ current_name=name.txt\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("OpenFile title=Pick one modal=true multiple=false directory=true current_folder=" + root.path() +
                     "/exists/\n"),
            std::string::npos)
      << log;
}

TEST_F(ShellObjectDbus, NoPortalMeansCancelledAndRebootGoesToTheLoginManager) {
  ASSERT_TRUE(session.ready() && system.ready());
  fake_service login(system.address(), "org.freedesktop.login1", "/org/freedesktop/login1",
                     "org.freedesktop.login1.Manager", kLogin);
  ASSERT_TRUE(login.ok());
  auto r = run(R"(
show('file', s:FileDialog(true, 'All|*.*', '', '', false))
show('folder', s:FolderDialog('x', '/'))
s:RebootMachine()
print('after')
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "file={}")) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "folder=")) << r.out;
  EXPECT_TRUE(has(r.out, "after")) << r.out;
  EXPECT_EQ(login.log(), "Reboot false\n");
}

TEST_F(ShellObjectDbus, APortalThatVanishesWithoutAnsweringEndsTheDialog) {
  ASSERT_TRUE(session.ready() && system.ready());
  fake_service portal(session.address(), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                      "org.freedesktop.portal.FileChooser", kChooser);
  ASSERT_TRUE(portal.ok());
  portal.answer({"<vanish>"});
  auto r = run(R"(
show('file', s:FileDialog(true, 'All|*.*', '', '', false))
print('after')
)");
  EXPECT_FALSE(r.timed_out);
  EXPECT_TRUE(has(r.out, "file={}")) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "after")) << r.out;
}
