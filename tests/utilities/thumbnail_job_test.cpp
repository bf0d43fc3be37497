// Thumbnails for the window: images of several shapes drawn into a box of a given size as
// small JPEG files a browser (and gdk-pixbuf, reading them back) shows with the image's
// colours; what cannot be decoded leaves no file behind.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "utilities/thumbnail_job.h"

using testsupport::temp_dir;
using testsupport::write_file;

namespace {

// A portable pixmap of w x h pixels, all of one colour.
std::string ppm(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
  std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int i = 0; i < w * h; ++i) s += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
  return s;
}

} // namespace

TEST(Thumbnails, ImagesAreDrawnIntoTheBoxKeepingTheirShape) {
  temp_dir dir;
  struct shape {
    int w, h, box, out_w, out_h;
  } shapes[] = {{320, 240, 96, 96, 72}, {240, 320, 96, 72, 96}, {50, 40, 96, 96, 77}, {1, 1000, 64, 1, 64}};
  for (const auto& s : shapes) {
    std::string image = dir / ("in-" + std::to_string(s.w) + "x" + std::to_string(s.h) + ".ppm");
    std::string out = image + ".jpg";
    write_file(image, ppm(s.w, s.h, 200, 100, 50));
    ASSERT_TRUE(kit::utilities::write_thumbnail(image, out, s.box)) << s.w << "x" << s.h;
    GError* error = nullptr;
    GdkPixbuf* p = gdk_pixbuf_new_from_file(out.c_str(), &error);
    ASSERT_NE(p, nullptr) << (error ? error->message : "");
    EXPECT_EQ(gdk_pixbuf_get_width(p), s.out_w) << s.w << "x" << s.h;
    EXPECT_EQ(gdk_pixbuf_get_height(p), s.out_h) << s.w << "x" << s.h;
    // JPEG keeps a flat colour within a step or two.
    const guchar* px = gdk_pixbuf_get_pixels(p);
    EXPECT_NEAR(px[0], 200, 4) << s.w << "x" << s.h;
    EXPECT_NEAR(px[1], 100, 4) << s.w << "x" << s.h;
    EXPECT_NEAR(px[2], 50, 4) << s.w << "x" << s.h;
    EXPECT_LT(testsupport::read_file(out).size(), 8000u) << "a thumbnail should be small";
    g_object_unref(p);
  }
}

TEST(Thumbnails, WhatCannotBeDecodedWritesNothing) {
  temp_dir dir;
  for (const std::string& bytes : {std::string(), std::string("not an image at all"), std::string("P6\n0 0\n255\n")}) {
    write_file(dir / "bad.jpg", bytes);
    EXPECT_FALSE(kit::utilities::write_thumbnail(dir / "bad.jpg", dir / "bad-thumb.jpg", 96)) << bytes.size();
    EXPECT_FALSE(testsupport::file_exists(dir / "bad-thumb.jpg"));
  }
  EXPECT_FALSE(kit::utilities::write_thumbnail(dir / "missing.jpg", dir / "missing-thumb.jpg", 96));
}
