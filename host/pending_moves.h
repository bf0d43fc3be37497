// Replacements of program files that the system refused while the program ran (a file in
// use): recorded one per line in the profile folder's "pending-moves" list and performed by
// the next start before anything else.
#pragma once
#include <string>

namespace kit::host {

// Records that `from` is to be renamed over `to`. Paths holding a tab or a line break cannot
// be recorded; false then, and when the list cannot be written.
bool record_pending_move(const std::string& profile_dir, const std::string& from, const std::string& to);

// Performs the moves recorded in profile_dir + "pending-moves"; those that fail again stay
// recorded, and the list goes when none is left. A move whose source is gone is dropped.
void apply_pending_moves(const std::string& profile_dir);

} // namespace kit::host
