// The folders the path utility names: the program file, the module holding this code, and
// the application-data folders (XDG data folders + "Zezazo/").
#pragma once
#include <string>
#include <vector>

namespace kit::platform {

// The real path of the module (executable or shared object) holding this code.
std::string current_module_path();
// $XDG_DATA_HOME (else ~/.local/share) + "/Zezazo/", made when missing; "" when it cannot be.
std::string user_appdata_dir();
// The first entry of $XDG_DATA_DIRS (else /usr/local/share:/usr/share) that is a writable
// folder, + "/Zezazo/", made when missing; "" when there is none.
std::string common_appdata_dir();
// The system's folders for installed programs, each ending with "/" (Windows: the 64-bit
// and the 32-bit one); none on systems without such a folder.
std::vector<std::string> program_files_dirs();

} // namespace kit::platform
