#include "net/download_manager_object.h"

#include <memory>

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"

template <>
struct kit::script::script_class<CLuaDownloadManager> {
  static constexpr const char* name = "DownloadManger.Manager.Class";
};

using kit::design_pattern::singleton_ex;
using kit::script::push_int32;

namespace {
CLuaDownloadManager* self(lua_State* L) {
  return kit::script::self<CLuaDownloadManager>(L);
}

// Texts and paths as the bytes the script gave.
std::string bytes_arg(lua_State* L, int idx) { return kit::script::to_string(L, idx); }

int32_t int_arg(lua_State* L, int idx) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(kit::engine::to_int64(lua_tonumber(L, idx)))));
}

// A task id argument as the store keeps it; 0 when the number names no id.
int32_t id_arg(lua_State* L, int idx) {
  std::optional<uint32_t> id = kit::engine::to_id(lua_tonumber(L, idx));
  return id ? static_cast<int32_t>(*id) : 0;
}

// The per-task listener calling the script function at idx, or none.
// A failure adds its error number and where it came from ("http" status, "network" or
// client error, "file" system error; "address" when the URL could not be used); a
// completion adds 304 when the server said the existing file is up to date.
kit::net::task_listener listener_at(lua_State* L, int idx, const kit::net::download_queue* queue) {
  auto fn = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, idx));
  if (fn->empty()) return {};
  return [fn, queue](int32_t id, int64_t position, int64_t size, int32_t state) {
    kit::script::call_event(*fn, [&](lua_State* S) {
      push_int32(S, id);
      lua_pushnumber(S, static_cast<lua_Number>(position));
      lua_pushnumber(S, static_cast<lua_Number>(size));
      push_int32(S, state);
      const kit::net::download_queue::outcome& o = queue->last_outcome();
      if (o.id != id) return 4;
      if (state == kit::host::kTaskDone) {
        if (!o.not_modified) return 4;
        push_int32(S, 304);
        return 5;
      }
      if (state != kit::host::kTaskFailed) return 4;
      using source = kit::net::download_error::source;
      push_int32(S, o.error.code);
      const char* from = o.error.code == 0                      ? "address"
                         : o.error.from == source::http_status ? "http"
                         : o.error.from == source::file_system ? "file"
                                                                : "network";
      lua_pushstring(S, from);
      return 6;
    });
  };
}

void set_field(lua_State* L, const char* name, const std::string& value) {
  kit::script::push_string(L, value);
  lua_setfield(L, -2, name);
}

int Init(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  auto fn = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, 2));
  kit::net::init_listener listener;
  if (!fn->empty()) {
    listener = [fn](const std::vector<task_record>& tasks) {
      kit::script::call_event(*fn, [&](lua_State* S) {
        lua_createtable(S, static_cast<int>(tasks.size()), 0);
        int index = 0;
        for (const task_record& t : tasks) {
          lua_createtable(S, 0, 9);
          push_int32(S, t.task_id);
          lua_setfield(S, -2, "taskId");
          set_field(S, "showName", t.show_name);
          push_int32(S, t.task_type);
          lua_setfield(S, -2, "taskType");
          // Script numbers hold sizes and positions exactly up to 2^53.
          lua_pushnumber(S, static_cast<lua_Number>(t.file_size));
          lua_setfield(S, -2, "fileSize");
          lua_pushnumber(S, static_cast<lua_Number>(t.file_pos));
          lua_setfield(S, -2, "filePos");
          push_int32(S, t.task_state);
          lua_setfield(S, -2, "taskState");
          set_field(S, "filePath", t.file_path);
          set_field(S, "url", t.download_url);
          set_field(S, "logo", t.logoUrl);
          lua_rawseti(S, -2, ++index);
        }
        return 1;
      });
    };
  }
  o->queue.init(std::move(listener));
  return 0;
}

// DownLoadFile(url, filePath, taskType, showName, logo, callback) -> task id
int DownLoadFile(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  int32_t id = o->queue.download_file(kit::script::check_text(L, 2), kit::script::check_text(L, 3), int_arg(L, 4), bytes_arg(L, 5),
                                      bytes_arg(L, 6), listener_at(L, 7, &o->queue));
  push_int32(L, id);
  return 1;
}

// CancleTask(taskId, keepRecord)
int CancleTask(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  if (int32_t id = id_arg(L, 2)) o->queue.cancel_task(id, lua_toboolean(L, 3) != 0);
  return 0;
}

int StopTask(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  if (int32_t id = id_arg(L, 2)) o->queue.stop_task(id);
  return 0;
}

int RestartTask(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  if (int32_t id = id_arg(L, 2)) o->queue.restart_task(id);
  return 0;
}

// AddDatebaseTask(taskId, url, filePos, fileSize, filePath, integer, string, callback) -> taskId
int AddDatebaseTask(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  int32_t id = id_arg(L, 2);
  if (id == 0) return 0;
  o->queue.add_stored_task(id, kit::script::to_string(L, 3), kit::engine::to_int64(lua_tonumber(L, 4)),
                           kit::engine::to_int64(lua_tonumber(L, 5)), bytes_arg(L, 6), listener_at(L, 9, &o->queue));
  push_int32(L, id);
  return 1;
}

// UpdateDatebaseTask(taskId, filePos, fileSize, taskState)
int UpdateDatebaseTask(lua_State* L) {
  CLuaDownloadManager* o = self(L);
  if (!o) return 0;
  if (int32_t id = id_arg(L, 2))
    o->queue.update_stored_task(id, kit::engine::to_int64(lua_tonumber(L, 3)),
                                kit::engine::to_int64(lua_tonumber(L, 4)), int_arg(L, 5));
  return 0;
}

const UIS_Method kMethods[] = {
    {"Init", Init, 0},
    {"DownLoadFile", DownLoadFile, 0},
    {"CancleTask", CancleTask, 0},
    {"StopTask", StopTask, 0},
    {"RestartTask", RestartTask, 0},
    {"AddDatebaseTask", AddDatebaseTask, 0},
    {"UpdateDatebaseTask", UpdateDatebaseTask, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaDownloadManager>(); }
} // namespace

void kit::net::register_download_manager(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "DownloadManger.Manager", kit::script::script_class<CLuaDownloadManager>::name, kMethods, nullptr});
}
