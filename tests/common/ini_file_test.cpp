// Profile files: lookups with the profile rules and writes that leave the rest of the file
// byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/ini_file.h"
#include "support/temp_dir.h"

using kit::ini::find_value;
using kit::ini::with_value;

namespace {
const std::string kMessy =
    "; settings\r\n"
    "[First]\r\n"
    "Name = \"quoted value\" \r\n"
    "\r\n"
    "[second]\r\n"
    "  KEY=  spaced  \r\n"
    ";Key=commented\r\n"
    "other=1\r\n"
    "\r\n"
    "[SECOND]\r\n"
    "key=from the duplicate\r\n"
    "late=only here\r\n"
    "[Third]\r\n"
    "x=y\r\n";
} // namespace

TEST(IniFile, LookupsIgnoreCaseTrimAndTakeTheFirstSection) {
  EXPECT_EQ(find_value(kMessy, "first", "NAME"), "quoted value");
  EXPECT_EQ(find_value(kMessy, "Second", "key"), "spaced");
  EXPECT_EQ(find_value(kMessy, "second", "late"), std::nullopt);  // only in the duplicate
  EXPECT_EQ(find_value(kMessy, "third", "X"), "y");
  EXPECT_EQ(find_value(kMessy, "third", "missing"), std::nullopt);
  EXPECT_EQ(find_value(kMessy, "nowhere", "x"), std::nullopt);
  EXPECT_EQ(find_value("[a]\nk='v'", "a", "k"), "v");
  EXPECT_EQ(find_value("[a]\nk=\"v", "a", "k"), "\"v");  // an unmatched quote stays
  EXPECT_EQ(find_value("", "a", "k"), std::nullopt);
}

TEST(IniFile, WritesChangeOnlyTheirLine) {
  std::string replaced = with_value(kMessy, "SECOND", "key", "new");
  std::string expected = kMessy;
  expected.replace(expected.find("  KEY=  spaced  "), 16, "KEY=new");
  EXPECT_EQ(replaced, expected);

  // A new key goes after the section's last line, before its blank separator.
  std::string added = with_value(kMessy, "First", "extra", "2");
  expected = kMessy;
  expected.insert(expected.find("\r\n\r\n[second]") + 2, "extra=2\r\n");
  EXPECT_EQ(added, expected);

  // A new section goes at the end, with the file's own line ends.
  EXPECT_EQ(with_value("[a]\nk=v", "B", "x", "1"), "[a]\nk=v\n[B]\nx=1\n");
  EXPECT_EQ(with_value("[a]\nk=v", "a", "n", "1"), "[a]\nk=v\nn=1\n");
  EXPECT_EQ(with_value("", "s", "k", "v"), "[s]\r\nk=v\r\n");
}

TEST(IniFile, FilesAreCreatedAndReadBack) {
  testsupport::temp_dir t;
  std::string path = t / "new.ini";
  EXPECT_EQ(kit::ini::read_value(path, "s", "k"), std::nullopt);
  EXPECT_TRUE(kit::ini::write_value(path, "s", "k", "v1"));
  EXPECT_TRUE(kit::ini::write_value(path, "s", "K", "v2"));
  EXPECT_EQ(kit::ini::read_value(path, "S", "k"), "v2");
  EXPECT_EQ(testsupport::read_file(path), "[s]\r\nk=v2\r\n");  // the first spelling stays
  EXPECT_FALSE(kit::ini::write_value(t / "no/such/dir.ini", "s", "k", "v"));
}

TEST(IniFile, ProfileIntegers) {
  EXPECT_EQ(kit::ini::parse_profile_int(" 42abc"), 42);
  EXPECT_EQ(kit::ini::parse_profile_int("-7"), -7);
  EXPECT_EQ(kit::ini::parse_profile_int("0x1F"), 31);
  EXPECT_EQ(kit::ini::parse_profile_int("text"), 0);
  EXPECT_EQ(kit::ini::parse_profile_int("4294967295"), -1);
}

TEST(IniFile, OversizedFilesAreNeitherReadNorReplaced) {
  testsupport::temp_dir t;
  std::string path = t / "huge.ini";
  std::string text = "[s]\r\nk=v\r\n" + std::string(size_t(17) << 20, ';');
  testsupport::write_file(path, text);
  EXPECT_EQ(kit::ini::read_value(path, "s", "k"), std::nullopt);
  EXPECT_FALSE(kit::ini::write_value(path, "s", "k", "w"));
  EXPECT_EQ(testsupport::read_file(path).size(), text.size());
}

// A write that cannot be completed leaves the old file whole, says so and leaves no
// temporary file behind: on Linux a file size limit (as a full disk would), on Windows
// another program holding the file open without letting it be replaced.
TEST(IniFile, AWriteThatCannotFinishLeavesTheOldFile) {
  testsupport::temp_dir t;
  const std::string path = t / "config.ini";
  const std::string old = "[Update]\nurl=http://127.0.0.1/\n[Basic]\nappver=1.0\n" + std::string(4000, ';') + "\n";
  testsupport::write_file(path, old);
#ifdef _WIN32
  HANDLE held = ::CreateFileW(std::filesystem::u8path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(kit::ini::write_value(path, "Basic", "appver", "2.0")) << "the write claimed success";
  ::CloseHandle(held);
#else
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    bool written = kit::ini::write_value(path, "Basic", "appver", "2.0");
    ::_exit(written ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write claimed success";
#endif
  EXPECT_EQ(testsupport::read_file(path), old);
  size_t files = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(t.path()))) ++files;
  EXPECT_EQ(files, 1u) << "a temporary file was left";
}
