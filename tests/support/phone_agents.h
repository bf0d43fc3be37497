// The agents a test can talk to: the stand-in agent-sim, and mobrevist-agent serving the
// same data set as a fixture, serving a fake Android phone (the fake shell tools of
// support/fake_android over a phone built from the data set), or cross-built for arm64
// and run under qemu-user. Each listens on free loopback ports of its own.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/script_harness.h"
#include "support/temp_dir.h"

namespace testsupport {

// A program found through PATH ("" when none).
std::string which(const std::string& name);

struct agent_ports {
  uint16_t request = 0, pull = 0, push = 0, notify = 0;
  std::string list() const;  // "R,PULL,PUSH,N"
};
// Four loopback ports free at the time of the call.
agent_ports free_agent_ports();

// A fake Android phone in a temporary folder: the data set turned into the fake tools'
// database and a file system under root().
class fake_phone {
public:
  explicit fake_phone(const std::vector<std::string>& make_args = {});
  std::string root() const { return dir_ / "root"; }
  std::string phone_dir() const { return dir_ / "phone"; }
  // PATH with the fake tools first, and FAKE_ANDROID_DIR.
  std::vector<std::pair<std::string, std::string>> env() const;
  // Sets a switch of phone.json ("delay_ms", "sms_writes", ...) to a JSON value.
  void set(const std::string& key, const std::string& json_value) const;
  // Runs a fake tool as the agent would and returns its standard output.
  std::string run_tool(const std::vector<std::string>& argv) const;

private:
  temp_dir dir_;
};

enum class agent_kind { sim, agent_fixture, agent_phone, agent_arm64 };
const char* agent_kind_name(agent_kind kind);

// The cross-built agent for an ABI ("" when it was not built).
std::string cross_agent(const std::string& abi);
// Why a kind cannot run here ("" when it can): the arm64 build or qemu missing.
std::string agent_unavailable(agent_kind kind);

// Starts an agent of that kind on ports and waits for its ready line; phone is needed for
// agent_phone and agent_arm64. storage is agent-sim's file sandbox.
std::unique_ptr<child_process> start_agent(agent_kind kind, const agent_ports& ports, const temp_dir& logs,
                                           const fake_phone* phone, const std::vector<std::string>& extra = {});

} // namespace testsupport
