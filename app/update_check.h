// The start-up update check: the installed version ("appver" of section "Basic" in the
// program folder's config.ini) is compared as text with the newest version the update
// server names; on a difference the user is asked, and Yes starts the updater from the
// program folder without waiting for it. The server's address is key "url" of section
// "Update" of the same file; without it nothing is asked of the network.
#pragma once
#include <optional>
#include <string>

namespace kit::app {

enum class update_answer { yes, no, cancel };

// Asks on the terminal when standard input and output both are one (y, n or c); without
// a terminal the answer is No and one line on standard error names the version.
update_answer ask_about_update(const std::string& version);

// Runs the check for the program folder (ending with "/"). 1 when the server answered,
// 0 otherwise.
int run_update_check(const std::string& exe_dir);

} // namespace kit::app
