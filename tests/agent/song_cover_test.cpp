// The cover found in a song's ID3 tag: the front cover before any other picture, in tags of
// both versions, and nothing for tags that are damaged, stored in forms the bytes cannot be
// sent as they lie, or hold no JPEG or PNG picture.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "agent/song_cover.h"
#include "support/temp_dir.h"

namespace {

const std::string kJpeg = std::string("\xff\xd8\xff\xe0", 4) + "jpeg bytes";
const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "png bytes";

std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string syncsafe(uint32_t v) { return {char((v >> 21) & 0x7f), char((v >> 14) & 0x7f), char((v >> 7) & 0x7f), char(v & 0x7f)}; }

// An APIC frame's body: text encoding, MIME type, picture type, description, picture.
std::string apic(const std::string& picture, char type = 3, char encoding = 0, const std::string& description = "cover") {
  std::string d = description + (encoding == 1 ? std::string("\0\0", 2) : std::string(1, '\0'));
  return std::string(1, encoding) + "image/jpeg" + '\0' + type + d + picture;
}

std::string frame(int version, const std::string& id, const std::string& body, uint16_t flags = 0) {
  return id + (version == 4 ? syncsafe(body.size()) : be32(body.size())) + char(flags >> 8) + char(flags) + body;
}

std::string tag(int version, const std::string& frames, char flags = 0, size_t padding = 32) {
  std::string inside = frames + std::string(padding, '\0');
  return "ID3" + std::string{char(version), 0, flags} + syncsafe(inside.size()) + inside + "MP3 audio follows";
}

std::optional<std::string> cover_of(const testsupport::temp_dir& dir, const std::string& file_bytes) {
  const std::string path = dir / "song.mp3";
  testsupport::write_file(path, file_bytes);
  int fd = ::open(path.c_str(), O_RDONLY);
  auto found = kit::agent::find_song_cover(fd);
  ::close(fd);
  if (!found) return std::nullopt;
  return file_bytes.substr(found->offset, found->size);
}

} // namespace

TEST(SongCover, TheFrontCoverIsFoundInBothVersionsAndDamagedTagsOfferNothing) {
  testsupport::temp_dir dir;
  const std::string title = frame(3, "TIT2", std::string("\0Song", 5));
  const struct {
    const char* what;
    std::string file;
    std::optional<std::string> cover;
  } cases[] = {
      {"2.3, after a text frame", tag(3, title + frame(3, "APIC", apic(kJpeg))), kJpeg},
      {"2.4, syncsafe frame sizes", tag(4, frame(4, "APIC", apic(kPng))), kPng},
      {"the front cover before another picture", tag(3, frame(3, "APIC", apic(kPng, 0)) + frame(3, "APIC", apic(kJpeg, 3))), kJpeg},
      {"another picture when there is no front cover", tag(3, frame(3, "APIC", apic(kPng, 4))), kPng},
      {"a UTF-16 description", tag(3, frame(3, "APIC", apic(kJpeg, 3, 1, std::string("c\0o\0", 4)))), kJpeg},
      {"an extended header (2.3)", tag(3, be32(6) + std::string(6, '\0') + frame(3, "APIC", apic(kJpeg)), 0x40), kJpeg},
      {"no tag", "MP3 audio only", std::nullopt},
      {"no picture frame", tag(3, title), std::nullopt},
      {"a picture that is no JPEG or PNG", tag(3, frame(3, "APIC", apic("GIF89a..."))), std::nullopt},
      {"an unsynchronised tag", tag(3, frame(3, "APIC", apic(kJpeg)), char(0x80)), std::nullopt},
      {"a compressed frame (2.3)", tag(3, frame(3, "APIC", apic(kJpeg), 0x0080)), std::nullopt},
      {"a frame with a data length (2.4)", tag(4, frame(4, "APIC", apic(kJpeg), 0x0001)), std::nullopt},
      {"a frame longer than its tag", tag(3, "APIC" + be32(1u << 30) + std::string(2, '\0') + apic(kJpeg), 0, 0), std::nullopt},
      {"a description without its end", tag(3, frame(3, "APIC", std::string("\0image/png\0\3", 12) + "cover")), std::nullopt},
      {"version 2.2", tag(2, "PIC" + std::string(3, '\0') + apic(kJpeg)), std::nullopt},
      {"a tag cut off in its header", "ID3\3\0", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(cover_of(dir, c.file), c.cover) << c.what;
}
