// The agent as phones receive it: static, LOAD segments aligned for 16 KiB pages, small,
// and starting on each processor (under qemu-user); and its self-test on a phone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "agent/version.h"
#include "support/phone_agents.h"

using testsupport::child_process;

namespace {
testsupport::run_result run(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env = {}) {
  testsupport::temp_dir dir;
  child_process p(argv, env, dir.path(), dir / "out");
  return p.wait(60000);
}
} // namespace

TEST(PhoneBuilds, StaticAlignedSmallAndStartingOnEachProcessor) {
  struct abi_case {
    const char* abi;
    const char* emulator;  // "" for the machine's own processor
  };
  for (const abi_case& c : {abi_case{"arm64-v8a", "qemu-aarch64-static"}, abi_case{"armeabi-v7a", "qemu-arm-static"},
                            abi_case{"x86_64", ""}}) {
    SCOPED_TRACE(c.abi);
    std::string binary = testsupport::cross_agent(c.abi);
    if (binary.empty()) {
      ADD_FAILURE() << "no agent built for " << c.abi << " (scripts/setup installs the cross compilers)";
      continue;
    }
    struct stat st {};
    ASSERT_EQ(::stat(binary.c_str(), &st), 0);
    EXPECT_LT(st.st_size, 3 << 20) << "bytes";

    auto headers = run({testsupport::which("readelf"), "-lW", binary});
    ASSERT_EQ(headers.exit_code, 0) << headers.err;
    EXPECT_EQ(headers.out.find("INTERP"), std::string::npos) << "not static:\n" << headers.out;
    std::istringstream lines(headers.out);
    std::string line;
    int loads = 0;
    while (std::getline(lines, line)) {
      if (line.find(" LOAD ") == std::string::npos) continue;
      ++loads;
      unsigned long align = std::stoul(line.substr(line.rfind(' ') + 1), nullptr, 16);
      EXPECT_GE(align, 0x4000u) << line;
    }
    EXPECT_GT(loads, 0);

    std::vector<std::string> argv = {binary, "--version"};
    if (*c.emulator) {
      std::string emulator = testsupport::which(c.emulator);
      ASSERT_FALSE(emulator.empty()) << c.emulator << " is not installed";
      argv.insert(argv.begin(), emulator);
    }
    auto version = run(argv);
    EXPECT_EQ(version.exit_code, 0) << version.err;
    EXPECT_EQ(version.out, "mobrevist-agent " MOBREVIST_AGENT_VERSION "\n");
  }
}

TEST(PhoneBuilds, SelfTestTellsWhatWorksAndWhy) {
  testsupport::fake_phone phone;
  auto r = run({testsupport::bin_dir() + "/mobrevist-agent", "--self-test", "--root", phone.root()}, phone.env());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {"phone: Mobrevist Mobrevist Demo 9 米粒版, Android 14 (SDK 34)", "read SMS        yes  320 messages",
                           "read contacts   yes  60 contacts", "pictures        yes  48 pictures", "apps            yes  ",
                           "battery         yes  ", "storage         yes  20480 MB free of 65536 MB",
                           "change SMS      no   Android ignores SMS changes"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  // A phone where the tools are missing: every line says no, with the reason.
  auto bare = run({testsupport::bin_dir() + "/mobrevist-agent", "--self-test", "--root", phone.root()},
                  {{"PATH", phone.root() + "/nothing"}});
  EXPECT_EQ(bare.exit_code, 0);
  EXPECT_NE(bare.out.find("read SMS        no   content: not found"), std::string::npos) << bare.out;
  EXPECT_EQ(bare.out.find("yes"), std::string::npos) << bare.out;
}
