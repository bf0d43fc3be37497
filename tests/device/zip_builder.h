// Writes small zip archives for the database tests (minizip's zip interface).
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace devicetest {

// Entries (name, content) deflated into a new archive file; returns the archive's bytes.
std::string make_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// Writes a database archive holding the document as "my.dt" where the program folder
// program_dir (with "/") expects it.
void install_database(const std::string& program_dir, const std::string& xml);

} // namespace devicetest
