// Applying an update package to the program folder: the package is unpacked into an
// emptied working folder, its "updatelist.xml" names files to delete and files to install
// (paths relative to the program folder and to the unpacked package), and every existing
// file is replaced through a flushed "<target>.tmp" renamed over it. A replacement the
// system refuses now is recorded in the profile folder's "pending-moves" list, which the
// next start applies before anything else.
#pragma once
#include <string>

namespace kit::app {

// True for a relative path ("\" counts as "/") without a ".." component: one that stays
// inside the folder it is joined to.
bool is_contained_path(const std::string& path);

// Applies the package. Folders end with "/". Every failure is silent: a step that fails
// ends the work (working folder, unpacking, list), a file that fails is passed over.
void apply_update_package(const std::string& package, const std::string& work_dir, const std::string& exe_dir,
                          const std::string& profile_dir);

} // namespace kit::app
