#include "app/app_help_object.h"

#include "common/text_convert.h"
#include "host/app_paths.h"
#include "app/app_help_backup.h"
#include "app/app_help_text.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "app/script_bindings.h"
#include "host/share_memory.h"
#include "app/update_package.h"
#include "platform/file.h"
#include "platform/process_info.h"

using kit::script::push_string;

namespace {
CLuaAppeHelp* self(lua_State* L) { return kit::script::self<CLuaAppeHelp>(L); }

void push_switches(lua_State* L, const kit::host::switch_map& switches) {
  lua_newtable(L);
  for (const auto& [name, value] : switches) {
    kit::script::push_utf16(L, name);
    kit::script::push_utf16(L, value);
    lua_settable(L, -3);
  }
}

// No windows exist here: the arguments are accepted and nothing happens.
int SetAppIcon(lua_State* L) {
  (void)self(L);
  return 0;
}

int AttachExistEvent(lua_State* L) {
  auto* o = self(L);
  return o ? kit::script::attach_event(L, o->exit_listeners) : 0;
}
int DetachExistEvent(lua_State* L) {
  auto* o = self(L);
  return o ? kit::script::detach_event(L, o->exit_listeners) : 0;
}
int AttachPreExistEvent(lua_State* L) {
  auto* o = self(L);
  return o ? kit::script::attach_event(L, o->pre_exit_listeners) : 0;
}
int DetachPreExistEvent(lua_State* L) {
  auto* o = self(L);
  return o ? kit::script::detach_event(L, o->pre_exit_listeners) : 0;
}
int AttachCommandEvent(lua_State* L) {
  auto* o = self(L);
  return o ? kit::script::attach_event(L, o->command_listeners) : 0;
}

int GetStartCommand(lua_State* L) {
  auto* o = self(L);
  if (!o) return 0;
  if (o->start_type == 0) {
    o->start_switches = kit::host::parse_switches(kit::text::utf8_to_utf16(kit::platform::full_command_line()));
    auto type = o->start_switches.find(u"type");
    o->start_type = type == o->start_switches.end() ? 1 : kit::host::start_type_of(type->second);
  }
  push_switches(L, o->start_switches);
  lua_pushstring(L, "type");
  lua_pushnumber(L, o->start_type);
  lua_settable(L, -3);
  return 1;
}

// Asks every pre-exit listener; when none refused, tells every exit listener.
int ExistApp(lua_State* L) {
  auto* o = self(L);
  if (!o) return 0;
  std::string reason = kit::script::to_string(L, 2);
  bool refused = false;
  for (uint32_t cookie : o->pre_exit_listeners.Cookies()) {
    CLuaEvent* ev = o->pre_exit_listeners.Find(cookie);
    if (!ev) continue;
    kit::script::call_event(
        *ev, [&](lua_State* S) { push_string(S, reason); return 1; }, 2,
        [&](lua_State* S) {
          if (!lua_toboolean(S, -2)) refused = true;
        });
  }
  if (!refused) kit::script::fire_events(o->exit_listeners);
  return 0;
}

int URLDecode(lua_State* L) {
  if (!self(L)) return 0;
  push_string(L, kit::app::url_decode(kit::script::to_string(L, 2)));
  return 1;
}

int GetExeDir(lua_State* L) {
  if (!self(L)) return 0;
  push_string(L, GetAppPaths()->GetExeDir());
  return 1;
}
int GetProfileDir(lua_State* L) {
  if (!self(L)) return 0;
  push_string(L, GetAppPaths()->GetProfileDir());
  return 1;
}
int GetTempDir(lua_State* L) {
  if (!self(L)) return 0;
  push_string(L, GetAppPaths()->GetTempDir());
  return 1;
}

// Creates the file, or empties an existing one. Failure is silent.
int CreateEmptyFile(lua_State* L) {
  std::string path = kit::script::to_string(L, 2);
  if (path.empty()) return 0;
  kit::platform::file f;
  f.open(path, kit::platform::open_read | kit::platform::open_write | kit::platform::open_create | kit::platform::open_truncate, 0666);
  return 0;
}

int GetBytesNum(lua_State* L) {
  kit::script::push_int32(L, static_cast<int64_t>(kit::app::cp936_byte_count(kit::script::to_string(L, 2))));
  return 1;
}

int ConvertChinese(lua_State* L) {
  push_string(L, kit::app::convert_chinese_initials(kit::script::to_string(L, 2)));
  return 1;
}

int HasCharact(lua_State* L) {
  luaL_checkstring(L, 2);
  return 0;
}

int PrintLog(lua_State*) { return 0; }

// Applies an update package to the program folder; the script decides when to restart.
int UpdateAPP(lua_State* L) {
  if (!self(L)) return 0;
  std::string package = luaL_checkstring(L, 2);
  luaL_checkstring(L, 3);
  CAppPaths* paths = GetAppPaths();
  kit::app::update_result result =
      kit::app::apply_update_package(package, {paths->GetExeDir(), paths->GetProfileDir(), paths->GetTempDir()});
  // true, or false and the reason nothing was changed.
  lua_pushboolean(L, result.applied);
  if (result.applied) return 1;
  kit::script::push_string(L, result.reason);
  return 2;
}

const UIS_Method kMethods[] = {
    {"SetAppIcon", SetAppIcon, 0},
    {"AttachExistEvent", AttachExistEvent, 0},
    {"DetachExistEvent", DetachExistEvent, 0},
    {"AttachPreExistEvent", AttachPreExistEvent, 0},
    {"DetachPreExistEvent", DetachPreExistEvent, 0},
    {"AttachCommandEvent", AttachCommandEvent, 0},
    {"GetStartCommand", GetStartCommand, 0},
    {"ExistApp", ExistApp, 0},
    {"URLDecode", URLDecode, 0},
    {"GetExeDir", GetExeDir, 0},
    {"GetProfileDir", GetProfileDir, 0},
    {"GetTempDir", GetTempDir, 0},
    {"CreateEmptyFile", CreateEmptyFile, 0},
    {"GetBytesNum", GetBytesNum, 0},
    {"ConvertChinese", ConvertChinese, 0},
    {"HasCharact", HasCharact, 0},
    {"PrintLog", PrintLog, 0},
    {"UpdateAPP", UpdateAPP, 0},
    {"BackupSmsToCVS", kit::app::BackupSmsToCVS, 0},
    {"BackupContactToCVS", kit::app::BackupContactToCVS, 0},
    {"BackupContact", kit::app::BackupContact, 0},
    {"GetContactBackupList", kit::app::GetContactBackupList, 0},
    {"RestoreContact", kit::app::RestoreContact, 0},
    {"RestoreContactFromCVS", kit::app::RestoreContactFromCVS, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) {
  CLuaAppeHelp* o = kit::host::owned<CLuaAppeHelp>();
  // Each command line a later start handed over reaches every command listener once.
  o->command_handler = [o](const kit::host::switch_map& switches) {
    for (uint32_t cookie : o->command_listeners.Cookies()) {
      CLuaEvent* ev = o->command_listeners.Find(cookie);
      if (ev) kit::script::call_event(*ev, [&](lua_State* L) {
          push_switches(L, switches);
          return 1;
        });
    }
  };
  return o;
}
} // namespace

void kit::app::register_app_help(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "AppHelp.Object", kit::script::script_class<CLuaAppeHelp>::name, kMethods, nullptr});
}
