// Folders that look like ours but must not be trusted, for the tests of the folders that
// hold locks, the command block and temporary files.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

enum class unsafe_folder {
  other_owner,     // mode 0700, but owned by another user (needs root to make)
  symbolic_link,   // a link to a private folder of ours
  group_access,    // ours, mode 0770
  world_access,    // ours, mode 0755
};

// Every kind that can be made by this process (other_owner only when running as root).
std::vector<unsafe_folder> unsafe_folder_kinds();
const char* describe(unsafe_folder kind);

// Makes path (whose parent exists) a folder of that kind; a link points at link_target,
// which is created as a private folder.
void make_unsafe_folder(const std::string& path, unsafe_folder kind, const std::string& link_target);

// Mode bits (07777) and owner of path itself, not of what a link points at.
unsigned mode_of(const std::string& path);
unsigned owner_of(const std::string& path);

} // namespace testsupport
