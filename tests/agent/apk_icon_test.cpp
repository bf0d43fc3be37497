// The launcher icon found in package files: the densest square icon stored as it is, bytes
// in front of the archive allowed, and nothing at all for archives that are damaged, lie
// about their offsets, or hold no such icon.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "agent/apk_icon.h"
#include "support/temp_dir.h"

namespace {

struct entry {
  std::string name;
  std::string data;
  uint16_t method = 0;  // 0 stored; 8 marks it compressed (the bytes are not)
};

void put16(std::string& s, uint32_t v) { s += char(v & 0xFF), s += char((v >> 8) & 0xFF); }
void put32(std::string& s, uint32_t v) { put16(s, v & 0xFFFF), put16(s, v >> 16); }

// A zip archive of the entries (no checksums: the finder does not read them).
std::string zip(const std::vector<entry>& entries, const std::string& prefix = "") {
  std::string body, dir;
  for (const entry& e : entries) {
    const uint32_t at = static_cast<uint32_t>(body.size());
    put32(body, 0x04034b50), put16(body, 20), put16(body, 0), put16(body, e.method), put32(body, 0), put32(body, 0);
    put32(body, e.data.size()), put32(body, e.data.size()), put16(body, e.name.size()), put16(body, 0);
    body += e.name + e.data;
    put32(dir, 0x02014b50), put16(dir, 20), put16(dir, 20), put16(dir, 0), put16(dir, e.method), put32(dir, 0);
    put32(dir, 0), put32(dir, e.data.size()), put32(dir, e.data.size()), put16(dir, e.name.size());
    put16(dir, 0), put16(dir, 0), put16(dir, 0), put16(dir, 0), put32(dir, 0), put32(dir, at);
    dir += e.name;
  }
  std::string end;
  put32(end, 0x06054b50), put16(end, 0), put16(end, 0), put16(end, entries.size()), put16(end, entries.size());
  put32(end, dir.size()), put32(end, body.size()), put16(end, 0);
  return prefix + body + dir + end;
}

// The icon's bytes as found in the file; nullopt when none was offered.
std::optional<std::string> icon_of(const testsupport::temp_dir& dir, const std::string& file_bytes) {
  const std::string path = dir / "base.apk";
  testsupport::write_file(path, file_bytes);
  int fd = ::open(path.c_str(), O_RDONLY);
  auto found = kit::agent::find_launcher_icon(fd);
  std::optional<std::string> bytes;
  if (found) bytes = file_bytes.substr(found->offset, found->size);
  ::close(fd);
  return bytes;
}

} // namespace

TEST(ApkIcon, TheDensestStoredSquareIconIsOfferedAndDamagedArchivesOfferNothing) {
  testsupport::temp_dir dir;
  const std::vector<entry> app = {
      {"AndroidManifest.xml", std::string(40, 'm'), 8},
      {"res/mipmap-hdpi-v4/ic_launcher.png", "hdpi"},
      {"res/mipmap-xxxhdpi-v4/ic_launcher_round.png", "xxxhdpi round"},
      {"res/mipmap-xxxhdpi-v4/ic_launcher.png", "xxxhdpi square"},
      {"res/mipmap-xxhdpi-v4/ic_launcher.webp", "xxhdpi webp"},
      {"assets/res/mipmap-xxxhdpi/ic_launcher.png", "not a resource"},
      {"res/mipmap-xxxhdpi-v4/nested/ic_launcher.png", "too deep"},
  };
  const std::string whole = zip(app);
  struct archive_case {
    const char* what;
    std::string bytes;
    std::optional<std::string> icon;
  };
  const archive_case cases[] = {
      {"an app's package", whole, "xxxhdpi square"},
      {"bytes in front of the archive", zip(app, std::string(5000, '\0')), "xxxhdpi square"},
      {"only a compressed icon", zip({{"res/mipmap-xxxhdpi/ic_launcher.png", "deflated", 8}}), std::nullopt},
      {"a round icon alone", zip({{"res/drawable/ic_launcher_round.png", "round"}}), "round"},
      {"an icon past the size limit", zip({{"res/mipmap-mdpi/ic_launcher.png", std::string(kit::agent::kMaxIconBytes + 1, 'x')}}),
       std::nullopt},
      {"no icon", zip({{"classes.dex", "dex"}}), std::nullopt},
      {"an empty file", "", std::nullopt},
      {"no archive", std::string(3000, 'z'), std::nullopt},
      {"cut inside the directory", whole.substr(0, whole.size() - 40), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(icon_of(dir, c.bytes), c.icon) << c.what;

  // A directory that points past the file's end, or at no local header.
  std::string lying = whole;
  const size_t end = lying.size() - 22;
  lying[end + 16] = '\x7f', lying[end + 17] = '\x7f';  // the directory's offset
  EXPECT_EQ(icon_of(dir, lying), std::nullopt);
  std::string shifted = zip({{"res/mipmap-mdpi/ic_launcher.png", "icon"}});
  shifted[0] = 'X';  // the local header's signature
  EXPECT_EQ(icon_of(dir, shifted), std::nullopt);
}
