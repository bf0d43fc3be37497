#include "archive/item_target.h"

namespace kit::archive {

std::optional<std::vector<std::string>> item_components(const std::string& item_path) {
  if (item_path.empty() || item_path[0] == '/' || item_path[0] == '\\') return std::nullopt;
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= item_path.size()) {
    size_t end = item_path.find_first_of("/\\", at);
    if (end == std::string::npos) end = item_path.size();
    std::string part = item_path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    if (part.find('\0') != std::string::npos) return std::nullopt;
    if (out.empty() && part.size() >= 2 && part[1] == ':' &&
        ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'))) {
      return std::nullopt;
    }
    out.push_back(std::move(part));
  }
  if (out.empty()) return std::nullopt;
  return out;
}

int item_file_mode(std::optional<unsigned> recorded_mode) {
  if (!recorded_mode) return -1;
  return static_cast<int>(*recorded_mode & 0777u);
}

platform::folder open_item_folder(const platform::folder& destination, const std::vector<std::string>& components,
                                  size_t count) {
  platform::folder current = destination.child(".");
  for (size_t i = 0; current.is_open() && i < count && i < components.size(); ++i) {
    current = current.child(components[i]);
  }
  return current;
}

} // namespace kit::archive
