// Removing folders without ever leaving them through a symbolic link: every step opens the
// next folder relative to the one before with O_NOFOLLOW, so a link (or a folder swapped
// for a link while the removal runs) is unlinked itself and what it points to stays.
#pragma once
#include <string>

namespace kit::platform {

// Removes the folder and everything below it. Folders without write permission for their
// owner get it (as read-only attributes are cleared before a delete). A path that is a
// symbolic link is refused. True when the path is no longer a folder afterwards.
bool remove_tree(const std::string& path);
// Removes a file or a symbolic link (never its target), or a folder with remove_tree.
bool remove_path(const std::string& path);

} // namespace kit::platform
