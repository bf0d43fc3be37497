// The real host against an agent that means harm: a list reply of twenty million tiny
// records in one frame, and a frame announced at 0xFFFFFFFF bytes that never ends. The
// host must stay up, answer the script, and keep its peak memory bounded.
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/peak_memory.h"
#include "support/script_harness.h"

using testsupport::script_install;

namespace {

// One request of type 99; prints what reached the script and the host's peak memory
// (VmHWM, in KiB) when the request has ended.
constexpr const char* kPackage = R"lua(
local function peak_kib()
  for line in io.lines('/proc/self/status') do
    local kib = line:match('^VmHWM:%s*(%d+)')
    if kib then return tonumber(kib) end
  end
  return -1
end
local records, calls, largest = 0, 0, 0
local function done(how)
  collectgarbage()
  print(string.format('%s records %d calls %d largest %d peak %d', how, records, calls, largest, peak_kib()))
  GetObject('Win32Shell.Object'):PostQuitMessage()
end
GetObject('Socket.Manager'):SendSocketMessage(99, function(code, status, list)
  if code == 6 then return done('failed') end
  if status == 2 then return done('ended') end
  calls = calls + 1
  records = records + #list
  if #list > largest then largest = #list end
end)
)lua";

// A host whose peak memory is measured: under AddressSanitizer, freed blocks would otherwise
// wait in its quarantine (256 MiB by default) and count towards the peak.
void measure_memory_of(script_install& app) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  app.set_env("ASAN_OPTIONS", std::string(asan ? asan : "") + ":quarantine_size_mb=1");
}

// The number after `key` in the line.
long value_after(const std::string& text, const std::string& key) {
  size_t at = text.find(key + " ");
  return at == std::string::npos ? -1 : std::stol(text.substr(at + key.size() + 1));
}

} // namespace

TEST(HostileAgent, TwentyMillionTinyRecordsInOneFrameReachTheScriptWithBoundedMemory) {
  constexpr long kRecords = 20000000;
  constexpr long kReplyKib = (5 * kRecords + 1) / 1024;  // about 98 MiB
  testsupport::temp_dir logs;
  auto agent = testsupport::start_agent_sim(logs, {"--flood", std::to_string(kRecords)});
  script_install app;
  app.package(kPackage);
  measure_memory_of(app);
  auto r = app.run({}, "", 240000);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_NE(r.out.find("ended records"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(value_after(r.out, "records"), kRecords);
  EXPECT_LE(value_after(r.out, "largest"), 65536);
  // The frame itself has to be buffered once; everything else stays small beside it.
  long peak = value_after(r.out, "peak");
  EXPECT_GT(peak, 0);
  if (testsupport::peak_memory_is_measurable()) {
    EXPECT_LT(peak, 5 * kReplyKib) << "peak " << peak << " KiB for a reply of " << kReplyKib << " KiB";
  }
}

TEST(HostileAgent, AFrameAnnouncedAtFourGibibytesFailsTheRequestAtOnce) {
  testsupport::temp_dir logs;
  auto agent = testsupport::start_agent_sim(logs, {"--endless-frame"});
  script_install app;
  app.package(kPackage);
  measure_memory_of(app);
  auto r = app.run({}, "", 120000);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_NE(r.out.find("failed records 0"), std::string::npos) << r.out << r.err;
  // Nothing of the endless frame is kept: far below the 1 GiB the agent would send.
  long peak = value_after(r.out, "peak");
  EXPECT_GT(peak, 0);
  if (testsupport::peak_memory_is_measurable()) {
    EXPECT_LT(peak, 256 * 1024) << "peak " << peak << " KiB";
  }
}
