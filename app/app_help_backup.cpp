#include "app/app_help_backup.h"

#include <string>
#include <vector>

#include "app/app_help_object.h"
#include "app/contact_csv_import.h"
#include "backup/backup_functions.h"
#include "host/script_bridge.h"

namespace kit::app {
namespace {

using backup::contact_record;
using backup::csv_cells;

bool is_object(lua_State* L) { return kit::script::self<CLuaAppeHelp>(L) != nullptr; }

// The value on top of the stack as text; anything but a string or a number is an argument
// error naming what was expected. Pops the value.
std::string pop_text(lua_State* L, int arg, const char* what) {
  int type = lua_type(L, -1);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) {
    lua_pop(L, 1);
    luaL_argerror(L, arg, what);
  }
  size_t len = 0;
  const char* s = lua_tolstring(L, -1, &len);
  std::string text(s, len);
  lua_pop(L, 1);
  return text;
}

// Argument arg as an array of strings, read from index 1 to its length.
csv_cells check_cells(lua_State* L, int arg, int table, const char* what) {
  csv_cells cells;
  size_t n = lua_objlen(L, table);
  cells.reserve(n);
  for (size_t i = 1; i <= n; ++i) {
    lua_rawgeti(L, table, static_cast<int>(i));
    cells.push_back(pop_text(L, arg, what));
  }
  return cells;
}

csv_cells check_header(lua_State* L) {
  luaL_checktype(L, 3, LUA_TTABLE);
  return check_cells(L, 3, 3, "header cells must be strings");
}

// Argument arg as an array (index 1 to its length) of tables, each read by read_item with
// the table's stack index; anything else raises the argument error with what.
template <class T, class Read>
std::vector<T> check_tables(lua_State* L, int arg, const char* what, Read read_item) {
  luaL_checktype(L, arg, LUA_TTABLE);
  std::vector<T> items;
  size_t n = lua_objlen(L, arg);
  items.reserve(n);
  for (size_t i = 1; i <= n; ++i) {
    lua_rawgeti(L, arg, static_cast<int>(i));
    if (!lua_istable(L, -1)) luaL_argerror(L, arg, what);
    items.push_back(read_item(lua_gettop(L)));
    lua_pop(L, 1);
  }
  return items;
}

std::vector<csv_cells> check_rows(lua_State* L) {
  return check_tables<csv_cells>(L, 4, "rows must be arrays of strings",
                                 [L](int row) { return check_cells(L, 4, row, "row cells must be strings"); });
}

std::string field(lua_State* L, int table, const char* name, const char* what) {
  lua_getfield(L, table, name);
  return pop_text(L, 3, what);
}


using csv_writer_fn = bool (*)(const std::string&, const csv_cells&, const std::vector<csv_cells>&);

int write_csv(lua_State* L, csv_writer_fn write) {
  if (!is_object(L)) return 0;
  std::string path = kit::script::to_string(L, 2);
  csv_cells header = check_header(L);
  std::vector<csv_cells> rows = check_rows(L);
  lua_pushboolean(L, !path.empty() && write(path, header, rows));
  return 1;
}

} // namespace

int BackupSmsToCVS(lua_State* L) { return write_csv(L, backup::write_sms_csv); }
int BackupContactToCVS(lua_State* L) { return write_csv(L, backup::write_contact_csv); }

int BackupContact(lua_State* L) {
  if (!is_object(L)) return 0;
  std::string title = kit::script::to_string(L, 2);
  std::vector<contact_record> contacts = check_tables<contact_record>(L, 3, "contacts must be tables", [L](int entry) {
    contact_record c;
    c.name = field(L, entry, "name", "contacts need a string field \"name\"");
    c.number = field(L, entry, "number", "contacts need a string field \"number\"");
    return c;
  });
  backup::backup_contacts(title, contacts);
  return 0;
}

int GetContactBackupList(lua_State* L) {
  if (!is_object(L)) return 0;
  auto list = backup::list_backups();
  if (!list) return 0;
  lua_createtable(L, static_cast<int>(list->size()), 0);
  int index = 0;
  for (const auto& entry : *list) {
    ++index;
    if (!entry) continue;  // an entry without title or date leaves its index empty
    lua_createtable(L, 0, 2);
    kit::script::push_string(L, entry->title);
    lua_setfield(L, -2, "title");
    kit::script::push_string(L, entry->date);
    lua_setfield(L, -2, "rdate");
    lua_rawseti(L, -2, index);
  }
  return 1;
}

// The argument is two blank-separated words (the scripts pass "title date"); the second
// names the backup.
int RestoreContact(lua_State* L) {
  if (!is_object(L)) return 0;
  std::string text = kit::script::to_string(L, 2);
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (words.size() != 2) return 0;
  auto contacts = backup::restore_backup(words[1]);
  if (!contacts) return 0;
  push_contact_list(L, *contacts);
  return 1;
}

// RestoreContactFromCVS(path) -> contacts, or nothing. With a function as well, the file
// is read off the UI thread and the function gets the contacts (or nothing) once read; the
// call then returns whether the work was queued.
int RestoreContactFromCVS(lua_State* L) {
  if (!is_object(L)) return 0;
  std::string path = kit::script::to_string(L, 2);
  if (lua_isfunction(L, 3)) {
    lua_pushboolean(L, !path.empty() && queue_contact_import(path, kit::engine::function_ref::at(L, 3)));
    return 1;
  }
  if (path.empty()) return 0;
  auto contacts = backup::read_contacts_csv(path);
  if (!contacts) return 0;
  push_contact_list(L, *contacts);
  return 1;
}

void push_contact_list(lua_State* L, const std::vector<contact_record>& contacts) {
  lua_createtable(L, static_cast<int>(contacts.size()), 0);
  int index = 0;
  for (const auto& c : contacts) {
    lua_createtable(L, 0, 2);
    kit::script::push_string(L, c.name);
    lua_setfield(L, -2, "name");
    kit::script::push_string(L, c.number);
    lua_setfield(L, -2, "number");
    lua_rawseti(L, -2, ++index);
  }
}

} // namespace kit::app
