// The per-user registry file: keys under roots, values, subtrees, letter case.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "platform/process.h"
#include "utilities/registry_store.h"

using kit::utilities::registry_store;
using kit::utilities::registry_value;

TEST(RegistryStore, KeysValuesAndSubtrees) {
  testsupport::temp_dir t;
  registry_store reg(t / "cfg/registry.db");
  auto hkcu = registry_store::root_of("hkey_current_user");
  ASSERT_EQ(hkcu, 0);
  EXPECT_EQ(registry_store::root_of("HKEY_CURRENT_CONFIG"), 4);
  EXPECT_EQ(registry_store::root_of("HKCU"), std::nullopt);

  EXPECT_FALSE(reg.set_value(0, "Software\\App", "n", registry_value(1u)));  // no key yet
  EXPECT_TRUE(reg.create_key(0, "Software\\App\\Sub"));
  EXPECT_TRUE(reg.key_exists(0, "software/APP"));
  EXPECT_FALSE(reg.key_exists(1, "Software"));
  EXPECT_TRUE(reg.set_value(0, "Software\\App", "Count", registry_value(0xFFFFFFFFu)));
  EXPECT_TRUE(reg.set_value(0, "Software\\App\\Sub", "Name", registry_value(std::string("text"))));
  EXPECT_EQ(reg.query_value(0, "software\\app", "COUNT"), registry_value(0xFFFFFFFFu));
  EXPECT_EQ(reg.query_value(0, "Software\\App\\Sub\\", "name"), registry_value(std::string("text")));
  EXPECT_EQ(reg.query_value(0, "Software\\App", "none"), std::nullopt);

  // A sibling whose name starts like the deleted key survives.
  EXPECT_TRUE(reg.create_key(0, "Software\\Apple"));
  EXPECT_TRUE(reg.delete_key(0, "Software\\App"));
  EXPECT_FALSE(reg.key_exists(0, "Software\\App\\Sub"));
  EXPECT_EQ(reg.query_value(0, "Software\\App\\Sub", "name"), std::nullopt);
  EXPECT_TRUE(reg.key_exists(0, "Software\\Apple"));
  EXPECT_FALSE(reg.delete_key(0, "Software\\App"));
  EXPECT_FALSE(reg.delete_key(0, ""));  // a root is never deleted
}

TEST(RegistryStore, ValuesPersistInTheFile) {
  testsupport::temp_dir t;
  {
    registry_store reg(t / "r.db");
    ASSERT_TRUE(reg.create_key(2, "A"));
    ASSERT_TRUE(reg.set_value(2, "A", "v", registry_value(std::string("kept"))));
  }
  registry_store again(t / "r.db");
  EXPECT_EQ(again.query_value(2, "a", "V"), registry_value(std::string("kept")));
#ifndef _WIN32
  // A file that cannot be opened leaves a store that refuses everything.
  registry_store broken(t / "r.db/inside");
  EXPECT_FALSE(broken.create_key(0, "x"));
  EXPECT_EQ(broken.query_value(0, "x", "y"), std::nullopt);
#endif
}

#ifdef _WIN32
// The Windows build's store is the system's registry: what it writes, the system's own
// registry tool reads, and the other way round.
TEST(RegistryStore, TheSystemsRegistryToolSeesTheSameKeys) {
  const std::string key = "Software\\MobrevistTests\\Shared";
  registry_store reg;
  reg.delete_key(0, "Software\\MobrevistTests");
  ASSERT_TRUE(reg.create_key(0, key));
  ASSERT_TRUE(reg.set_value(0, key, "Name", registry_value(std::string("\u624b\u673a text"))));
  ASSERT_TRUE(reg.set_value(0, key, "Count", registry_value(7u)));
  kit::platform::process tool;
  auto listed = tool.run("reg.exe query HKEY_CURRENT_USER\\" + key, 60000);
  ASSERT_EQ(listed.how, kit::platform::process_result::ending::exited) << listed.output;
  EXPECT_NE(listed.output.find("Count"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("0x7"), std::string::npos) << listed.output;

  kit::platform::process writer;
  auto added = writer.run("reg.exe add HKEY_CURRENT_USER\\" + key + " /v Made /t REG_SZ /d \"by the tool\" /f", 60000);
  ASSERT_EQ(added.exit_code, 0) << added.output;
  EXPECT_EQ(reg.query_value(0, key, "made"), registry_value(std::string("by the tool")));
  EXPECT_EQ(reg.query_value(0, key, "NAME"), registry_value(std::string("\u624b\u673a text")));
  EXPECT_TRUE(reg.delete_key(0, "Software\\MobrevistTests"));
  EXPECT_FALSE(reg.key_exists(0, key));
}
#endif
