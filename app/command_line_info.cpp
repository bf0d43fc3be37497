#include "app/command_line_info.h"

#include <string_view>

#include "common/ini_file.h"

namespace kit::app {

namespace {
constexpr const char* kBuiltInVersion = "1.0.0.1";

constexpr const char* kUsage =
    "Usage: mobrevist [--web [--no-browser]] | --help | --version\n"
    "\n"
    "Manages Android phones connected over USB: messages, contacts, apps, media, files,\n"
    "backups, downloads. Started on a terminal it opens a console; type 'help' there for\n"
    "the commands, 'quit' to leave. A second start hands its command line to the running\n"
    "one and exits.\n"
    "\n"
    "  --web        also open the window: a page served on 127.0.0.1 (the console stays);\n"
    "               prints its link, 'web UI: http://127.0.0.1:PORT/?key=...', and opens\n"
    "               it in the desktop's browser (config.ini [Web] enabled=1 does this at\n"
    "               every start, [Web] port fixes the port)\n"
    "  --no-browser with --web: print the link only\n"
    "  --help      print this text and exit\n"
    "  --version   print the version (config.ini [Basic] appver beside the program, when\n"
    "              set) and exit\n"
    "\n"
    "Files: profile beside the program (else $XDG_DATA_HOME/Mobrevist/Profiles), console\n"
    "history in $XDG_STATE_HOME/Mobrevist/history, temporary files in\n"
    "$TMPDIR/Mobrevist-<uid>.\n";
} // namespace

std::string program_version(const std::string& exe_dir) {
  std::optional<std::string> v = ini::read_value(exe_dir + "config.ini", "Basic", "appver");
  if (!v || v->empty()) return kBuiltInVersion;
  // One line of printable text: anything else in the file is not a version.
  for (char c : *v) {
    if (static_cast<unsigned char>(c) < 0x20) return kBuiltInVersion;
  }
  if (v->size() > 64) v->resize(64);
  return *v;
}

std::optional<info_answer> info_request(int argc, char** argv, const std::string& exe_dir) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i] ? argv[i] : "";
    if (arg == "--help" || arg == "-h" || arg == "-?") return info_answer{kUsage, 0};
    if (arg == "--version") return info_answer{"mobrevist " + program_version(exe_dir) + "\n", 0};
  }
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i] ? argv[i] : "";
    bool long_option = arg.size() > 2 && arg.substr(0, 2) == "--";
    bool letter_option = arg.size() == 2 && arg[0] == '-';
    if (arg == "--web" || arg == "--no-browser") continue;
    if (long_option || letter_option || arg == "--") {
      return info_answer{"mobrevist: unknown option " + std::string(arg) + "\n" + kUsage, 2};
    }
  }
  return std::nullopt;
}

} // namespace kit::app
