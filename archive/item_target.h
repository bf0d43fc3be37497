// Where an archive item lands inside the destination folder. An item path is refused when
// it would leave the folder (absolute, a drive name, a ".." component); folders are
// created one component at a time below the destination, and a component that is a
// symbolic link (or not a folder) is refused, so nothing is ever written through a link.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/folder.h"

namespace kit::archive {

// The components of an item path ("/" and "\" both separate; empty and "." components are
// dropped); nothing when the path is absolute, starts with a drive name ("C:") or holds
// "..", or when nothing is left.
std::optional<std::vector<std::string>> item_components(const std::string& item_path);

// File mode for an item: the recorded permission bits (set-user-id, set-group-id and
// sticky dropped), or -1 when nothing was recorded (the file is then created 0644 less
// the umask).
int item_file_mode(std::optional<unsigned> recorded_mode);


// Opens (creating what is missing) the folder named by the first count components below
// the destination; not open when a component is a link, not a folder, or cannot be made.
platform::folder open_item_folder(const platform::folder& destination, const std::vector<std::string>& components,
                                  size_t count);

} // namespace kit::archive
