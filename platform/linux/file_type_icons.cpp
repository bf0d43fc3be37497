#include "platform/file_type_icons.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <cstring>
#include <string_view>
#include <fstream>

#include "platform/icon_theme_lookup.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform::icons {

std::vector<std::string> type_icon_names(const std::string& file_name) {
  std::vector<std::string> names;
  if (!lazy::available(lazy::library::glib_icons)) return names;
  gboolean uncertain = FALSE;
  gchar* type = LAZY_GLIB(g_content_type_guess)(file_name.c_str(), nullptr, 0, &uncertain);
  if (!type) return names;
  if (GIcon* icon = LAZY_GLIB(g_content_type_get_icon)(type)) {
    if (G_IS_THEMED_ICON(icon)) {
      for (const gchar* const* n = LAZY_GLIB(g_themed_icon_get_names)(G_THEMED_ICON(icon)); n && *n; ++n) {
        // The symbolic variants are one-colour outlines, not the icon a file list shows.
        if (!LAZY_GLIB(g_str_has_suffix)(*n, "-symbolic")) names.emplace_back(*n);
      }
    }
    LAZY_GLIB(g_object_unref)(icon);
  }
  if (names.empty()) {
    if (gchar* generic = LAZY_GLIB(g_content_type_get_generic_icon_name)(type)) {
      names.emplace_back(generic);
      LAZY_GLIB(g_free)(generic);
    }
  }
  LAZY_GLIB(g_free)(type);
  return names;
}

std::string desktop_entry_icon(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool in_entry = false;
  size_t read = 0;
  while (std::getline(in, line) && (read += line.size() + 1) <= 65536) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      if (in_entry) break;
      in_entry = line == "[Desktop Entry]";
      if (!in_entry) return "";  // a desktop entry starts with its group
      continue;
    }
    if (!in_entry || line.empty() || line[0] == '#') continue;
    if (line.rfind("Icon", 0) == 0) {
      size_t eq = line.find('=');
      if (eq == std::string::npos || line.find_first_not_of(" \t", 4) != eq) continue;
      size_t b = line.find_first_not_of(" \t", eq + 1);
      return b == std::string::npos ? "" : line.substr(b);
    }
  }
  return "";
}

namespace {
// An image file decoded at size x size pixels at most, keeping its aspect; null when it
// cannot be (the caller unrefs it).
GdkPixbuf* load_at_size(const std::string& file, int size) {
  if (size <= 0 || size > 1024 || !lazy::available(lazy::library::glib_icons)) return nullptr;
  GError* error = nullptr;
  GdkPixbuf* pixbuf = LAZY_GLIB(gdk_pixbuf_new_from_file_at_size)(file.c_str(), size, size, &error);
  if (error) LAZY_GLIB(g_error_free)(error);
  return pixbuf;
}
} // namespace

bool decode_icon_file(const std::string& file, int size, icon_image& out, pixel_order order) {
  GdkPixbuf* pixbuf = load_at_size(file, size);
  if (!pixbuf) return false;
  bool ok = false;
  int w = LAZY_GLIB(gdk_pixbuf_get_width)(pixbuf), h = LAZY_GLIB(gdk_pixbuf_get_height)(pixbuf);
  int channels = LAZY_GLIB(gdk_pixbuf_get_n_channels)(pixbuf);
  bool alpha = LAZY_GLIB(gdk_pixbuf_get_has_alpha)(pixbuf);
  if (LAZY_GLIB(gdk_pixbuf_get_colorspace)(pixbuf) == GDK_COLORSPACE_RGB && LAZY_GLIB(gdk_pixbuf_get_bits_per_sample)(pixbuf) == 8 &&
      channels == (alpha ? 4 : 3) && w > 0 && h > 0) {
    const guchar* pixels = LAZY_GLIB(gdk_pixbuf_read_pixels)(pixbuf);
    int stride = LAZY_GLIB(gdk_pixbuf_get_rowstride)(pixbuf);
    out.width = w;
    out.height = h;
    out.bgra.assign(static_cast<size_t>(w) * h * 4, 0);
    for (int y = 0; y < h; ++y) {
      const guchar* src = pixels + static_cast<size_t>(y) * stride;
      uint8_t* dst = out.bgra.data() + static_cast<size_t>(y) * w * 4;
      for (int x = 0; x < w; ++x, src += channels, dst += 4) {
        unsigned a = alpha ? src[3] : 255;
        if (order == pixel_order::argb_network) {
          dst[0] = static_cast<uint8_t>(a), dst[1] = src[0], dst[2] = src[1], dst[3] = src[2];
          continue;
        }
        // Colours premultiplied by alpha, rounded, as drawing over black gives them.
        dst[0] = static_cast<uint8_t>((src[2] * a + 127) / 255);
        dst[1] = static_cast<uint8_t>((src[1] * a + 127) / 255);
        dst[2] = static_cast<uint8_t>((src[0] * a + 127) / 255);
        dst[3] = static_cast<uint8_t>(a);
      }
    }
    ok = true;
  }
  LAZY_GLIB(g_object_unref)(pixbuf);
  return ok;
}

bool encode_thumbnail(const std::string& file, int size, std::string& bytes, std::string& format) {
  GdkPixbuf* pixbuf = load_at_size(file, size);
  if (!pixbuf) return false;
  bool ok = false;
  for (const char* type : {"jpeg", "png"}) {
    const bool jpeg = std::string_view(type) == "jpeg";
    char* keys[] = {const_cast<char*>(jpeg ? "quality" : "compression"), nullptr};
    char* values[] = {const_cast<char*>(jpeg ? "85" : "9"), nullptr};
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    if (LAZY_GLIB(gdk_pixbuf_save_to_bufferv)(pixbuf, &buffer, &length, type, keys, values, &error) && buffer) {
      bytes.assign(buffer, length);
      format = type;
      ok = true;
    }
    if (error) LAZY_GLIB(g_error_free)(error);
    if (buffer) LAZY_GLIB(g_free)(buffer);
    if (ok) break;
  }
  LAZY_GLIB(g_object_unref)(pixbuf);
  return ok;
}

bool image_file_size(const std::string& file, int& width, int& height) {
  width = height = 0;
  if (!lazy::available(lazy::library::glib_icons)) return false;
  return LAZY_GLIB(gdk_pixbuf_get_file_info)(file.c_str(), &width, &height) != nullptr && width > 0 && height > 0;
}

bool load_themed_icon(const std::vector<std::string>& names, int size, icon_image& out) {
  for (const std::string& name : names) {
    if (!name.empty() && name[0] == '/') {
      if (decode_icon_file(name, size, out)) return true;
      continue;
    }
    std::string file = find_icon_file({name}, size);
    if (!file.empty() && decode_icon_file(file, size, out)) return true;
  }
  return false;
}

} // namespace kit::platform::icons
