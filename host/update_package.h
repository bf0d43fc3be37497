// Applying an update package to the program folder: the package is unpacked into an
// emptied working folder, its "updatelist.xml" names files to delete and files to install
// (paths relative to the program folder and to the unpacked package), and every existing
// file is replaced through a flushed "<target>.tmp" renamed over it. A replacement the
// system refuses now is recorded in the profile folder's "pending-moves" list, which the
// next start applies before anything else.
#pragma once
#include <string>

namespace kit::host {

// Unpacks an archive into a folder; true on success. The unpacker lives in a library
// above host/, so the program hands it in at start-up; without it no package is applied.
using archive_extractor = bool (*)(const std::string& archive_path, const std::string& destination);
void set_archive_extractor(archive_extractor extractor);

// True for a relative path ("\" counts as "/") without a ".." component: one that stays
// inside the folder it is joined to.
bool is_contained_path(const std::string& path);

// Applies the package. Folders end with "/". Every failure is silent: a step that fails
// ends the work (working folder, unpacking, list), a file that fails is passed over.
void apply_update_package(const std::string& package, const std::string& work_dir, const std::string& exe_dir,
                          const std::string& profile_dir);

// Performs the moves recorded in profile_dir + "pending-moves"; those that fail again stay
// recorded, and the list goes when none is left.
void apply_pending_moves(const std::string& profile_dir);

} // namespace kit::host
