// The script face of CLuaGetFile: "GetFile.Manager" and its method table.
#include <memory>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "phonelink/get_file_manager.h"
#include "phonelink/script_bindings.h"

template <>
struct kit::script::script_class<CLuaGetFile> {
  static constexpr const char* name = "GetFile.Manager.Class";
};

namespace {
using kit::script::call_method;

CLuaGetFile* self(lua_State* L) { return kit::script::self<CLuaGetFile>(L); }

// Wraps the script function at idx; the reference is released with the last copy. A
// progress count is an integer, the totals are numbers; progress calls add the length the
// reply announced as a fifth argument.
CLuaGetFile::callback make_callback(lua_State* L, int idx, CLuaGetFile* object) {
  auto function = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, idx));
  if (!*function) return {};
  return [function, object](uint32_t id, uint32_t status, const std::string& local, uint64_t count) {
    kit::script::call_event(*function, [&](lua_State* S) {
      kit::script::push_int32(S, id);
      kit::script::push_int32(S, status);
      kit::script::push_string(S, local);
      if (status == kit::host::kTaskRunning) {
        kit::script::push_int32(S, static_cast<int64_t>(count));
        lua_pushnumber(S, static_cast<lua_Number>(object->reply_length()));
        return 5;
      }
      if (status == kit::host::kTaskConnectionFailed) {
        kit::script::push_int32(S, static_cast<int64_t>(count));
      } else {
        lua_pushnumber(S, static_cast<lua_Number>(count));
      }
      return 4;
    });
  };
}

// (self, remote path, local path, callback) -> task id
int get(lua_State* L, uint16_t type) {
  CLuaGetFile* object = self(L);
  if (!object) return 0;
  std::string remote = kit::script::check_text(L, 2);
  std::string local = kit::script::check_text(L, 3);
  uint32_t id = object->AddTask(type, remote, local, make_callback(L, 4, object));
  kit::script::push_int32(L, id);
  return 1;
}

int GetFileTask(lua_State* L) { return get(L, kit::agent::transfer::kPullFile); }
int GetIconTask(lua_State* L) { return get(L, kit::agent::transfer::kPullIcon); }
int GetCompressPic(lua_State* L) { return get(L, kit::agent::transfer::kPullCompressedPicture); }
int GetVideoShot(lua_State* L) { return get(L, kit::agent::transfer::kPullVideoThumbnail); }

// Kept for the scripts that call it; pushing goes through SendFile.Manager.
int SendFileTask(lua_State*) { return 0; }

const UIS_Method kMethods[] = {
    {"Init", call_method<CLuaGetFile, &CLuaGetFile::Init>, 0},
    {"UnInit", call_method<CLuaGetFile, &CLuaGetFile::UnInit>, 0},
    {"GetFileTask", GetFileTask, 0},
    {"GetIconTask", GetIconTask, 0},
    {"GetCompressPic", GetCompressPic, 0},
    {"GetVideoShot", GetVideoShot, 0},
    {"CancleTask", kit::script::call_with_task_id<CLuaGetFile, &CLuaGetFile::CancleTask>, 0},
    {"CancleAllTask", call_method<CLuaGetFile, &CLuaGetFile::CancleAllTask>, 0},
    {"ContinueNextTask", call_method<CLuaGetFile, &CLuaGetFile::ContinueNextTask>, 0},
    {"SendFileTask", SendFileTask, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaGetFile>(); }
} // namespace

void kit::phonelink::register_get_file(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "GetFile.Manager", kit::script::script_class<CLuaGetFile>::name, kMethods, nullptr});
}
