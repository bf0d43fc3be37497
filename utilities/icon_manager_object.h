// Icons of file types and program files as bitmaps of the UI engine (the script face,
// "IconManager.Manager", is icon_manager_binding.cpp), rendered once per key and kept for the rest of the run. UI thread only.
#pragma once
#include <map>
#include <string>

#include "engine/ui_graphic.h"


class CIconImagerCreator;

class CLuaIconManager {
public:

  // The cache key of a path: for a ".exe" path (any letter case) the whole path, else
  // its extension from the last dot of its last part ("" when it has none), lower-cased,
  // then "_L" or "_S".
  static std::u16string CacheKey(const std::string& path, bool large);

  CLuaIconManager();
  ~CLuaIconManager();
  CLuaIconManager(const CLuaIconManager&) = delete;
  CLuaIconManager& operator=(const CLuaIconManager&) = delete;

  // The icon with a reference for the caller, or null when none could be made (that is
  // cached too: a key is rendered once).
  UIG_Bitmap* GetIconByPath(const std::string& path, bool large);
  size_t CacheSize() const { return cache_.size(); }

private:
  CIconImagerCreator* imager_;
  std::map<std::u16string, UIG_Bitmap*> cache_;  // one reference each; null: nothing could be made
};
