// CIconImagerCreator: makes the bitmaps of the UI engine that show a file type's or a
// program's icon. A process-wide singleton (start-up acquires it first of the managers);
// the icon manager's cache decides what is rendered, this decides how. UI thread only.
#pragma once
#include <string>

struct UIG_Bitmap;

class CIconImagerCreator {
public:
  // The icon of the path as a new bitmap (count 1, premultiplied BGRA, 32 x 32 pixels for
  // large icons and 16 x 16 for small ones, or what the icon's aspect leaves of that), or
  // null when no icon could be found or decoded. program: the path names a program file.
  UIG_Bitmap* Render(const std::string& path, bool program, bool large);

  static int IconSize(bool large) { return large ? 32 : 16; }
};
