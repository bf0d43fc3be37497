#include "host/pending_moves.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace kit::host {

namespace {
std::string pending_list(const std::string& profile_dir) { return profile_dir + "pending-moves"; }
} // namespace

bool record_pending_move(const std::string& profile_dir, const std::string& from, const std::string& to) {
  if (from.find_first_of("\t\n") != std::string::npos || to.find_first_of("\t\n") != std::string::npos) return false;
  std::ofstream list(pending_list(profile_dir), std::ios::app | std::ios::binary);
  list << from << '\t' << to << '\n';
  list.flush();
  return static_cast<bool>(list);
}

void apply_pending_moves(const std::string& profile_dir) {
  std::string path = pending_list(profile_dir);
  std::ifstream list(path, std::ios::binary);
  if (!list) return;
  std::vector<std::string> left;
  for (std::string line; std::getline(list, line);) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::error_code ec;
    std::filesystem::rename(line.substr(0, tab), line.substr(tab + 1), ec);
    if (ec && ec != std::errc::no_such_file_or_directory) left.push_back(line);
  }
  list.close();
  std::error_code ec;
  if (left.empty()) {
    std::filesystem::remove(path, ec);
    return;
  }
  std::ofstream rewritten(path, std::ios::trunc | std::ios::binary);
  for (const auto& line : left) rewritten << line << '\n';
}

} // namespace kit::host
