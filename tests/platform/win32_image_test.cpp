// Image files through the Windows Imaging Component: a picture's size, a small JPEG of it
// that reads back at the box's size with the picture's colour, an icon drawn in both pixel
// orders, and files that are no picture.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/file_type_icons.h"
#include "support/temp_dir.h"

namespace icons = kit::platform::icons;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {
void put(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit bitmap file of w x h pixels, all of one colour.
std::string bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  int stride = (w * 3 + 3) & ~3;
  std::string s = "BM";
  put(s, 54 + stride * h, 4);
  put(s, 0, 4);
  put(s, 54, 4);
  put(s, 40, 4);
  put(s, w, 4);
  put(s, h, 4);
  put(s, 1, 2);
  put(s, 24, 2);
  put(s, 0, 4);
  put(s, stride * h, 4);
  put(s, 2835, 4);
  put(s, 2835, 4);
  put(s, 0, 8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s += {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
    s.append(static_cast<size_t>(stride - w * 3), '\0');
  }
  return s;
}
} // namespace

TEST(WindowsImages, ThumbnailsSizesAndIcons) {
  temp_dir dir;
  std::string picture = dir / "picture.bmp";
  write_file(picture, bmp(320, 240, 200, 100, 50));
  int w = 0, h = 0;
  ASSERT_TRUE(icons::image_file_size(picture, w, h));
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);

  std::string bytes, format;
  ASSERT_TRUE(icons::encode_thumbnail(picture, 96, bytes, format));
  ASSERT_EQ(format, "jpeg");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
  std::string thumb = dir / "thumb.jpg";
  write_file(thumb, bytes);
  icons::icon_image read;
  ASSERT_TRUE(icons::decode_icon_file(thumb, 96, read));
  EXPECT_EQ(read.width, 96);
  EXPECT_EQ(read.height, 72);
  // JPEG keeps a flat colour within a few steps (premultiplied BGRA, fully opaque).
  const uint8_t* px = &read.bgra[(36 * 96 + 48) * 4];
  EXPECT_LE(std::abs(px[0] - 50), 6);
  EXPECT_LE(std::abs(px[1] - 100), 6);
  EXPECT_LE(std::abs(px[2] - 200), 6);
  EXPECT_EQ(px[3], 255);

  // The program's icon, with its transparent edge, in both orders: the same pixels.
  std::string icon = std::string(MOBREVIST_TESTS_DIR) + "/../app/icons/130.png";
  icons::icon_image premultiplied, network;
  ASSERT_TRUE(icons::decode_icon_file(icon, 32, premultiplied));
  ASSERT_TRUE(icons::decode_icon_file(icon, 32, network, icons::pixel_order::argb_network));
  ASSERT_EQ(premultiplied.bgra.size(), network.bgra.size());
  EXPECT_LE(premultiplied.width, 32);
  EXPECT_LE(premultiplied.height, 32);
  for (size_t i = 0; i < network.bgra.size(); i += 4) {
    unsigned a = network.bgra[i], r = network.bgra[i + 1];
    ASSERT_EQ(premultiplied.bgra[i + 3], a);
    ASSERT_EQ(premultiplied.bgra[i + 2], (r * a + 127) / 255);
  }

  std::string text = dir / "not-a-picture.jpg";
  write_file(text, "plain text");
  EXPECT_FALSE(icons::image_file_size(text, w, h));
  EXPECT_FALSE(icons::encode_thumbnail(text, 96, bytes, format));
  EXPECT_FALSE(icons::decode_icon_file(dir / "missing.png", 32, read));
}
#endif
