// The machine identifier from fake sysfs trees, checked against md5sum of the 8 bytes.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/data_report_manager.h"
#include "net/machine_identifier.h"
#include "support/sysfs_fixture.h"

using kit::net::machine_identifier;

namespace {
// The MD5 of the 8 bytes, as `md5sum` printed it for each address these tests use.
std::string md5sum_of(std::initializer_list<unsigned> bytes) {
  static const std::map<std::vector<unsigned>, std::string> known = {
      {{0x3c, 0x52, 0x82, 0xab, 0xcd, 0x0f, 0x00, 0x00}, "c1b7e606b19e9995636dd488ed757253"},
      {{0x3c, 0x52, 0x82, 0xab, 0xcd, 0x0e, 0x00, 0x00}, "81b86a189cf2282e72ed6863b2d3fcdd"},
      {{0x00, 0x50, 0x56, 0xaa, 0xbb, 0xcc, 0x00, 0x00}, "785959092e25e7216695e0fa44240331"},
  };
  auto found = known.find(std::vector<unsigned>(bytes));
  return found == known.end() ? std::string() : found->second;
}

// The adapters are read from sysfs; Windows has the IP helper's adapter table instead.
#ifdef _WIN32
#define SKIP_WITHOUT_SYSFS() GTEST_SKIP() << "the adapters come from the system's adapter table on Windows"
#else
#define SKIP_WITHOUT_SYSFS() (void)0
#endif

struct sysfs_env {
  testsupport::sysfs_fixture fx;
  sysfs_env() { fx.apply_env(); }
  ~sysfs_env() {
    ::unsetenv("MOBREVIST_SYSFS_ROOT");
    ::unsetenv("MOBREVIST_MOUNTINFO");
  }
};
} // namespace

TEST(MachineIdentifier, OneRealAdapterAmongLoopbackAndVirtualOnes) {
  SKIP_WITHOUT_SYSFS();
  sysfs_env env;
  env.fx.add_net_adapter("lo", "00:00:00:00:00:00");
  env.fx.add_net_adapter("docker0", "02:00:00:00:00:01");
  env.fx.add_net_adapter("veth12ab", "02:00:00:00:00:02");
  env.fx.add_net_adapter("ens33", "00:0c:29:00:00:01", "vmxnet3", "VMware VMXNET3 Ethernet");
  env.fx.add_net_adapter("virbr0", "00:00:00:00:00:03");
  env.fx.add_net_adapter("enp3s0", "3c:52:82:AB:cd:0F", "r8169");
  env.fx.add_net_adapter("broken", "not an address", "r8169");
  std::string expected = md5sum_of({0x3c, 0x52, 0x82, 0xab, 0xcd, 0x0f, 0x00, 0x00});
  ASSERT_EQ(expected.size(), 32u);
  EXPECT_EQ(machine_identifier(), expected);

  // Of two real adapters the lower 8-byte address is kept.
  env.fx.add_net_adapter("wlp2s0", "3c:52:82:ab:cd:0e", "iwlwifi");
  EXPECT_EQ(machine_identifier(), md5sum_of({0x3c, 0x52, 0x82, 0xab, 0xcd, 0x0e, 0x00, 0x00}));
}

TEST(MachineIdentifier, AVirtualOnlyMachineUsesItsVirtualAdapter) {
  SKIP_WITHOUT_SYSFS();
  sysfs_env env;
  env.fx.add_net_adapter("lo", "00:00:00:00:00:00");
  env.fx.add_net_adapter("ens33", "00:50:56:aa:bb:cc", "vmxnet3", "vmWARE adapter");
  env.fx.add_net_adapter("vboxnet0", "0a:00:27:00:00:00");
  EXPECT_EQ(machine_identifier(), md5sum_of({0x00, 0x50, 0x56, 0xaa, 0xbb, 0xcc, 0x00, 0x00}));
}

TEST(MachineIdentifier, NoAdapterGivesAnEmptyIdentifier) {
  SKIP_WITHOUT_SYSFS();
  sysfs_env env;
  EXPECT_EQ(machine_identifier(), "");
  env.fx.add_net_adapter("lo", "00:00:00:00:00:00");
  EXPECT_EQ(machine_identifier(), "");
}

TEST(ReportUrl, FieldsArePercentEncodedInNameOrder) {
  EXPECT_EQ(kit::net::report_url("http://127.0.0.1:8/r", "ab", {{"z", "1"}, {"a b", "x&y=ü"}, {"B", ""}}),
            "http://127.0.0.1:8/r?mid=ab&B=&a%20b=x%26y%3D%C3%BC&z=1");
  EXPECT_EQ(kit::net::report_url("http://h/r?k=v", "", {}), "http://h/r?k=v&mid=");
}

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#include <set>

// Under Wine the adapter table is the Linux machine's: every adapter it lists has an
// address that machine's /sys (drive Z:) shows, and the identifier is the chosen one's.
TEST(MachineIdentifier, TheAdapterTableListsTheMachinesOwnAdapters) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory("Z:/sys/class/net", ec)) GTEST_SKIP() << "not under Wine (no Z:/sys/class/net)";
  std::set<std::string> shown;
  for (const auto& entry : fs::directory_iterator("Z:/sys/class/net", ec)) {
    std::string address;
    std::ifstream(entry.path() / "address") >> address;
    shown.insert(address);
  }
  std::vector<kit::net::adapter_record> adapters = kit::net::read_adapters();
  for (const auto& a : adapters) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", a.address[0], a.address[1], a.address[2],
                  a.address[3], a.address[4], a.address[5]);
    EXPECT_TRUE(shown.count(text)) << text << " (" << a.description << ")";
  }
  kit::net::adapter_record chosen;
  EXPECT_EQ(machine_identifier(), kit::net::choose_adapter(adapters, &chosen) ? kit::net::md5_hex(chosen.address) : "");
}
#endif
