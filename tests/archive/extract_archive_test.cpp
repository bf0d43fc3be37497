// extract-archive through the system's codec library, with archives made at test time.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "archive_maker.h"
#include "support/temp_dir.h"
#include "archive/codec_library.h"
#include "archive/extract_archive.h"

using archivetest::exists_no_follow;
using archivetest::mode_of;
using archivetest::run_in;
using archivetest::tree;
using kit::archive::extract_archive;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {
using strings = std::vector<std::string>;

// A source folder with nested folders, an empty folder and an executable file.
void fill_source(const std::string& src) {
  write_file(src + "/top.txt", "top");
  write_file(src + "/dir/sub/deep.txt", "deep");
  write_file(src + "/dir/tool.sh", "#!/bin/sh\n");
  ::chmod((src + "/dir/tool.sh").c_str(), 0755);
  testsupport::make_dirs(src + "/empty");
}

const strings kTree = {"dir/", "dir/sub/", "dir/sub/deep.txt", "dir/tool.sh", "empty/", "top.txt"};

struct format_case {
  const char* name;
  const char* command;  // run in the source folder, writes ../<archive>
  const char* archive;
};

class ExtractFormats : public ::testing::TestWithParam<format_case> {};

TEST_P(ExtractFormats, UnpacksNestedFoldersDirectoryItemsAndPermissions) {
  temp_dir t;
  fill_source(t / "src");
  ASSERT_TRUE(run_in(t / "src", GetParam().command)) << GetParam().command;
  std::string out = t / "out/new/folder";  // the destination chain is created
  ASSERT_TRUE(extract_archive(t / GetParam().archive, out));
  EXPECT_EQ(tree(out), kTree);
  EXPECT_EQ(read_file(out + "/dir/sub/deep.txt"), "deep");
  EXPECT_EQ(read_file(out + "/top.txt"), "top");
  // An installer stored as executable stays executable.
  EXPECT_EQ(mode_of(out + "/dir/tool.sh") & 0111, 0111);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExtractFormats,
    ::testing::Values(format_case{"zip", "zip -qr ../a.zip .", "a.zip"},
                      format_case{"sevenzip", "7z a -bd ../a.7z .", "a.7z"},
                      // No extension: the format is still found by trying each in turn.
                      format_case{"zip_without_extension", "zip -qr ../archive.zip . && mv ../archive.zip ../archive", "archive"},
                      format_case{"sevenzip_without_extension", "7z a -bd ../bundle.7z . && mv ../bundle.7z ../bundle", "bundle"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractArchive, TarGzGivesTheTarItHolds) {
  temp_dir t;
  fill_source(t / "src");
  ASSERT_TRUE(run_in(t / "src", "tar czf ../pkg.tar.gz ."));
  ASSERT_TRUE(extract_archive(t / "pkg.tar.gz", t / "out"));
  EXPECT_EQ(tree(t / "out"), strings{"pkg.tar"});
  // The tar it gives is an archive of its own.
  ASSERT_TRUE(extract_archive(t / "out/pkg.tar", t / "out2"));
  EXPECT_EQ(read_file(t / "out2/dir/sub/deep.txt"), "deep");
  EXPECT_EQ(mode_of(t / "out2/dir/tool.sh") & 0111, 0111);
}

TEST(ExtractArchive, MissingUnrecognisedAndEncryptedArchivesGiveFalse) {
  temp_dir t;
  write_file(t / "src/secret.txt", "secret");
  EXPECT_FALSE(extract_archive(t / "missing.zip", t / "out"));
  write_file(t / "text.zip", "this is not an archive at all");
  EXPECT_FALSE(extract_archive(t / "text.zip", t / "out"));
  EXPECT_FALSE(extract_archive(t.path(), t / "out"));  // a folder
  // Items encrypted, names readable; and names encrypted too.
  ASSERT_TRUE(run_in(t / "src", "7z a -bd -pgeheim ../data.7z secret.txt"));
  ASSERT_TRUE(run_in(t / "src", "7z a -bd -pgeheim -mhe=on ../names.7z secret.txt"));
  EXPECT_FALSE(extract_archive(t / "data.7z", t / "out"));
  EXPECT_FALSE(extract_archive(t / "names.7z", t / "out"));
  EXPECT_FALSE(exists_no_follow(t / "out/secret.txt"));
}

// Formats without a signature take almost any bytes (this one as a raw stream asking for a
// 2 GiB dictionary): they are offered only a file whose extension names them.
TEST(ExtractArchive, FormatsWithoutASignatureNeedTheirExtension) {
  temp_dir t;
  const unsigned char bytes[] = {0x43, 0, 0, 0, 0x80, 0, 0, 0x80, 0x2e, 0x73, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x22, 0x80, 0, 0, 0x80, 0x73};
  write_file(t / "blob.zip", std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes)));
  EXPECT_FALSE(extract_archive(t / "blob.zip", t / "out"));
  EXPECT_EQ(tree(t / "out"), strings{});
}

TEST(ExtractArchive, TruncatedArchivesLeaveNoPartialFile) {
  temp_dir t;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i * 7919 % 10007) + "\n";
  write_file(t / "src/big.txt", big);
  ASSERT_TRUE(run_in(t / "src", "7z a -bd ../a.7z big.txt && tar czf ../a.tar.gz big.txt && zip -q ../a.zip big.txt"));
  for (const char* name : {"a.7z", "a.tar.gz", "a.zip"}) {
    std::string bytes = read_file(t / name);
    write_file(t / (std::string("cut_") + name), bytes.substr(0, bytes.size() / 2));
    std::string out = t / (std::string("out_") + name);
    (void)extract_archive(t / (std::string("cut_") + name), out);
    // Whatever the format makes of it, no item is left half written.
    for (const std::string& item : tree(out)) {
      if (item.back() == '/') continue;
      std::string content = read_file(out + "/" + item);
      EXPECT_TRUE(content == big || item == "a.tar") << name << ": " << item << " has " << content.size() << " bytes";
      if (item == "a.tar") {
        EXPECT_GT(content.size(), big.size()) << name;
      }
    }
  }
}

TEST(ExtractArchive, AnItemWithBadDataIsRemovedAndTheOthersStay) {
  temp_dir t;
  std::string zip = t / "crc.zip";
  archivetest::write_stored_zip(zip, {{"good.txt", "good data"}, {"bad.txt", "bad data!"}, {"last.txt", "last"}});
  std::string bytes = read_file(zip);
  // Flip one byte of bad.txt's stored data: its CRC no longer matches.
  size_t at = bytes.find("bad data!");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'B';
  write_file(zip, bytes);
  EXPECT_TRUE(extract_archive(zip, t / "out"));
  EXPECT_EQ(tree(t / "out"), (strings{"good.txt", "last.txt"}));
}

TEST(ExtractArchive, ItemsNeverLandOutsideTheDestination) {
  temp_dir t;
  std::string zip = t / "slip.zip";
  std::string abs_target = t / "abs/evil";
  archivetest::write_stored_zip(zip, {{"../evil", "x"},
                                      {abs_target, "x"},
                                      {"a/../../evil2", "x"},
                                      {"..\\evil3", "x"},
                                      {"C:\\evil4", "x"},
                                      {"ok/good.txt", "good"}});
  EXPECT_TRUE(extract_archive(zip, t / "dest/inner"));
  EXPECT_EQ(tree(t / "dest"), (strings{"inner/", "inner/ok/", "inner/ok/good.txt"}));
  EXPECT_FALSE(exists_no_follow(t / "dest/evil"));
  EXPECT_FALSE(exists_no_follow(t / "evil"));
  EXPECT_FALSE(exists_no_follow(t / "evil2"));
  EXPECT_FALSE(exists_no_follow(abs_target));
}

TEST(ExtractArchive, LinksInsideTheDestinationAreNotFollowed) {
  temp_dir t;
  write_file(t / "outside/victim.txt", "keep");
  testsupport::make_dirs(t / "dest");
  ASSERT_EQ(::symlink((t / "outside/victim.txt").c_str(), (t / "dest/file.txt").c_str()), 0);
  ASSERT_EQ(::symlink((t / "outside").c_str(), (t / "dest/sub").c_str()), 0);
  std::string zip = t / "links.zip";
  archivetest::write_stored_zip(zip, {{"file.txt", "overwritten"}, {"sub/planted.txt", "planted"}, {"ok.txt", "ok"}});
  EXPECT_TRUE(extract_archive(zip, t / "dest"));
  EXPECT_EQ(read_file(t / "outside/victim.txt"), "keep");
  EXPECT_FALSE(exists_no_follow(t / "outside/planted.txt"));
  EXPECT_EQ(read_file(t / "dest/ok.txt"), "ok");
}

TEST(ExtractArchive, LinkItemsAreNotCreated) {
  temp_dir t;
  write_file(t / "src/real.txt", "real");
  ASSERT_EQ(::symlink("/etc/passwd", (t / "src/link").c_str()), 0);
  ASSERT_TRUE(run_in(t / "src", "tar cf ../l.tar real.txt link && 7z a -bd -snl ../l.7z real.txt link"));
  for (const char* name : {"l.tar", "l.7z"}) {
    std::string out = t / (std::string("out_") + name);
    EXPECT_TRUE(extract_archive(t / name, out)) << name;
    EXPECT_EQ(tree(out), strings{"real.txt"}) << name;
  }
}

TEST(ExtractArchive, PermissionBitsAreKeptWithoutSetIdAndDefaultToTheUmask) {
  temp_dir t;
  archivetest::write_stored_zip(t / "setid.zip", {{"run", "x"}}, 0106755);
  archivetest::write_stored_zip(t / "plain.zip", {{"plain", "x"}});
  mode_t old = ::umask(027);
  EXPECT_TRUE(extract_archive(t / "setid.zip", t / "out"));
  EXPECT_TRUE(extract_archive(t / "plain.zip", t / "out"));
  ::umask(old);
  EXPECT_EQ(mode_of(t / "out/run"), 0755);
  EXPECT_EQ(mode_of(t / "out/plain"), 0640);
}

TEST(ExtractArchive, AnExistingFileIsReplaced) {
  temp_dir t;
  write_file(t / "out/a.txt", "an older and longer content");
  archivetest::write_stored_zip(t / "a.zip", {{"a.txt", "new"}});
  EXPECT_TRUE(extract_archive(t / "a.zip", t / "out"));
  EXPECT_EQ(read_file(t / "out/a.txt"), "new");
}

// The library is loaded once however many threads ask for it first at the same moment.
TEST(CodecLibrary, ConcurrentFirstUseLoadsOnce) {
  // ctest runs each test in a process of its own.
  if (kit::archive::CodecLibrary::LoadCount() != 0) GTEST_SKIP() << "the library was loaded before";
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::atomic<int> found{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      if (kit::archive::CodecLibrary::Instance()) ++found;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(found.load(), kThreads);
  EXPECT_EQ(kit::archive::CodecLibrary::LoadCount(), 1);
}

} // namespace

// Archives that would take more than may be given are refused before anything is written:
// too many items, or items announcing more bytes than the limit allows.
TEST(ExtractArchive, ArchivesBeyondTheLimitsAreRefusedWhole) {
  temp_dir t;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 5; ++i) entries.emplace_back("f" + std::to_string(i) + ".txt", std::string(1000, 'a' + i));
  archivetest::write_stored_zip(t / "five.zip", entries);

  kit::archive::extract_limits few_items;
  few_items.max_items = 4;
  EXPECT_FALSE(extract_archive(t / "five.zip", t / "items", {}, few_items));
  EXPECT_TRUE(tree(t / "items").empty());

  kit::archive::extract_limits few_bytes;
  few_bytes.max_bytes = 4999;
  EXPECT_FALSE(extract_archive(t / "five.zip", t / "bytes", {}, few_bytes));
  EXPECT_TRUE(tree(t / "bytes").empty());

  kit::archive::extract_limits enough;
  enough.max_bytes = 5000;
  enough.max_items = 5;
  EXPECT_TRUE(extract_archive(t / "five.zip", t / "enough", {}, enough));
  EXPECT_EQ(tree(t / "enough").size(), 5u);
}

// Once the program ends its extractions, a running or later one stops at its next write
// and leaves no partial item behind.
TEST(ExtractArchive, ACancelledExtractionStopsAndRemovesItsPartialItem) {
  temp_dir t;
  archivetest::write_stored_zip(t / "big.zip", {{"big.bin", std::string(4u << 20, 'x')}});
  kit::archive::cancel_extractions();
  EXPECT_FALSE(extract_archive(t / "big.zip", t / "out"));
  EXPECT_FALSE(exists_no_follow(t / "out/big.bin"));
}
