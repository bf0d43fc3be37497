// Win32Shell.Object: opening documents and folders with the desktop's opener, and
// starting programs.

#include <cstdlib>

#include "host/script_bridge.h"
#include "platform/launch.h"
#include "platform/process.h"
#include "platform/desktop_session.h"
#include "platform/file.h"
#include "utilities/path_text.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {
using platform::has_display;
using platform::note_no_desktop;
using platform::request_reboot;

namespace {

// The program a ShellExecute file names: an executable file (not a folder), looked up as
// programs are; empty for a document.
std::string program_of(const std::string& file) {
  std::string path = kit::platform::find_program(file);
  return !path.empty() && kit::platform::is_executable_file(path) ? path : std::string();
}

} // namespace

int ShellOpen(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::optional<bool> accepted = kit::platform::open_document(native_path(check_text(L, 2)));
  if (!accepted || !*accepted) return 0;
  lua_pushboolean(L, 1);
  return 1;
}

int OpenDir(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string dir = native_path(check_text(L, 2));
  if (!dir.empty()) kit::platform::open_folder(dir);
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
    ok = kit::platform::open_document(native_path(file)).value_or(false);
  }
  kit::script::push_int32(L, ok ? 0 : 1);
  return 1;
}

// Rebuilds the cache of the user's application entries, so new file associations count.
int RefreshIcon(lua_State* L) {
  if (!is_shell(L)) return 0;
  kit::platform::refresh_file_associations();
  return 0;
}

// No dialog is shown.
int MessageBox(lua_State* L) {
  (void)is_shell(L);
  return 0;
}

} // namespace kit::utilities::shell
