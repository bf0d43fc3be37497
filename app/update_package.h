// Applying an update package to the program folder. The package is applied only when the
// signature file beside it ("<package>.sig": 64 bytes, the Ed25519 signature of the
// package's bytes) verifies with the maker's public key (built in; "[Update] pubkey" of
// config.ini may name a PEM file with another one). The verified bytes are unpacked from a
// private copy into an emptied working folder; its "updatelist.xml" names files to delete
// and files to install (paths relative to the program folder and to the unpacked package).
// All or nothing: every listed file must be in the package and is first written beside its
// target as "<target>.tmp", flushed; only then are the deletions made and each target
// replaced by a rename, so a reader sees the old file or the whole new one. A replacement
// the system refuses now is recorded in the profile folder's "pending-moves" list, which
// the next start applies before anything else.
#pragma once
#include <string>

namespace kit::app {

// True for a relative path ("\" counts as "/") without a ".." component: one that stays
// inside the folder it is joined to.
bool is_contained_path(const std::string& path);

struct update_folders {
  std::string exe_dir;      // the program folder, with "/"
  std::string profile_dir;  // with "/"
  std::string temp_dir;     // the host's private temporary folder, with "/"; empty: none
};

// The outcome of applying a package: applied, or why nothing was changed.
struct update_result {
  bool applied = false;
  std::string reason;  // a sentence for the user when not applied
};

update_result apply_update_package(const std::string& package, const update_folders& folders);

} // namespace kit::app
