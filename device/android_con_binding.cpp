#include "device/android_con_object.h"

#include <memory>

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "device/android_cmd_results.h"
#include "common/agent_protocol.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/process.h"
#include "device/script_bindings.h"

template <>
struct kit::script::script_class<CLuaAndroidConnectManager> {
  static constexpr const char* name = "AndroidCon.Manager.Class";
};

using kit::design_pattern::singleton_ex;

namespace {
// What a command's output becomes for the script.
enum class Kind { RawOutput, DeviceList, CompletionOnly, InstallResult, ErrorCheck, BroadcastCheck };

void push_result(lua_State* L, Kind kind, const std::u16string& output, int& count) {
  switch (kind) {
  case Kind::RawOutput:
    kit::script::push_utf16(L, output);
    ++count;
    break;
  case Kind::DeviceList: {
    lua_newtable(L);
    int index = 0;
    for (const auto& d : kit::device::android_result::parse_device_list(output)) {
      lua_newtable(L);
      kit::script::push_utf16(L, d.serial);
      lua_setfield(L, -2, "DriverId");
      kit::script::push_utf16(L, d.state);
      lua_setfield(L, -2, "State");
      lua_rawseti(L, -2, ++index);
    }
    ++count;
    break;
  }
  case Kind::CompletionOnly:
    break;
  case Kind::InstallResult:
    kit::script::push_int32(L, kit::device::android_result::install_result(output));
    ++count;
    break;
  case Kind::ErrorCheck:
    kit::script::push_int32(L, kit::device::android_result::error_check(output));
    ++count;
    break;
  case Kind::BroadcastCheck:
    kit::script::push_int32(L, kit::device::android_result::broadcast_check(output));
    ++count;
    break;
  }
}

// Queues a command whose result goes, as kind says, to the function at fn_index (when it
// is one).
int32_t queue(CLuaAndroidConnectManager* o, const std::string& line, int32_t priority, int32_t timeout, Kind kind,
              lua_State* L, int fn_index) {
  auto function = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, fn_index));
  CLuaAndroidConnectManager::completion done;
  if (*function) {
    done = [function, kind](int32_t task_id, const std::u16string& output) {
      kit::script::call_event(*function, [&](lua_State* S) {
        int count = 1;
        kit::script::push_int32(S, task_id);
        push_result(S, kind, output, count);
        return count;
      });
    };
  }
  return o->Queue(line, priority, timeout, std::move(done));
}

constexpr int32_t kNoTimeLimit = -1;

CAndroidConnectManager* runner() { return singleton_ex<CAndroidConnectManager>::peek(); }

CLuaAndroidConnectManager* self(lua_State* L) {
  return kit::script::self<CLuaAndroidConnectManager>(L);
}

// A string argument as the bytes the script gave (paths stay bytes on this system).
std::string arg_bytes(lua_State* L, int idx) {
  size_t length = 0;
  const char* text = luaL_checklstring(L, idx, &length);
  return std::string(text, length);
}

int32_t to_int32(lua_Integer v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

int push_task_id(lua_State* L, int32_t id) {
  kit::script::push_int32(L, id);
  return 1;
}

const std::string kClient = "adb_help.exe";

std::string serial_prefix(const std::string& serial) { return kClient + " -s " + serial; }

int Init(lua_State* L) {
  if (!self(L)) return 0;
  if (CAndroidConnectManager* r = runner()) r->Init();
  return 0;
}

int AddAndroidCmd(lua_State* L) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  std::string line = arg_bytes(L, 2);
  int32_t priority = to_int32(luaL_checkinteger(L, 3));
  int32_t timeout = to_int32(luaL_checkinteger(L, 4));
  return push_task_id(L, queue(o, line, priority, timeout, Kind::RawOutput, L, 5));
}

// Methods with only a function argument and a fixed command.
int simple_command(lua_State* L, const char* command, Kind kind) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  return push_task_id(L, queue(o, kClient + " " + command, 0, kNoTimeLimit, kind, L, 2));
}

int GetDevices(lua_State* L) { return simple_command(L, "devices", Kind::DeviceList); }
int StartServices(lua_State* L) { return simple_command(L, "start-server", Kind::CompletionOnly); }
int KillServices(lua_State* L) { return simple_command(L, "kill-server", Kind::CompletionOnly); }

// serial, quoted argument, function. The value goes between double quotes, escaped by the
// rules the command line is split with, so the bridge receives it byte for byte.
int quoted_command(lua_State* L, const char* verb, int32_t priority, int32_t timeout, Kind kind) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  std::string serial = arg_bytes(L, 2);
  std::string value = arg_bytes(L, 3);
  std::string line = serial_prefix(serial) + verb + kit::platform::quote_command_argument(value);
  return push_task_id(L, queue(o, line, priority, timeout, kind, L, 4));
}

int InstallAPK(lua_State* L) { return quoted_command(L, " install -r ", 2, kNoTimeLimit, Kind::InstallResult); }
int UnInstallAPK(lua_State* L) { return quoted_command(L, " uninstall ", 2, kNoTimeLimit, Kind::InstallResult); }
int StartAPK(lua_State* L) {
  return quoted_command(L, " shell am start -a android.intent.action.MAIN -n ", 2, 10000, Kind::ErrorCheck);
}

int StartBroadCast(lua_State* L) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  std::string line = serial_prefix(arg_bytes(L, 2)) + " shell am broadcast -a openUSBConnect";
  return push_task_id(L, queue(o, line, 0, 5000, Kind::BroadcastCheck, L, 3));
}

int forward(lua_State* L, kit::agent::port_pair ports) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  std::string line = serial_prefix(arg_bytes(L, 2)) + " forward tcp:" + std::to_string(ports.local) + " tcp:" +
                     std::to_string(ports.remote);
  return push_task_id(L, queue(o, line, 0, kNoTimeLimit, Kind::ErrorCheck, L, 3));
}

int ForwardTcpPort(lua_State* L) { return forward(L, kit::agent::kRequestPort); }
int ForwardTcpPort2(lua_State* L) { return forward(L, kit::agent::kPullPort); }
int ForwardTcpPort3(lua_State* L) { return forward(L, kit::agent::kPushPort); }
int ForwardTcpPort4(lua_State* L) { return forward(L, kit::agent::kNotifyPort); }

int CancleTask(lua_State* L) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  // Task ids are positive 32-bit integers: a larger id names no task either.
  std::optional<uint32_t> id = kit::engine::check_id(L, 2);
  if (id && *id <= INT32_MAX) o->Cancel(static_cast<int32_t>(*id));
  return 0;
}


const UIS_Method kMethods[] = {
    {"Init", Init, 0},
    {"UnInit", kit::script::call_method<CLuaAndroidConnectManager, &CLuaAndroidConnectManager::UnInit>, 0},
    {"AddAndroidCmd", AddAndroidCmd, 0},
    {"GetDevices", GetDevices, 0},
    {"StartServices", StartServices, 0},
    {"KillServices", KillServices, 0},
    {"InstallAPK", InstallAPK, 0},
    {"UnInstallAPK", UnInstallAPK, 0},
    {"StartAPK", StartAPK, 0},
    {"StartBroadCast", StartBroadCast, 0},
    {"ForwardTcpPort", ForwardTcpPort, 0},
    {"ForwardTcpPort2", ForwardTcpPort2, 0},
    {"ForwardTcpPort3", ForwardTcpPort3, 0},
    {"ForwardTcpPort4", ForwardTcpPort4, 0},
    {"CancleTask", CancleTask, 0},
    {"CancleAllTask", kit::script::call_method<CLuaAndroidConnectManager, &CLuaAndroidConnectManager::CancelAll>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaAndroidConnectManager>(); }
} // namespace

void kit::device::register_android_con(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "AndroidCon.Manager", kit::script::script_class<CLuaAndroidConnectManager>::name, kMethods, nullptr});
}
