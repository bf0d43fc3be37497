// The folders the path utility names: the program file, the module holding this code, and
// the application-data folders (XDG data folders + "Zezazo/").
#pragma once
#include <string>

namespace kit::platform {

// The real path of the module (executable or shared object) holding this code.
std::string current_module_path();
// $XDG_DATA_HOME (else ~/.local/share) + "/Zezazo/", made when missing; "" when it cannot be.
std::string user_appdata_dir();
// The first entry of $XDG_DATA_DIRS (else /usr/local/share:/usr/share) that is a writable
// folder, + "/Zezazo/", made when missing; "" when there is none.
std::string common_appdata_dir();

} // namespace kit::platform
