#include "utilities/file_list_text.h"

#include <string_view>

#include "common/percent_encoding.h"

#include "utilities/file_dialog.h"

namespace kit::utilities {
namespace {

// Calls each(line) for the lines of text (without their CR and trailing NULs), without
// holding them: a text of millions of empty lines costs no more than its own bytes. Stops
// when each returns false.
template <class Each>
void for_each_line(const std::string& text, Each each) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) line.remove_suffix(1);
    if (!each(line)) return;
    start = end + 1;
  }
}

// Adds the paths of the file: URIs among the lines (comments and blank lines skipped), at
// most kMaxListedFiles of them.
void add_path(std::string_view line, std::vector<std::string>& out) {
  if (line.empty() || line[0] == '#') return;
  std::string path = path_of_file_uri(std::string(line));
  if (!path.empty()) out.push_back(std::move(path));
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
  for_each_line(text, [&](std::string_view line) {
    add_path(line, paths);
    return paths.size() < kMaxListedFiles;
  });
  return paths;
}

std::string copied_files_text(const std::vector<std::string>& paths, bool cut) {
  std::string text = cut ? "cut" : "copy";
  for (const std::string& p : paths) text += "\n" + file_uri_of(p);
  return text;
}

copied_files parse_copied_files(const std::string& text) {
  copied_files out;
  bool first = true;
  for_each_line(text, [&](std::string_view line) {
    if (first) {
      out.cut = line == "cut";
      first = false;
    } else {
      add_path(line, out.paths);
    }
    return out.paths.size() < kMaxListedFiles;
  });
  return out;
}

} // namespace kit::utilities
