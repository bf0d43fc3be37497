// Folders that only this user may use: where the host keeps lock files, the shared command
// block and its temporary files, a folder another local user could read or replace is no
// good. One check for every such folder.
#pragma once
#include <string>

namespace kit::platform {

// Creates dir with mode 0700 when it is missing (its parent must exist). True when dir then
// is a real folder (not a symbolic link) owned by this process's user with no group or world
// access; false, leaving it alone, when it is not.
bool ensure_private_dir(const std::string& dir);

// The folder for this program's temporary files, for this user only: the temp folder +
// "<name>-<user id>", or, when a folder there is not safely ours, <runtime folder>/<name>.
// With a final "/"; empty when neither can be used.
std::string private_temp_dir(const std::string& name);

} // namespace kit::platform
