#include "support/web_host.h"

#include <filesystem>

namespace testsupport {

namespace {
constexpr const char* kSerial = "0a1b2c3d";
}

std::string line_after(const std::string& out, const std::string& prefix) {
  size_t at = out.find(prefix);
  if (at == std::string::npos) return {};
  at += prefix.size();
  return out.substr(at, out.find('\n', at) - at);
}

bool web_host::start(const std::vector<std::string>& agent_args, std::string& why) {
  std::vector<std::string> argv{bin_dir() + "/agent-sim"};
  argv.insert(argv.end(), agent_args.begin(), agent_args.end());
  agent_ = std::make_unique<child_process>(argv, env_list{{"AGENT_SIM_STORAGE", phone_dir()}}, work_.path(),
                                           work_ / "agent");
  if (!agent_->wait_for_output("agent-sim ready", 60000)) return why = "agent-sim: " + agent_->err(), false;

  app_.copy_default_package();
  app_.add_device_database();
  app_.add_tool("adb_help");
  app_.write("adb_help.scenario", "device " + std::string(kSerial) + " device\n");
  app_.set_env("MOBREVIST_SYSFS_ROOT", fx_.sys_root());
  app_.set_env("MOBREVIST_MOUNTINFO", fx_.mountinfo());
  fifo_ = app_.use_device_change_fifo();
  std::filesystem::copy(bin_dir() + "/web", app_.dir() + "web", std::filesystem::copy_options::recursive);
  std::filesystem::create_directories(pc_dir());

  host_ = app_.start({"--web", "--no-browser"});
  if (!host_->wait_for_output("Mobrevist host ready", 60000)) return why = host_->out() + host_->err(), false;
  url_ = line_after(host_->out(), "web UI: ");
  if (url_.rfind("http://127.0.0.1:", 0) != 0) return why = "no opening link: " + host_->out(), false;
  return true;
}

bool web_host::attach_phone(int timeout_ms) {
  fx_.add_device("1-1", "18d1", "4ee7", kSerial);
  notify_device_change(fifo_, "arrival");
  return host_->wait_for_output("agent connected: ", timeout_ms);
}

std::unique_ptr<child_process> web_host::browser(const std::string& script, const env_list& extra) {
#ifdef MOBREVIST_WEB_SOURCE_DIR
  env_list env{{"WEB_URL", url_},
               {"SHOT_DIR", std::string(MOBREVIST_BUILD_DIR) + "/web/screenshots"},
               {"HOME", work_ / "home"},
               {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
               {"DISPLAY", ""},
               {"WAYLAND_DISPLAY", ""}};
  env.insert(env.end(), extra.begin(), extra.end());
  return std::make_unique<child_process>(
      std::vector<std::string>{MOBREVIST_NODE, std::string(MOBREVIST_WEB_SOURCE_DIR) + "/tests/" + script}, env,
      work_.path(), work_ / ("browser-" + script));
#else
  (void)script;
  (void)extra;
  return nullptr;
#endif
}

} // namespace testsupport
