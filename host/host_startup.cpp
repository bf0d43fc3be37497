#include "host/host_startup.h"

#include <cstdio>
#include <mutex>

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "host/app_paths.h"
#include "host/message_window.h"
#include "host/pending_moves.h"
#include "host/share_memory.h"
#include "platform/named_mutex.h"
#include "platform/process_info.h"
#include "platform/ui_loop.h"

using kit::design_pattern::singleton_ex;

namespace kit::host {

namespace {
constexpr const char* kInstanceMutexName = "Corvella Handsetry";
constexpr const char* kMessageWindowName = "OtterMessageWnd";

// Held from the very start until the process ends.
platform::named_mutex& instance_mutex() {
  static platform::named_mutex m;
  return m;
}

multiprocess::share_memory& command_block() {
  static multiprocess::share_memory block;
  return block;
}

// The host's one reference to the paths object: taken by start-up, or before it by the
// first GetAppPaths(), and given back at shutdown.
std::mutex& paths_guard() {
  static std::mutex m;
  return m;
}
bool paths_held = false;

CAppPaths* hold_app_paths() {
  std::lock_guard<std::mutex> lock(paths_guard());
  if (!paths_held) {
    singleton_ex<CAppPaths>::acquire();
    paths_held = true;
  }
  return singleton_ex<CAppPaths>::peek();
}

void give_back_app_paths() {
  std::lock_guard<std::mutex> lock(paths_guard());
  if (!paths_held) return;
  paths_held = false;
  singleton_ex<CAppPaths>::release();
}

void load_startup_script(UIS_Runtime* runtime, const std::string& chunk_name, const std::string& path) {
  lua_State* L = UIS_GetLuaState(runtime);
  UIS_Chunk* chunk = nullptr;
  std::u16string name16 = text::utf8_to_utf16(chunk_name);
  std::u16string path16 = text::utf8_to_utf16(path);
  UIS_CreateChunkFromModule(name16.c_str(), path16.c_str(), "RegisterObject", &chunk);
  if (!chunk) return;
  if (UIS_PrepareChunk(runtime, chunk) == 0) UIS_LuaCall(L, 0, 0, path.c_str());
  UIS_ReleaseChunk(chunk);
}

void start_engine(const host_config& config) {
  UIG_GraphicParam param{};
  UIG_PrepareGraphicParam(&param);
  param.flags = 0;
  UIG_InitGraphicLib(&param);
  UIG_SetFreeTypeEnabled(1);
  UIL_InitLoader(0);
  UIS_Env* env = UIS_GetEnv(nullptr);
  if (env && config.register_objects) config.register_objects(env);
  UIS_Runtime* runtime = UIS_GetRuntime(env, nullptr);
  CAppPaths* paths = GetAppPaths();
  std::string package_dir = paths->GetScriptPackageDir();
  for (const auto& s : startup_scripts()) {
    load_startup_script(runtime, s.chunk, package_dir + "/luacode/" + s.file);
  }
  std::u16string exe_dir = text::utf8_to_utf16(paths->GetExeDir());
  UIL_AddPackageSearchPath(exe_dir.c_str());
  UIL_LoadPackage("UIPKG");
}
} // namespace

const std::vector<startup_script>& startup_scripts() {
  static const std::vector<startup_script> scripts = {
      {"HostWndHelper.lua", "LuaHostWndHelp"},
      {"KeyHelper.lua", "KeyHelper"},
      {"MenuHelper.lua", "MenuHelper"},
      {"CreateFileAssociation.lua", "CreateFileAssociation"},
      {"GlobalMacro.lua", "GlobalMacro"},
  };
  return scripts;
}

bool startup(const host_config& config) {
  // Made first, so that it outlives every object made after it.
  platform::ui_loop::instance();
  instance_mutex().create(kInstanceMutexName, true);

  multiprocess::share_memory client;
  if (client.open(multiprocess::share_memory::mode::client)) {
    bool handed = multiprocess::hand_over_command_line(client, text::utf8_to_utf16(platform::full_command_line()));
    client.close();
    // One line on this start's own standard error, so that nothing seems lost: commands
    // piped to this start cannot reach the running program's console.
    if (!handed) {
      std::fputs("Mobrevist is already running: its command line was too long to hand over\n", stderr);
      platform::ui_loop::instance().set_exit_code(1);
    } else if (platform::standard_input_is_fed()) {
      std::fputs("Mobrevist is already running: handed over to it; the commands given on standard input were not"
                 " run (type them in the running program, or quit it first)\n",
                 stderr);
      platform::ui_loop::instance().set_exit_code(1);
    } else {
      std::fputs("Mobrevist is already running: handed over to it\n", stderr);
    }
    return false;
  }
  command_block().open(multiprocess::share_memory::mode::server);

  // Replacements an update could not make while their files were in use come first, before
  // anything of the program folder is opened.
  apply_pending_moves(hold_app_paths()->GetProfileDir());
  singleton_ex<CMessageWindow>::acquire()->Create(kMessageWindowName);
  for (const auto& step : config.managers) {
    if (step.acquire) step.acquire();
  }
  start_engine(config);
  if (config.update_check) config.update_check();
  return true;
}

void run_message_loop() { platform::ui_loop::instance().run(); }

void shutdown(const host_config& config) {
  for (const auto& step : config.shutdown_steps) {
    if (step) step();
  }
  for (auto it = config.managers.rbegin(); it != config.managers.rend(); ++it) {
    if (it->release) it->release();
  }
  if (CMessageWindow* window = singleton_ex<CMessageWindow>::peek()) window->Destroy();
  singleton_ex<CMessageWindow>::release();
  give_back_app_paths();
  command_block().close();
}

} // namespace kit::host

CMessageWindow* GetMessageWindow() { return singleton_ex<CMessageWindow>::peek(); }

CAppPaths* GetAppPaths() { return kit::host::hold_app_paths(); }
