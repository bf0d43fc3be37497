#include "device/android_con_object.h"

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "device/android_cmd_results.h"
#include "common/agent_protocol.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/process.h"

using kit::design_pattern::singleton_ex;

namespace {
using Kind = CLuaAndroidConnectManager::ResultKind;

constexpr int32_t kNoTimeLimit = -1;

CAndroidConnectManager* runner() { return singleton_ex<CAndroidConnectManager>::peek(); }

CLuaAndroidConnectManager* self(lua_State* L) {
  return kit::script::self<CLuaAndroidConnectManager>(L, CLuaAndroidConnectManager::kClassName);
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
  return push_task_id(L, o->Queue(line, priority, timeout, Kind::RawOutput, L, 5));
}

// Methods with only a function argument and a fixed command.
int simple_command(lua_State* L, const char* command, Kind kind) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  return push_task_id(L, o->Queue(kClient + " " + command, 0, kNoTimeLimit, kind, L, 2));
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
  return push_task_id(L, o->Queue(line, priority, timeout, kind, L, 4));
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
  return push_task_id(L, o->Queue(line, 0, 5000, Kind::BroadcastCheck, L, 3));
}

int forward(lua_State* L, kit::agent::port_pair ports) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  std::string line = serial_prefix(arg_bytes(L, 2)) + " forward tcp:" + std::to_string(ports.local) + " tcp:" +
                     std::to_string(ports.remote);
  return push_task_id(L, o->Queue(line, 0, kNoTimeLimit, Kind::ErrorCheck, L, 3));
}

int ForwardTcpPort(lua_State* L) { return forward(L, kit::agent::kRequestPort); }
int ForwardTcpPort2(lua_State* L) { return forward(L, kit::agent::kPullPort); }
int ForwardTcpPort3(lua_State* L) { return forward(L, kit::agent::kPushPort); }
int ForwardTcpPort4(lua_State* L) { return forward(L, kit::agent::kNotifyPort); }

int CancleTask(lua_State* L) {
  CLuaAndroidConnectManager* o = self(L);
  if (!o) return 0;
  // Task ids are positive 32-bit integers: a larger id names no task either.
  std::optional<uint32_t> id = kit::script::check_id(L, 2);
  if (id && *id <= INT32_MAX) o->Cancel(static_cast<int32_t>(*id));
  return 0;
}

void push_result(lua_State* L, Kind kind, const std::u16string& output, int& count) {
  switch (kind) {
  case Kind::RawOutput:
    kit::script::push_utf16(L, output);
    ++count;
    break;
  case Kind::DeviceList: {
    lua_newtable(L);
    int index = 0;
    for (const auto& d : android_result::parse_device_list(output)) {
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
    kit::script::push_int32(L, android_result::install_result(output));
    ++count;
    break;
  case Kind::ErrorCheck:
    kit::script::push_int32(L, android_result::error_check(output));
    ++count;
    break;
  case Kind::BroadcastCheck:
    kit::script::push_int32(L, android_result::broadcast_check(output));
    ++count;
    break;
  }
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

void CLuaAndroidConnectManager::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}

int32_t CLuaAndroidConnectManager::Queue(const std::string& command_line, int32_t priority, int32_t timeout_ms,
                                         ResultKind kind, lua_State* L, int fn_index) {
  CAndroidConnectManager* r = runner();
  if (!r) return 0;
  // The completion arrives on this (the UI) thread later, so the entry is in place first.
  int32_t id = r->AddTask(command_line, priority, timeout_ms, this);
  pending_[id] = PendingCommand{kind, kit::script::function_ref::at(L, fn_index)};
  return id;
}

void CLuaAndroidConnectManager::Cancel(int32_t task_id) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;
  if (CAndroidConnectManager* r = runner()) r->Cancel(task_id);
  pending_.erase(it);  // releases its function
}

void CLuaAndroidConnectManager::CancelAll() {
  if (CAndroidConnectManager* r = runner()) r->CancelAll();
  ReleaseAll();
}

void CLuaAndroidConnectManager::UnInit() {
  if (CAndroidConnectManager* r = runner()) r->UnInit();
  ReleaseAll();
}

CLuaAndroidConnectManager::~CLuaAndroidConnectManager() {
  // The runner outlives this object: none of its tasks may still name it as the callback.
  if (CAndroidConnectManager* r = runner()) {
    for (const auto& [id, p] : pending_) r->Cancel(id);
  }
  ReleaseAll();
}

void CLuaAndroidConnectManager::ReleaseAll() {
  std::map<int32_t, PendingCommand> dropped;
  dropped.swap(pending_);  // their functions are released with it
}

void CLuaAndroidConnectManager::OnCommandDone(int32_t task_id, const std::u16string& output) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;  // cancelled
  // Out of the table before the call: the function may cancel or queue requests.
  PendingCommand done = std::move(it->second);
  pending_.erase(it);
  if (done.function) {
    kit::script::call_event(done.function, [&](lua_State* L) {
      int count = 1;
      kit::script::push_int32(L, task_id);
      push_result(L, done.kind, output, count);
      return count;
    });
  }
}
