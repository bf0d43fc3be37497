// Icons of file types and programs from the desktop's icon theme, decoded into
// premultiplied BGRA pixels. No display is needed and no file has to exist: the type
// comes from the name (the shared MIME database), the icon from the theme folders of
// XDG_DATA_HOME / XDG_DATA_DIRS (the user's theme, its parents, then hicolor).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kit::platform::icons {

struct icon_image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // rows of width * 4 bytes (see pixel_order)
};

// The icon names of the content type of a file name: the specific one, then the generic.
std::vector<std::string> type_icon_names(const std::string& file_name);

// The icon name a desktop entry file gives in its Icon= line ("" when the file is no
// desktop entry or names none). Only the first 64 KiB are read.
std::string desktop_entry_icon(const std::string& path);

// How decoded pixels are laid out: premultiplied B, G, R, A bytes (the UI engine's
// bitmaps), or straight A, R, G, B bytes (32-bit ARGB in network byte order, as icons
// travel on D-Bus).
enum class pixel_order { bgra_premultiplied, argb_network };

// Decodes an image file (PNG, SVG, whatever the decoder knows) at size x size pixels at
// most, keeping its aspect. False when it cannot be decoded.
bool decode_icon_file(const std::string& file, int size, icon_image& out,
                      pixel_order order = pixel_order::bgra_premultiplied);

// An image file drawn at size x size pixels at most (keeping its aspect) and encoded as a
// small picture file for a browser: JPEG where the decoder can write it, else PNG. format
// is "jpeg" or "png"; false when the image cannot be decoded or encoded.
bool encode_thumbnail(const std::string& file, int size, std::string& bytes, std::string& format);

// The width and height an image file has of itself; false when it is no image.
bool image_file_size(const std::string& file, int& width, int& height);

// The themed icon of the first of the names the theme has, at size pixels; false when
// none has one. A name that is an absolute path is decoded as that file.
bool load_themed_icon(const std::vector<std::string>& names, int size, icon_image& out);

#ifdef _WIN32
// The shell's icon of a file type on Windows (SHGetFileInfoW by the name's ending alone, so
// no file has to exist), drawn at size x size pixels into premultiplied BGRA. False when
// the shell gives no icon.
bool shell_type_icon(const std::string& file_name, int size, icon_image& out);
#endif

} // namespace kit::platform::icons
