#include "utilities/file_dialog.h"

#include <cctype>

#include "common/percent_encoding.h"
#include "platform/file.h"
#include "platform/portal_file_chooser.h"
#include "utilities/path_text.h"

namespace kit::utilities {

namespace {
bool is_dir(const std::string& path) { return !path.empty() && platform::is_directory(path); }
} // namespace

std::vector<std::string> choose_files(const file_dialog_request& request) {
  platform::file_chooser_request r;
  r.open = request.open;
  r.multiple = request.multiple;
  r.directory = request.directory;
  r.title = request.title;
  r.filters = parse_filter(request.filter);
  r.current_folder = request.initial_folder;
  if (!request.initial_name.empty()) r.current_name = file_name(request.initial_name);
  std::vector<std::string> chosen;
  for (const std::string& uri : platform::choose_file_uris(r)) {
    std::string p = path_of_file_uri(uri);
    if (p.empty()) continue;
    if (!request.open && !request.default_ext.empty() && file_ext(p).empty()) p += "." + request.default_ext;
    chosen.push_back(p);
  }
  return chosen;
}

std::vector<std::pair<std::string, std::vector<std::string>>> parse_filter(const std::string& filter) {
  std::vector<std::string> fields;
  size_t at = 0;
  while (at <= filter.size()) {
    size_t bar = filter.find('|', at);
    if (bar == std::string::npos) bar = filter.size();
    fields.push_back(filter.substr(at, bar - at));
    at = bar + 1;
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    std::vector<std::string> patterns;
    const std::string& list = fields[i + 1];
    for (size_t p = 0; p <= list.size();) {
      size_t semi = list.find(';', p);
      if (semi == std::string::npos) semi = list.size();
      std::string one = list.substr(p, semi - p);
      while (!one.empty() && one.front() == ' ') one.erase(0, 1);
      if (!one.empty()) patterns.push_back(one);
      p = semi + 1;
    }
    if (!fields[i].empty() && !patterns.empty()) out.emplace_back(fields[i], std::move(patterns));
  }
  return out;
}

std::string path_of_file_uri(const std::string& uri) {
  const std::string scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return {};
  std::string rest = uri.substr(scheme.size());
  size_t slash = rest.find('/');  // skip an authority ("localhost")
  if (slash == std::string::npos) return {};
  rest = text::percent_decode(rest.substr(slash));
#ifdef _WIN32
  // A path with a drive letter has no slash in front of it: "file:///C:/a" is "C:/a".
  if (rest.size() >= 3 && rest[0] == '/' && std::isalpha(static_cast<unsigned char>(rest[1])) && rest[2] == ':')
    rest.erase(0, 1);
#endif
  return rest;
}

std::string nearest_existing_folder(const std::string& path) {
  std::string p = native_path(path);
  while (!p.empty() && !is_dir(p)) {
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return {};
    p = slash == 0 ? std::string("/") : p.substr(0, slash);
    if (p == "/" && !is_dir(p)) return {};
  }
  return p.empty() ? std::string() : with_separator(p);
}

} // namespace kit::utilities
