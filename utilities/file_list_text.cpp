#include "utilities/file_list_text.h"

#include "common/percent_encoding.h"

#include "utilities/file_dialog.h"

namespace kit::utilities {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void add_paths(const std::vector<std::string>& lines, size_t from, std::vector<std::string>& out) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    std::string path = path_of_file_uri(lines[i]);
    if (!path.empty()) out.push_back(path);
  }
}

} // namespace

std::string file_uri_of(const std::string& path) { return "file://" + text::percent_encode(path, "/"); }

std::string uri_list_text(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& p : paths) text += file_uri_of(p) + "\r\n";
  return text;
}

std::vector<std::string> paths_of_uri_list(const std::string& text) {
  std::vector<std::string> paths;
  add_paths(lines_of(text), 0, paths);
  return paths;
}

std::string copied_files_text(const std::vector<std::string>& paths, bool cut) {
  std::string text = cut ? "cut" : "copy";
  for (const std::string& p : paths) text += "\n" + file_uri_of(p);
  return text;
}

copied_files parse_copied_files(const std::string& text) {
  copied_files out;
  std::vector<std::string> lines = lines_of(text);
  if (lines.empty()) return out;
  out.cut = lines[0] == "cut";
  add_paths(lines, 1, out.paths);
  return out;
}

} // namespace kit::utilities
