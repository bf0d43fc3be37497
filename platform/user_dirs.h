// The current user's folders, by the desktop's base-directory rules: a variable holding a
// relative path is ignored. Each path ends with "/"; empty when neither the variable nor
// the home folder is known.
#pragma once
#include <string>

namespace kit::platform {

std::string home_dir();         // $HOME
std::string user_data_dir();    // $XDG_DATA_HOME, else ~/.local/share/
std::string user_state_dir();   // $XDG_STATE_HOME, else ~/.local/state/
std::string user_config_dir();  // $XDG_CONFIG_HOME, else ~/.config/

} // namespace kit::platform
