#include "bridge_relay_server.h"

#include <limits>
#include <vector>

#include "peers/relay_wire.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

namespace testsupport {

namespace {
using peer = phonelink_test::loopback_peer;

bool read_u32(int fd, uint32_t& value) {
  std::string bytes = peer::read_exactly(fd, 4);
  if (bytes.size() != 4) return false;
  value = relay_wire::u32_at(bytes.data());
  return true;
}

std::string u32(uint32_t value) {
  std::string out;
  relay_wire::put_u32(out, value);
  return out;
}

void relay_one(int fd, const std::string& scenario) {
  uint32_t count = 0;
  if (!read_u32(fd, count) || count > 4096) return;
  std::vector<std::string> argv = {linux_bin_dir() + "/adb_help"};
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = 0;
    if (!read_u32(fd, length) || length > (1u << 20)) return;
    argv.push_back(peer::read_exactly(fd, length));
    if (argv.back().size() != length) return;
  }
  temp_dir logs;
  child_process stand_in(argv, {{"ADB_HELP_SCENARIO", scenario}}, "", logs / "adb_help");
  run_result r = stand_in.wait(120000);
  if (r.timed_out) r.err += "relay: the stand-in did not end\n";
  peer::write_all(fd, u32(static_cast<uint32_t>(r.timed_out ? 1 : r.exit_code)) + u32(static_cast<uint32_t>(r.out.size())) +
                          r.out + u32(static_cast<uint32_t>(r.err.size())) + r.err);
}
} // namespace

bridge_relay_server::bridge_relay_server(const std::string& scenario)
    : peer_([scenario](int fd) { relay_one(fd, scenario); }, std::numeric_limits<int>::max()) {}

} // namespace testsupport
