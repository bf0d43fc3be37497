// IconManager.Manager as scripts see it: bitmaps with their size, the same object for one
// key, an empty object when the theme has nothing, and bitmaps the script may drop.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "support/script_harness.h"
#include "support/temp_dir.h"

using testsupport::script_install;

namespace {

void write_png(const std::string& path, int size) {
  testsupport::make_dirs(path.substr(0, path.rfind('/')));
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
  gdk_pixbuf_fill(p, 0x336699ff);
  ASSERT_TRUE(gdk_pixbuf_save(p, path.c_str(), "png", nullptr, nullptr));
  g_object_unref(p);
}

TEST(IconManagerScript, BitmapsFromTheThemeAndEmptyObjects) {
  script_install app;
  std::string data = app.root() + "/share";
  testsupport::write_file(data + "/icons/hicolor/index.theme",
                          "[Icon Theme]\nDirectories=48x48/mimetypes\n\n[48x48/mimetypes]\nSize=48\nType=Fixed\n");
  write_png(data + "/icons/hicolor/48x48/mimetypes/text-plain.png", 48);
  app.set_env("XDG_DATA_DIRS", data + ":/usr/share");
  app.set_env("HOME", app.root() + "/home");
  // The user's theme is one no folder has: only the test's hicolor is left.
  testsupport::write_file(app.root() + "/config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=None\n");
  app.set_env("XDG_CONFIG_HOME", app.root() + "/config");
  app.package(R"(
local m = GetObject('IconManager.Manager')
local a = m:GetIconByPath('/docs/A.TXT', true)
local b = m:GetIconByPath('/other/b.txt', true)
local s = m:GetIconByPath('/docs/a.txt', false)
print('large', a:GetWidth(), a:GetHeight(), 'small', s:GetWidth(), s:GetHeight())
print('none', m:GetIconByPath('/x/photo.png', true):GetWidth())
print('type', type(a), pcall(m.GetIconByPath, {}, 'a.txt', true))
a, b, s = nil, nil, nil
collectgarbage()
print('done')
GetObject('Win32Shell.Object'):PostQuitMessage()
)");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("large\t32\t32\tsmall\t16\t16\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("none\t0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("type\tuserdata\ttrue\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("done\n"), std::string::npos) << r.out;
}

} // namespace
