// The texts file lists travel in on the clipboard: a URI list (one file: URI a line, paths
// percent-encoded) and the file managers' "copy"/"cut" list (that word, then the URIs).
#pragma once
#include <string>
#include <vector>

namespace kit::utilities {

// The most files a clipboard file list gives; further ones are left out.
constexpr size_t kMaxListedFiles = 100000;

// "file://" and the path with every byte outside letters, digits and "-._~/" as %XX.
std::string file_uri_of(const std::string& path);
// The paths as a URI list: one URI a line, each ended by CR LF.
std::string uri_list_text(const std::vector<std::string>& paths);
// The paths of the file: URIs of a URI list (comment lines and other schemes skipped).
std::vector<std::string> paths_of_uri_list(const std::string& text);

struct copied_files {
  bool cut = false;
  std::vector<std::string> paths;
};
// "copy" or "cut" on the first line, the URIs on the next ones.
std::string copied_files_text(const std::vector<std::string>& paths, bool cut);
copied_files parse_copied_files(const std::string& text);

} // namespace kit::utilities
