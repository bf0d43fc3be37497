// Loading the codec library: the interface type it reports, and plug-ins beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"
#include "archive/codec_library.h"

using kit::archive::CodecLibrary;

namespace {
const std::string kFakes = FAKE_CODEC_DIR;

bool has_format(const CodecLibrary& lib, const std::string& name) {
  return std::any_of(lib.formats().begin(), lib.formats().end(), [&](const auto& f) { return f.name == name; });
}
} // namespace

// A library of another layout (or one that does not say) would have every method slot off:
// it is refused and the next candidate is taken.
TEST(CodecLibraryLoad, OnlyTheInterfaceTypeThisHostUsesIsAccepted) {
  EXPECT_EQ(CodecLibrary::Load({kFakes + "/fake_codec_type1.so"}), nullptr);
  EXPECT_EQ(CodecLibrary::Load({kFakes + "/fake_codec_notype.so"}), nullptr);
  auto lib = CodecLibrary::Load({kFakes + "/fake_codec_type1.so", kFakes + "/fake_codec_notype.so",
                                 kFakes + "/fake_codec_type0.so"});
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib->main().path(), kFakes + "/fake_codec_type0.so");
  EXPECT_TRUE(has_format(*lib, "fakefmt"));
  testsupport::temp_dir t;
  testsupport::write_file(t / "fake.so", "not a library");
  EXPECT_EQ(CodecLibrary::Load({t / "fake.so", t / "missing.so"}), nullptr);
}

TEST(CodecLibraryLoad, PluginsInCodecsAndFormatsFoldersAreAdded) {
  testsupport::temp_dir t;
  namespace fs = std::filesystem;
  fs::copy_file("/usr/lib/p7zip/7z.so", t / "7z.so");
  fs::create_directories(t / "Formats/more");
  fs::create_directories(t / "Codecs");
  fs::copy_file(kFakes + "/fake_codec_type0.so", t / "Formats/more/fake.so");
  // Neither of these is a usable plug-in: both are passed over.
  fs::copy_file(kFakes + "/fake_codec_type1.so", t / "Codecs/old.so");
  testsupport::write_file(t / "Formats/readme.txt", "not a library");
  auto lib = CodecLibrary::Load({t / "7z.so"});
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib->handlers().size(), 2u);
  EXPECT_TRUE(has_format(*lib, "zip"));
  EXPECT_TRUE(has_format(*lib, "fakefmt"));
}
