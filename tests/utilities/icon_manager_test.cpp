// File-type icons: which paths share a cached bitmap, where the icon comes from in a theme
// made by the test, and the premultiplied pixels the bitmaps hold.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/ui_engine.h"
#include "support/temp_dir.h"
#include "utilities/icon_manager_object.h"

using testsupport::make_dirs;
using testsupport::write_file;

namespace {

struct rgba {
  uint8_t r, g, b, a;
};

// Writes a PNG of size x size pixels filled with fill, with the given first pixels of row 0.
void write_png(const std::string& path, int size, rgba fill, const std::vector<rgba>& first = {}) {
  make_dirs(path.substr(0, path.rfind('/')));
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
  guchar* px = gdk_pixbuf_get_pixels(p);
  int stride = gdk_pixbuf_get_rowstride(p);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      rgba c = (y == 0 && static_cast<size_t>(x) < first.size()) ? first[x] : fill;
      guchar* d = px + y * stride + x * 4;
      d[0] = c.r, d[1] = c.g, d[2] = c.b, d[3] = c.a;
    }
  }
  ASSERT_TRUE(gdk_pixbuf_save(p, path.c_str(), "png", nullptr, nullptr));
  g_object_unref(p);
}

// The pixel (x, y) of a bitmap as B, G, R, A.
std::vector<int> pixel(UIG_Bitmap* b, int x, int y) {
  const uint8_t* p = UIG_GetBitmapBuffer(b, x, y);
  if (!p) return {};
  return {p[0], p[1], p[2], p[3]};
}

class IconManager : public ::testing::Test {
protected:
  // One theme for the whole suite: the shared MIME database reads XDG_DATA_DIRS once.
  static void SetUpTestSuite() {
    dir_ = new testsupport::temp_dir;
    std::string icons = *dir_ / "data/icons/";
    write_file(icons + "FixtureTheme/index.theme",
               "[Icon Theme]\nName=Fixture\nInherits=hicolor\nDirectories=16x16/mimetypes,32x32/mimetypes\n\n"
               "[16x16/mimetypes]\nSize=16\nType=Fixed\n\n[32x32/mimetypes]\nSize=32\nType=Fixed\n");
    write_file(icons + "hicolor/index.theme",
               "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\nType=Fixed\n");
    std::string big = icons + "FixtureTheme/32x32/mimetypes/";
    // Opaque red, half-transparent white, a transparent colour, a quarter-opaque colour.
    write_png(big + "audio-mpeg.png", 32, {0, 0, 255, 255},
              {{255, 0, 0, 255}, {255, 255, 255, 128}, {10, 20, 30, 0}, {200, 100, 50, 64}});
    write_png(icons + "FixtureTheme/16x16/mimetypes/audio-mpeg.png", 16, {0, 255, 0, 255});
    write_png(big + "text-x-generic.png", 32, {1, 2, 3, 255});
    write_png(big + "application-x-generic.png", 32, {4, 5, 6, 255});
    // The program icon only hicolor has: the user's theme inherits it.
    write_png(icons + "hicolor/32x32/apps/application-x-executable.png", 32, {7, 8, 9, 255});
    write_file(*dir_ / "config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=FixtureTheme\n");
    for (const char* name : kVariables) {
      const char* v = std::getenv(name);
      saved_.emplace_back(v ? v : "", v != nullptr);
    }
    setenv("HOME", (*dir_ / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (*dir_ / "home/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (*dir_ / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (*dir_ / "data:/usr/share").c_str(), 1);
  }
  // The other tests of this program see the environment as it was.
  static void TearDownTestSuite() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].second)
        setenv(kVariables[i], saved_[i].first.c_str(), 1);
      else
        unsetenv(kVariables[i]);
    }
    saved_.clear();
    delete dir_;
    dir_ = nullptr;
  }

  // Asks for an icon and gives the caller's reference back at once; the cache keeps one.
  UIG_Bitmap* icon(const std::string& path, bool large) {
    UIG_Bitmap* b = manager_.GetIconByPath(path, large);
    if (b) UIG_ReleaseBitmap(b);
    return b;
  }

  static constexpr const char* kVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS"};
  static inline std::vector<std::pair<std::string, bool>> saved_;
  static inline testsupport::temp_dir* dir_ = nullptr;
  CLuaIconManager manager_;
};

TEST(IconCacheKey, ExtensionOrWholeProgramPathLowerCased) {
  EXPECT_EQ(CLuaIconManager::CacheKey("/music/Song.MP3", true), u".mp3_L");
  EXPECT_EQ(CLuaIconManager::CacheKey("C:\\a.b\\noext", false), u"_S");
  EXPECT_EQ(CLuaIconManager::CacheKey("/x/Setup.EXE", false), u"/x/setup.exe_S");
  EXPECT_EQ(CLuaIconManager::CacheKey("/x/\xC3\x84RGER.Txt", true), u".txt_L");
  EXPECT_EQ(CLuaIconManager::CacheKey("/x/\xC3\x84RGER.exe", true), u"/x/\u00e4rger.exe_L");
  EXPECT_EQ(CLuaIconManager::CacheKey("/x/file.a b", true), u"_L");  // a blank ends no extension
  EXPECT_EQ(CLuaIconManager::CacheKey("", true), u"_L");
}

TEST_F(IconManager, ExtensionsDifferingInCaseShareOneBitmapPerSize) {
  UIG_Bitmap* upper = icon("/a/Song.MP3", true);
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(icon("/b/other.mp3", true), upper);
  UIG_Bitmap* small = icon("/a/song.mp3", false);
  ASSERT_NE(small, nullptr);
  EXPECT_NE(small, upper);
  EXPECT_EQ(UIG_GetBitmapWidth(upper), 32);
  EXPECT_EQ(UIG_GetBitmapWidth(small), 16);
  EXPECT_EQ(pixel(small, 3, 3), (std::vector<int>{0, 255, 0, 255}));
  EXPECT_EQ(manager_.CacheSize(), 2u);
  // The caller owns a reference of its own besides the cache's.
  UIG_Bitmap* mine = manager_.GetIconByPath("/c/x.mp3", true);
  EXPECT_EQ(UIG_AddRefBitmap(mine), 3);
  UIG_ReleaseBitmap(mine);
  UIG_ReleaseBitmap(mine);
}

TEST_F(IconManager, PixelsArePremultipliedBgra) {
  UIG_Bitmap* b = icon("/m/a.mp3", true);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 0, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0), (std::vector<int>{128, 128, 128, 128}));
  EXPECT_EQ(pixel(b, 2, 0), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(pixel(b, 3, 0), (std::vector<int>{13, 25, 50, 64}));
  EXPECT_EQ(pixel(b, 31, 31), (std::vector<int>{255, 0, 0, 255}));
}

TEST_F(IconManager, ProgramPathsAreCachedOnePerPath) {
  UIG_Bitmap* one = icon("/apps/One.exe", true);
  UIG_Bitmap* two = icon("/apps/two.exe", true);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_NE(one, two);
  EXPECT_EQ(icon("/APPS/ONE.EXE", true), one);
  EXPECT_EQ(pixel(one, 0, 0), (std::vector<int>{9, 8, 7, 255}));
  // A program file that is a desktop entry shows the icon it names.
  write_file(*dir_ / "tool.exe", "[Desktop Entry]\nType=Application\nIcon=text-x-generic\n");
  UIG_Bitmap* own = icon(*dir_ / "tool.exe", true);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(pixel(own, 0, 0), (std::vector<int>{3, 2, 1, 255}));
  EXPECT_EQ(manager_.CacheSize(), 3u);
}

TEST_F(IconManager, NamesWithoutExtensionOrKnownTypeGetGenericIcons) {
  // README's own type has no icon in the theme: its generic text icon stands in.
  UIG_Bitmap* readme = icon("/doc/README", true);
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(pixel(readme, 0, 0), (std::vector<int>{3, 2, 1, 255}));
  EXPECT_EQ(icon("/doc/LICENSE", true), readme);  // one entry for every name without extension
  UIG_Bitmap* unknown = icon("/x/data.zzqqxx", true);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(pixel(unknown, 0, 0), (std::vector<int>{6, 5, 4, 255}));
}

TEST_F(IconManager, NothingFoundIsCachedAsNoBitmap) {
  // Neither the picture type's own icon nor its generic one is in the theme.
  EXPECT_EQ(manager_.GetIconByPath("/x/photo.png", false), nullptr);
  EXPECT_EQ(manager_.GetIconByPath("/y/PHOTO.PNG", false), nullptr);
  EXPECT_EQ(manager_.CacheSize(), 1u);
}

} // namespace
