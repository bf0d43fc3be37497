// A private folder (where the host keeps its lock, shared block and temporary files): made
// for this user alone and reused while it is so; a file in its place, or a folder that lets
// other accounts in, is refused and left as it was.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

#include "platform/file.h"
#include "platform/private_dir.h"
#include "support/temp_dir.h"

using kit::platform::ensure_private_dir;

namespace {
// A folder every account may write into.
bool make_open_folder(const std::string& path) {
#ifdef _WIN32
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  std::wstring wide(path.begin(), path.end());  // the test's paths are ASCII
  bool made = ::CreateDirectoryW(wide.c_str(), &attributes) != 0;
  ::LocalFree(descriptor);
  return made;
#else
  return ::mkdir(path.c_str(), 0700) == 0 && ::chmod(path.c_str(), 0777) == 0;
#endif
}
} // namespace

TEST(PrivateDir, MadeForThisUserAndReusedWhileItIsOurs) {
  testsupport::temp_dir tmp;
  std::string dir = tmp / "private";
  EXPECT_TRUE(ensure_private_dir(dir));
  EXPECT_TRUE(kit::platform::is_directory(dir));
  EXPECT_TRUE(ensure_private_dir(dir));
  EXPECT_FALSE(ensure_private_dir(tmp / "missing/parent"));
  EXPECT_FALSE(ensure_private_dir(""));
}

TEST(PrivateDir, AFileOrAFolderOpenToOthersIsRefusedAndLeftAlone) {
  struct planted {
    const char* what;
    bool (*make)(const std::string& path);
  };
  const std::vector<planted> cases = {
      {"a file", [](const std::string& path) {
         testsupport::write_file(path, "keep");
         return true;
       }},
      {"a folder every account may write into", make_open_folder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::temp_dir tmp;
    std::string path = tmp / "private";
    ASSERT_TRUE(c.make(path));
    bool was_folder = kit::platform::is_directory(path);
    EXPECT_FALSE(ensure_private_dir(path));
    EXPECT_EQ(kit::platform::is_directory(path), was_folder);
    if (!was_folder) {
      EXPECT_EQ(testsupport::read_file(path), "keep");
    }
  }
}
