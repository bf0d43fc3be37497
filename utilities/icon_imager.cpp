#include "utilities/icon_imager.h"

#include <cstring>

#include "engine/ui_engine.h"
#include "platform/file_type_icons.h"

namespace {

using kit::platform::icons::icon_image;

// The file name the type is guessed from: the last part of the path (either separator).
std::string file_name_of(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool load_icon(const std::string& path, bool program, int size, icon_image& image) {
  using namespace kit::platform::icons;
#ifdef _WIN32
  // The shell's icon of the type (a program's is the icon of programs): no file is read.
  return shell_type_icon(program ? std::string("program.exe") : file_name_of(path), size, image);
#else
  if (program) {
    // A program's own icon when the file is a desktop entry, else the theme's icon of
    // programs, else the icon of its type.
    std::string own = desktop_entry_icon(path);
    if (!own.empty() && load_themed_icon({own}, size, image)) return true;
    if (load_themed_icon({"application-x-executable"}, size, image)) return true;
  }
  std::string name = file_name_of(path);
  // A name of dots alone has no type to guess from; the generic icon stands for it.
  if (name.find_first_not_of('.') == std::string::npos) name = "unnamed";
  return load_themed_icon(type_icon_names(name), size, image);
#endif
}

} // namespace

UIG_Bitmap* CIconImagerCreator::Render(const std::string& path, bool program, bool large) {
  icon_image image;
  if (!load_icon(path, program, IconSize(large), image)) return nullptr;
  UIG_Bitmap* bitmap = UIG_CreateBitmap(0, image.width, image.height);
  if (!bitmap) return nullptr;
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = UIG_GetBitmapBuffer(bitmap, 0, y);
    if (!row) {
      UIG_ReleaseBitmap(bitmap);
      return nullptr;
    }
    std::memcpy(row, image.bgra.data() + static_cast<size_t>(y) * image.width * 4, static_cast<size_t>(image.width) * 4);
  }
  return bitmap;
}
