// The stand-in phone behind `push` and `shell`: files pushed land in the scenario's phone
// root, and `shell` answers getprop and chmod, and runs a program pushed there (with the
// scenario's agent arguments), so the native agent's road can be walked without a phone.
#pragma once
#include <string>
#include <vector>

#include "scenario.h"

namespace adb_help {

struct shell_result {
  std::string text;
  int exit_code = 0;
};

// args: "push", LOCAL, REMOTE.
shell_result push_file(const scenario& s, const std::vector<std::string>& args);
// args: "shell", words...
shell_result run_shell(const scenario& s, const std::vector<std::string>& args);

} // namespace adb_help
