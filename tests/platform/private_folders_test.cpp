// The per-user folders that hold named locks and shared blocks: another local user must not
// be able to read them or plant files there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/named_mutex.h"
#include "platform/runtime_dir.h"
#include "platform/shared_mapping.h"
#include "support/temp_dir.h"
#include "support/unsafe_folders.h"

using kit::platform::runtime_dir_for;
using testsupport::describe;
using testsupport::mode_of;

namespace {
std::string fallback_in(const std::string& parent) { return parent + "/mobrevist-" + std::to_string(::getuid()); }
} // namespace

TEST(RuntimeDir, FallbackIsMadeForThisUserOnlyAndReusedWhenItIsOurs) {
  testsupport::temp_dir tmp;
  ASSERT_EQ(::chmod(tmp.path().c_str(), 01777), 0);  // like /tmp
  std::string expected = fallback_in(tmp.path());
  EXPECT_EQ(runtime_dir_for(nullptr, tmp.path()), expected);
  EXPECT_EQ(mode_of(expected), 0700u);
  EXPECT_EQ(runtime_dir_for("", tmp.path()), expected);
  // The session's own folder is taken as it is, without a trailing "/".
  EXPECT_EQ(runtime_dir_for((tmp.path() + "/").c_str(), "/nonexistent"), tmp.path());
}

TEST(RuntimeDir, FallbackThatIsNotSafelyOursIsRefusedAndLeftAlone) {
  for (auto kind : testsupport::unsafe_folder_kinds()) {
    SCOPED_TRACE(describe(kind));
    testsupport::temp_dir tmp;
    std::string planted = fallback_in(tmp.path());
    testsupport::make_unsafe_folder(planted, kind, tmp / "elsewhere");
    unsigned mode = mode_of(planted), owner = testsupport::owner_of(planted);
    EXPECT_EQ(runtime_dir_for(nullptr, tmp.path()), "");
    EXPECT_EQ(mode_of(planted), mode);
    EXPECT_EQ(testsupport::owner_of(planted), owner);
  }
  testsupport::temp_dir tmp;
  testsupport::write_file(fallback_in(tmp.path()), "not a folder");
  EXPECT_EQ(runtime_dir_for(nullptr, tmp.path()), "");
}

// A link planted where a lock or block file goes must not make the host open, create or
// resize the file it points at.
TEST(KernelObjects, LockAndBlockFilesThatAreSymbolicLinksAreRefused) {
  testsupport::temp_dir run, victims;
  ::setenv("XDG_RUNTIME_DIR", run.path().c_str(), 1);
  std::string existing = victims / "existing", missing = victims / "missing";
  testsupport::write_file(existing, "keep");

  ASSERT_EQ(::symlink(existing.c_str(), (run / "Handle_test.handle").c_str()), 0);
  kit::platform::named_mutex by_handle;
  EXPECT_FALSE(by_handle.create("Handle test", true));

  ASSERT_EQ(::symlink(missing.c_str(), (run / "Owner_test.lock").c_str()), 0);
  kit::platform::named_mutex by_lock;
  EXPECT_FALSE(by_lock.create("Owner test", true));
  EXPECT_FALSE(testsupport::file_exists(missing));

  ASSERT_EQ(::symlink(existing.c_str(), (run / "Block_test.map").c_str()), 0);
  kit::platform::shared_mapping block;
  EXPECT_FALSE(block.create("Block test", 4004));
  EXPECT_FALSE(block.open("Block test", 4));
  EXPECT_TRUE(testsupport::read_file(existing) == "keep");

  // Plain files are still used.
  kit::platform::named_mutex plain;
  EXPECT_TRUE(plain.create("Plain test", true));
  EXPECT_TRUE(plain.owned());
  kit::platform::shared_mapping plain_block;
  EXPECT_TRUE(plain_block.create("Plain test", 4004));
  ::unsetenv("XDG_RUNTIME_DIR");
}
