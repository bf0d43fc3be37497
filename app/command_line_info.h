// --help and --version: answered from the command line alone, before the host starts (no
// instance lock, no folders made, no window).
#pragma once
#include <optional>
#include <string>

namespace kit::app {

// The version a user sees: [Basic] appver of config.ini in exe_dir when set, else the
// built-in version (the one the update check compares against).
std::string program_version(const std::string& exe_dir);

// The text to print and exit with for these arguments ("--help"/"-h" gives the usage,
// "--version" the version line); nothing when the host should start normally.
std::optional<std::string> info_request(int argc, char** argv, const std::string& exe_dir);

} // namespace kit::app
