// The window's browser tests: the host with the shipped package and front end serving its
// window (--web --no-browser), agent-sim as the phone behind the stand-in debug bridge, and
// a script of web/tests run by Node against the opening link.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/script_harness.h"
#include "support/sysfs_fixture.h"
#include "support/temp_dir.h"

namespace testsupport {

class web_host {
public:
  using env_list = std::vector<std::pair<std::string, std::string>>;

  // Starts agent-sim (its stored files under phone_dir()) with agent_args, then the host;
  // false, with what went wrong, when either did not come up.
  bool start(const std::vector<std::string>& agent_args, std::string& why);
  // Plugs the phone in; true once the host printed that the agent connected.
  bool attach_phone(int timeout_ms = 60000);
  // Runs web/tests/<script> with Node and Chromium against the opening link (extra
  // variables besides WEB_URL and SHOT_DIR).
  std::unique_ptr<child_process> browser(const std::string& script, const env_list& extra);

  std::string phone_dir() const { return work_.path() + "/phone"; }
  std::string pc_dir() const { return work_.path() + "/pc"; }
  const temp_dir& work() const { return work_; }
  script_install& app() { return app_; }
  child_process& host() { return *host_; }
  const std::string& url() const { return url_; }
  std::string fifo() const { return fifo_; }
  sysfs_fixture& devices() { return fx_; }

private:
  temp_dir work_;
  script_install app_;
  sysfs_fixture fx_;
  std::string fifo_, url_;
  std::unique_ptr<child_process> agent_, host_;
};

// The text after prefix up to the end of its line ("" when absent).
std::string line_after(const std::string& out, const std::string& prefix);

} // namespace testsupport
