// Archives for the extraction tests, made at test time: with the system's archivers (7z,
// zip, tar) from a folder of files, or byte by byte for zips whose entry names those tools
// would never write.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace archivetest {

// Runs a shell command line in folder; true when it exited with 0.
bool run_in(const std::string& folder, const std::string& command);

// A stored (uncompressed) zip of the entries (name, content), written to path. The entry
// names are written exactly as given; mode, when not 0, is recorded as the Unix mode of
// every entry (made on Unix), otherwise the entries carry no permission bits.
void write_stored_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                      unsigned mode = 0);

// Permission bits of a file (without the type), or -1 when it does not exist.
int mode_of(const std::string& path);
// True when path names anything, a dangling link included.
bool exists_no_follow(const std::string& path);
// Names below folder, recursively, as relative paths sorted ("a/", "a/b.txt").
std::vector<std::string> tree(const std::string& folder);

} // namespace archivetest
