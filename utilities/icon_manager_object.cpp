#include "utilities/icon_manager_object.h"

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "utilities/icon_imager.h"

using kit::design_pattern::singleton_ex;

namespace {

std::u16string lower(std::u16string s) {
  for (char16_t& c : s) c = kit::text::to_lower(c);
  return s;
}

// The extension as the shell finds it: from the last dot of the last part of the path,
// unless a blank follows that dot.
std::u16string extension_of(const std::u16string& path) {
  size_t start = path.find_last_of(u"/\\");
  start = start == std::u16string::npos ? 0 : start + 1;
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot < start) return u"";
  std::u16string ext = path.substr(dot);
  if (ext.find(u' ') != std::u16string::npos) return u"";
  return ext;
}

bool is_program(const std::u16string& path) { return lower(extension_of(path)) == u".exe"; }

// GetIconByPath(path, large) -> bitmap (an empty one when no icon could be made).

} // namespace

std::u16string CLuaIconManager::CacheKey(const std::string& path, bool large) {
  std::u16string wide = kit::text::utf8_to_utf16(path);
  std::u16string key = lower(is_program(wide) ? wide : extension_of(wide));
  return key + (large ? u"_L" : u"_S");
}

CLuaIconManager::CLuaIconManager() : imager_(singleton_ex<CIconImagerCreator>::acquire()) {}

CLuaIconManager::~CLuaIconManager() {
  for (auto& [key, bitmap] : cache_) UIG_ReleaseBitmap(bitmap);
  singleton_ex<CIconImagerCreator>::release();
}

UIG_Bitmap* CLuaIconManager::GetIconByPath(const std::string& path, bool large) {
  std::u16string key = CacheKey(path, large);
  auto it = cache_.find(key);
  if (it == cache_.end()) {
    bool program = is_program(kit::text::utf8_to_utf16(path));
    it = cache_.emplace(key, imager_->Render(path, program, large)).first;
  }
  if (it->second) UIG_AddRefBitmap(it->second);
  return it->second;
}
