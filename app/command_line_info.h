// --help and --version: answered from the command line alone, before the host starts (no
// instance lock, no folders made, no window).
#pragma once
#include <optional>
#include <string>

namespace kit::app {

// The version a user sees: [Basic] appver of config.ini in exe_dir when set, else the
// built-in version (the one the update check compares against).
std::string program_version(const std::string& exe_dir);

// What to print and exit with for these arguments: "--help"/"-h" the usage, "--version"
// the version line (status 0, standard output); an option the program does not know (any
// other "--name", or a dash and one letter such as "-V") the usage on standard error with
// status 2. Nothing when the host should start normally ("-name:value" switches are
// handed to the package).
struct info_answer {
  std::string text;
  int exit_code = 0;
};
std::optional<info_answer> info_request(int argc, char** argv, const std::string& exe_dir);

} // namespace kit::app
