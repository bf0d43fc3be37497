// Win32Shell.Object: files and folders.
#include <filesystem>

#include "host/script_bridge.h"
#include "platform/file.h"
#include "platform/file_tree.h"
#include "platform/process_info.h"
#include "utilities/file_walk.h"
#include "utilities/path_text.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {

using kit::script::push_string;

int GetTmpDir(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string dir = kit::platform::temp_path();
  if (dir.empty()) return 0;
  push_string(L, dir);
  return 1;
}

// Moves the file or folder; an existing destination is never replaced.
int Rename(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string from = native_path(check_text(L, 2)), to = native_path(check_text(L, 3));
  if (from.empty() || to.empty()) return 0;
  kit::platform::rename_without_replacing(from, to);
  return 0;
}

// A file or a symbolic link is unlinked itself; a folder is removed with all it holds,
// never following a link out of it.
int DeletePathFile(lua_State* L) {
  if (!is_shell(L)) return 0;
  if (!kit::platform::remove_path(native_path(check_text(L, 2)))) return 0;
  lua_pushboolean(L, 1);
  return 1;
}

int EnumFile(lua_State* L) {
  if (!is_shell(L)) return 0;
  int64_t flags = kit::engine::check_int64(L, 2);
  std::string dir = native_path(check_text(L, 3));
  lua_newtable(L);
  int n = 0;
  walk_folder(dir, [&](const std::string& path, walk_entry_type type, uint64_t) {
    bool wanted = type == walk_entry_type::file ? (flags & 1) != 0 : (flags & 2) != 0;
    if (!wanted) return;
    lua_newtable(L);
    push_string(L, path);
    lua_setfield(L, -2, "path");
    lua_pushnumber(L, static_cast<int>(type));
    lua_setfield(L, -2, "type");
    lua_rawseti(L, -2, ++n);
  });
  return 1;
}

// The names of the entries of one folder (not its subfolders) that match the pattern and
// are not folders; nothing when there is none.
int GetExtFiles(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string dir = with_separator(native_path(check_text(L, 2)));
  std::string pattern = check_text(L, 3);
  auto entries = kit::platform::list_directory(dir);
  if (!entries) return 0;
  lua_newtable(L);
  int n = 0;
  for (const std::string& name : *entries) {
    if (!wildcard_match(pattern, name) || kit::platform::is_directory(dir + name)) continue;
    push_string(L, name);
    lua_rawseti(L, -2, ++n);
  }
  if (n == 0) {
    lua_pop(L, 1);
    return 0;
  }
  return 1;
}

// Pieces between separators; empty pieces inside the text are kept, an empty rest after
// the last separator is not. An empty separator gives the whole text as one piece.
int SplitString(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string text = check_text(L, 2), sep = check_text(L, 3);
  lua_newtable(L);
  int n = 0;
  size_t at = 0;
  if (!sep.empty()) {
    for (size_t found = text.find(sep); found != std::string::npos; found = text.find(sep, at)) {
      push_string(L, text.substr(at, found - at));
      lua_rawseti(L, -2, ++n);
      at = found + sep.size();
    }
  }
  if (at < text.size()) {
    push_string(L, text.substr(at));
    lua_rawseti(L, -2, ++n);
  }
  return 1;
}

int GetDirSize(lua_State* L) {
  if (!is_shell(L)) return 0;
  lua_pushnumber(L, static_cast<lua_Number>(folder_size(native_path(check_text(L, 2)))));
  return 1;
}

int CopyFile(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string from = native_path(check_text(L, 2)), to = native_path(check_text(L, 3));
  std::error_code ec;
  if (from.empty() || to.empty() || !std::filesystem::is_regular_file(from, ec)) return 0;
  if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec) || ec) return 0;
  lua_pushboolean(L, 1);
  return 1;
}

} // namespace kit::utilities::shell
