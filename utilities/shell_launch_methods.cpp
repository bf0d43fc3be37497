// Win32Shell.Object: opening documents and folders with the desktop's opener (xdg-open)
// and starting programs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "host/script_bridge.h"
#include "platform/launch.h"
#include "platform/process.h"
#include "utilities/desktop_session.h"
#include "utilities/path_text.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {
namespace {

// How long a call waits for the opener's answer before it counts the request as accepted.
constexpr int kOpenerWaitMs = 3000;
// xdg-open's exit code for a file that does not exist.
constexpr int kOpenerNoSuchFile = 2;

// The result of handing a document or folder to the opener: accepted (also when the opener
// says it does not exist, as the shell would), refused, or nothing to ask.
std::optional<bool> open_document(const std::string& target) {
  if (target.empty() || !has_display()) return std::nullopt;
  auto r = kit::platform::launch_detached({"xdg-open", target}, {}, kOpenerWaitMs);
  if (!r.started) return std::nullopt;
  return !r.exited || r.exit_code == 0 || r.exit_code == kOpenerNoSuchFile;
}

// The program a ShellExecute file names: an executable file (not a folder), looked up as
// programs are; empty for a document.
std::string program_of(const std::string& file) {
  std::string path = kit::platform::find_program(file);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0)
    return {};
  return path;
}

} // namespace

int ShellOpen(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::optional<bool> accepted = open_document(native_path(check_text(L, 2)));
  if (!accepted || !*accepted) return 0;
  lua_pushboolean(L, 1);
  return 1;
}

int OpenDir(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string dir = native_path(check_text(L, 2));
  if (!dir.empty() && has_display()) kit::platform::launch_detached({"xdg-open", dir}, {}, 0);
  return 0;
}

// 0 when the launch succeeded, 1 when it failed. A program is started with the parameters
// split by the Windows command-line rules, in the folder given; anything else goes to the
// opener. The owner window and the show command have no meaning here: programs show
// their windows the way the desktop decides.
int ShellExecute(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string file = check_text(L, 4);
  std::string params = kit::script::to_string(L, 5), dir = native_path(kit::script::to_string(L, 6));
  bool ok = false;
  if (std::string program = program_of(file); !program.empty()) {
    std::vector<std::string> argv{program};
    for (std::string& a : kit::platform::split_command_line("x " + params)) argv.push_back(std::move(a));
    argv.erase(argv.begin() + 1);  // the placeholder program word
    ok = kit::platform::launch_detached(argv, dir, 0).started;
  } else {
    ok = open_document(native_path(file)).value_or(false);
  }
  kit::script::push_int32(L, ok ? 0 : 1);
  return 1;
}

// Rebuilds the cache of the user's application entries, so new file associations count.
int RefreshIcon(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') base = data;
  else if (const char* home = std::getenv("HOME"); home && *home == '/') base = std::string(home) + "/.local/share";
  struct stat st;
  std::string apps = base + "/applications";
  if (!base.empty() && ::stat(apps.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    kit::platform::launch_detached({"update-desktop-database", apps}, {}, 0);
  return 0;
}

// No dialog is shown.
int MessageBox(lua_State* L) {
  (void)is_shell(L);
  return 0;
}

} // namespace kit::utilities::shell
