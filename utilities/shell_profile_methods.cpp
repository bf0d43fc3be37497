// Win32Shell.Object: profile (INI) files.
#include "common/ini_file.h"
#include "common/text_convert.h"
#include "host/script_bridge.h"
#include "utilities/path_text.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {
namespace {
// What ReadINIString gives for a missing key or file.
constexpr const char* kMissingString = "3.1.1.1";
// The longest text ReadINIString gives, in UTF-16 units (a 260-unit buffer and its end).
constexpr size_t kMaxStringUnits = 259;
} // namespace

int ReadINIInteger(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string file = native_path(check_text(L, 2)), section = check_text(L, 3), key = check_text(L, 4);
  int64_t fallback = kit::engine::check_int64(L, 5);
  auto value = kit::ini::read_value(file, section, key);
  // An empty value counts as missing.
  kit::script::push_int32(L, value && !value->empty() ? kit::ini::parse_profile_int(*value) : fallback);
  return 1;
}

int ReadINIString(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string file = native_path(check_text(L, 2)), section = check_text(L, 3), key = check_text(L, 4);
  auto value = kit::ini::read_value(file, section, key);
  if (!value) {
    lua_pushstring(L, kMissingString);
    return 1;
  }
  std::u16string units = kit::text::utf8_to_utf16(*value);
  if (units.size() > kMaxStringUnits) {
    units.resize(kMaxStringUnits);
    if (units.back() >= 0xD800 && units.back() < 0xDC00) units.pop_back();  // half a pair
  }
  kit::script::push_utf16(L, units);
  return 1;
}

int WriteINI(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string section = check_text(L, 2), key = check_text(L, 3), value = check_text(L, 4);
  std::string file = native_path(check_text(L, 5));
  // false when the file could not be written: the old one is then left as it was.
  lua_pushboolean(L, !file.empty() && !section.empty() && !key.empty() && kit::ini::write_value(file, section, key, value));
  return 1;
}

} // namespace kit::utilities::shell
