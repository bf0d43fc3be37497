// The six backup methods of AppHelp.Object: they read the script's arguments, call the
// functions the program handed in (backup/backup_records.h) and build the result tables.
#pragma once
#include <vector>

#include "app/app_help_object.h"
#include "backup/backup_records.h"
#include "host/script_bridge.h"

template <>
struct kit::script::script_class<CLuaAppeHelp> {
  static constexpr const char* name = "AppHelp.Class";
};


namespace kit::app {
int BackupSmsToCVS(lua_State* L);
int BackupContactToCVS(lua_State* L);
int BackupContact(lua_State* L);
int GetContactBackupList(lua_State* L);
int RestoreContact(lua_State* L);
int RestoreContactFromCVS(lua_State* L);

// Pushes contacts as the script sees them: an array of {name, number}.
void push_contact_list(lua_State* L, const std::vector<backup::contact_record>& contacts);
} // namespace kit::app
