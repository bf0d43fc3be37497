// The script face of CLuaSendFile: "SendFile.Manager" and its method table.
#include <memory>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "phonelink/send_file_manager.h"
#include "phonelink/script_bindings.h"

template <>
struct kit::script::script_class<CLuaSendFile> {
  static constexpr const char* name = "SendFile.Manager.Class";
};

namespace {
using kit::script::call_method;

CLuaSendFile* self(lua_State* L) { return kit::script::self<CLuaSendFile>(L); }

// Wraps the script function at idx; the reference is released with the last copy.
CLuaSendFile::callback make_callback(lua_State* L, int idx) {
  auto function = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, idx));
  if (!*function) return {};
  return [function](uint32_t id, uint32_t status, uint32_t bytes, const std::string& source) {
    kit::script::call_event(*function, [&](lua_State* S) {
      kit::script::push_int32(S, id);
      kit::script::push_int32(S, status);
      lua_pushnumber(S, bytes);
      kit::script::push_string(S, source);
      return 4;
    });
  };
}

// (self, destination, source path, callback) -> task id
int send(lua_State* L, uint16_t type) {
  CLuaSendFile* object = self(L);
  if (!object) return 0;
  std::string destination = kit::script::check_text(L, 2);
  std::string source = kit::script::check_text(L, 3);
  uint32_t id = object->AddTask(type, destination, source, make_callback(L, 4));
  kit::script::push_int32(L, id);
  return 1;
}

int SendApp(lua_State* L) { return send(L, kit::agent::transfer::kPushApp); }
int SendMusicFile(lua_State* L) { return send(L, kit::agent::transfer::kPushMusic); }
int SendPhotoFile(lua_State* L) { return send(L, kit::agent::transfer::kPushPhoto); }
int SendVideoFile(lua_State* L) { return send(L, kit::agent::transfer::kPushVideo); }
int SendCommonFile(lua_State* L) { return send(L, kit::agent::transfer::kPushCommon); }

const UIS_Method kMethods[] = {
    {"Init", call_method<CLuaSendFile, &CLuaSendFile::Init>, 0},
    {"UnInit", call_method<CLuaSendFile, &CLuaSendFile::UnInit>, 0},
    {"SendApp", SendApp, 0},
    {"SendMusicFile", SendMusicFile, 0},
    {"SendPhotoFile", SendPhotoFile, 0},
    {"SendVideoFile", SendVideoFile, 0},
    {"SendCommonFile", SendCommonFile, 0},
    {"CancleTask", kit::script::call_with_task_id<CLuaSendFile, &CLuaSendFile::CancleTask>, 0},
    {"CancleAllTask", call_method<CLuaSendFile, &CLuaSendFile::CancleAllTask>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaSendFile>(); }
} // namespace

void kit::phonelink::register_send_file(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "SendFile.Manager", kit::script::script_class<CLuaSendFile>::name, kMethods, nullptr});
}
