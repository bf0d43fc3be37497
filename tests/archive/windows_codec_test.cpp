// The codec library's Windows form with a 7z.dll built from the codec library's own source
// (scripts/build-7z-dll), beside the test program as beside the host: it loads with the
// system's string functions, and a zip extracts byte for byte, names beyond the 16-bit range
// included, while names that would leave the destination or reach a device stay out.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/codec_library.h"
#include "archive/extract_archive.h"
#include "archive_maker.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using kit::archive::CodecLibrary;

TEST(WindowsCodecLibrary, ExtractsByteForByteAndKeepsItemsInsideTheDestination) {
  const CodecLibrary* lib = CodecLibrary::Instance();
  if (!lib) GTEST_SKIP() << "no Windows 7z.dll beside the test program (scripts/build-7z-dll builds one)";
  for (const char* name : {"zip", "7z", "tar", "gzip"}) {
    EXPECT_TRUE(std::any_of(lib->formats().begin(), lib->formats().end(), [&](const auto& f) { return f.name == name; }))
        << name;
  }

  testsupport::temp_dir t;
  std::string zip = t / "names.zip";
  const std::string smile = "\xF0\x9F\x98\x80 smile.txt";  // U+1F600: a surrogate pair in UTF-16
  const std::string phone = "\xE6\x89\x8B\xE6\x9C\xBA.txt";
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  archivetest::write_stored_zip(zip, {{"dir/plain.bin", big},
                                      {smile, "two"},
                                      {"dir/" + phone, "three"},
                                      {"..\\evil.txt", "x"},
                                      {"C:\\evil2.txt", "x"},
                                      {"con.txt", "x"},
                                      {"dir/NUL", "x"},
                                      {"dir/stream.txt:hidden", "x"}});
  std::string dest = t / "dest";
  kit::archive::extract_archive(zip, dest);
  EXPECT_EQ(kit::platform::read_whole_file(dest + "/dir/plain.bin", 1 << 20).value_or(""), big);
  EXPECT_EQ(kit::platform::read_whole_file(dest + "/" + smile, 100).value_or(""), "two");
  EXPECT_EQ(kit::platform::read_whole_file(dest + "/dir/" + phone, 100).value_or(""), "three");
  EXPECT_FALSE(archivetest::exists_no_follow(t / "evil.txt"));
  EXPECT_FALSE(archivetest::exists_no_follow("C:/evil2.txt"));
  // Only the three files and their folder: no escaped name, no device name, no stream.
  std::vector<std::string> names = archivetest::tree(dest);
  EXPECT_EQ(names.size(), 4u);
  for (const std::string& n : names) {
    EXPECT_EQ(n.find("evil"), std::string::npos) << n;
    EXPECT_EQ(n.find("con"), std::string::npos) << n;
    EXPECT_EQ(n.find("NUL"), std::string::npos) << n;
    EXPECT_EQ(n.find("stream"), std::string::npos) << n;
  }
}
#endif
