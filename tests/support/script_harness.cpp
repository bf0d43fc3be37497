#include "support/script_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#ifdef _WIN32
#include "windows/bridge_relay_server.h"
#include "windows/wine_host.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {

std::string bin_dir() { return MOBREVIST_BIN_DIR; }

#ifdef _WIN32
std::string linux_bin_dir() { return MOBREVIST_LINUX_BIN; }
#else
std::string linux_bin_dir() { return bin_dir(); }
std::string linux_name(const std::string& path) { return path; }
#endif

#ifdef _WIN32
std::string script_install::host_temp_dir() const { return tmp_dir() + "Mobrevist/"; }
#else
std::string script_install::host_temp_dir() const { return tmp_dir() + "Mobrevist-" + std::to_string(::geteuid()) + "/"; }
#endif

run_result run_linux_tool(const std::vector<std::string>& argv, const std::string& folder, int timeout_ms) {
  temp_dir logs;
  child_process tool(argv, {}, folder, logs / "tool");
  return tool.wait(timeout_ms);
}

std::unique_ptr<child_process> start_agent_sim(const temp_dir& logs, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {linux_bin_dir() + "/agent-sim"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto agent = std::make_unique<child_process>(argv, std::vector<std::pair<std::string, std::string>>{}, logs.path(),
                                               logs / "agent");
  EXPECT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  return agent;
}

namespace {
// A hard link keeps the program's real path inside the install folder; copy when links fail.
void place_file(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::remove(to, ec);
  fs::create_hard_link(from, to, ec);
  if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}
} // namespace

script_install::script_install() {
  for (const char* d : {"app", "tmp", "state", "config", "data", "run", "logs"}) make_dirs(root_ / d);
#ifdef _WIN32
  place_file(bin_dir() + "/mobrevist.exe", exe());
  // The codec library the installer puts beside the program (archives, update packages).
  if (file_exists(bin_dir() + "/7z.dll")) place_file(bin_dir() + "/7z.dll", dir() + "7z.dll");
#else
  ::chmod((root_ / "run").c_str(), 0700);
  place_file(bin_dir() + "/mobrevist", exe());
#endif
}

void script_install::write(const std::string& relative, const std::string& content) {
  write_file(dir() + relative, content);
}

void script_install::package(const std::string& onload_lua) { write("uipkg/onload.lua", onload_lua); }

void script_install::copy_default_package(agent_road road) {
  const fs::path from = fs::path(bin_dir()) / "uipkg";
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    if (!entry.is_regular_file()) continue;
    write("uipkg/" + fs::relative(entry.path(), from).string(), read_file(entry.path().string()));
  }
  if (road == agent_road::app) {
    write("uipkg/agent/agent.apk", std::string("PK\x03\x04 stand-in agent app\n"));
  } else {
    // The program's agent folder: the builds for phones and the version they carry.
    for (const char* file : {"agent/version.txt", "agent/x86_64/mobrevist-agent"}) {
      write(file, read_file(bin_dir() + "/" + file));
#ifndef _WIN32
      ::chmod((dir() + file).c_str(), 0755);
#endif
    }
  }
}

void script_install::add_device_database() {
  const std::string archive = "adb_help.rsrc/MYCURSOR/101";
  write(archive, read_file(bin_dir() + "/" + archive));
}

void script_install::add_tool(const std::string& name) {
#ifdef _WIN32
  if (name == "adb_help") {
    place_file(MOBREVIST_BRIDGE_RELAY, dir() + "adb_help.exe");
    relay_ = std::make_shared<bridge_relay_server>(dir() + "adb_help.scenario");
    set_env("MOBREVIST_BRIDGE_RELAY_PORT", std::to_string(relay_->port()));
    return;
  }
#endif
  place_file(bin_dir() + "/" + name, dir() + name);
}

void script_install::set_env(const std::string& name, const std::string& value) {
  for (auto& [k, v] : extra_env_) {
    if (k == name) {
      v = value;
      return;
    }
  }
  extra_env_.emplace_back(name, value);
}

std::vector<std::pair<std::string, std::string>> script_install::env() const {
  std::vector<std::pair<std::string, std::string>> e = {
      {"XDG_RUNTIME_DIR", root_ / "run"}, {"XDG_STATE_HOME", root_ / "state"}, {"XDG_CONFIG_HOME", root_ / "config"},
      {"XDG_DATA_HOME", root_ / "data"},  {"TMPDIR", root_ / "tmp"},
#ifdef _WIN32
      // Windows takes its temp folder from these.
      {"TMP", root_ / "tmp"},             {"TEMP", root_ / "tmp"},
#endif
  };
  for (const auto& kv : extra_env_) {
    bool replaced = false;
    for (auto& [k, v] : e) {
      if (k == kv.first) {
        v = kv.second;
        replaced = true;
      }
    }
    if (!replaced) e.push_back(kv);
  }
  return e;
}

std::unique_ptr<child_process> script_install::start(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {exe()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string base = root_ / ("logs/run" + std::to_string(++runs_));
  return std::make_unique<child_process>(argv, env(), dir(), base);
}

run_result script_install::run(const std::vector<std::string>& args, const std::string& stdin_text, int timeout_ms) {
  auto child = start(args);
  child->write_stdin(stdin_text);
  child->close_stdin();
  return child->wait(timeout_ms);
}

} // namespace testsupport
