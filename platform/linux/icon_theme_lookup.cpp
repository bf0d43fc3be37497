#include "platform/icon_theme_lookup.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace kit::platform::icons {
namespace {

using ini_sections = std::map<std::string, std::map<std::string, std::string>>;

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// A small reader of the key files themes and settings use; lines past 1 MiB are ignored.
ini_sections read_key_file(const std::string& path) {
  ini_sections out;
  std::ifstream in(path);
  std::string line, section;
  size_t total = 0;
  while (std::getline(in, line) && (total += line.size()) < (1u << 20)) {
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    out[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return out;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(sep, start);
    if (end == std::string::npos) end = s.size();
    std::string part = trim(s.substr(start, end - start));
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

bool is_dir(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool is_file(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::vector<std::string> base_dirs() {
  std::string home = env_or("HOME", "");
  std::vector<std::string> dirs;
  if (!home.empty()) dirs.push_back(home + "/.icons");
  std::string data_home = env_or("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
  if (!data_home.empty()) dirs.push_back(data_home + "/icons");
  for (const std::string& d : split(env_or("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':'))
    dirs.push_back(d + "/icons");
  return dirs;
}

std::string user_theme_name() {
  std::string home = env_or("HOME", "");
  std::string config = env_or("XDG_CONFIG_HOME", home.empty() ? "" : home + "/.config");
  if (!config.empty()) {
    ini_sections s = read_key_file(config + "/gtk-3.0/settings.ini");
    std::string name = s["Settings"]["gtk-icon-theme-name"];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    if (!name.empty() && name.find('/') == std::string::npos) return name;
  }
  return "Adwaita";
}

struct theme_dir {
  std::string sub;
  int size = 0, min = 0, max = 0, threshold = 2;
  std::string type;
};

struct theme {
  std::vector<std::string> roots;  // the theme's folder in every base folder that has it
  std::vector<theme_dir> dirs;
  std::vector<std::string> inherits;
};

int to_int(const std::string& s, int fallback) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (end == s.c_str() || v < 0 || v > 100000) return fallback;
  return static_cast<int>(v);
}

bool load_theme(const std::string& name, const std::vector<std::string>& bases, theme& out) {
  bool have_index = false;
  for (const std::string& base : bases) {
    std::string root = base + "/" + name;
    if (!is_dir(root)) continue;
    out.roots.push_back(root);
    if (have_index || !is_file(root + "/index.theme")) continue;
    have_index = true;
    ini_sections ini = read_key_file(root + "/index.theme");
    auto& head = ini["Icon Theme"];
    out.inherits = split(head["Inherits"], ',');
    for (const std::string& sub : split(head["Directories"], ',')) {
      auto& sec = ini[sub];
      if (to_int(sec["Scale"], 1) != 1) continue;
      theme_dir d;
      d.sub = sub;
      d.size = to_int(sec["Size"], 0);
      d.type = sec.count("Type") ? sec["Type"] : "Threshold";
      d.min = to_int(sec["MinSize"], d.size);
      d.max = to_int(sec["MaxSize"], d.size);
      d.threshold = to_int(sec["Threshold"], 2);
      out.dirs.push_back(d);
    }
  }
  return have_index;
}

bool matches_size(const theme_dir& d, int size) {
  if (d.type == "Fixed") return d.size == size;
  if (d.type == "Scalable") return d.min <= size && size <= d.max;
  return d.size - d.threshold <= size && size <= d.size + d.threshold;
}

int size_distance(const theme_dir& d, int size) {
  if (d.type == "Fixed") return std::abs(d.size - size);
  if (d.type == "Scalable") return size < d.min ? d.min - size : size > d.max ? size - d.max : 0;
  if (size < d.size - d.threshold) return d.min - size;
  if (size > d.size + d.threshold) return size - d.max;
  return 0;
}

std::string file_in(const theme& t, const theme_dir& d, const std::string& name) {
  for (const std::string& root : t.roots) {
    for (const char* ext : {".png", ".svg"}) {
      std::string f = root + "/" + d.sub + "/" + name + ext;
      if (is_file(f)) return f;
    }
  }
  return "";
}

std::string lookup(const theme& t, const std::string& name, int size) {
  for (const theme_dir& d : t.dirs) {
    if (!matches_size(d, size)) continue;
    std::string f = file_in(t, d, name);
    if (!f.empty()) return f;
  }
  std::string best;
  int best_distance = INT_MAX;
  for (const theme_dir& d : t.dirs) {
    int dist = size_distance(d, size);
    if (dist >= best_distance) continue;
    std::string f = file_in(t, d, name);
    if (f.empty()) continue;
    best = f;
    best_distance = dist;
  }
  return best;
}

// The theme, what it inherits (depth first, each theme once), hicolor last.
void theme_chain(const std::string& name, const std::vector<std::string>& bases, std::set<std::string>& seen,
                 std::vector<theme>& out) {
  if (name.empty() || name == "hicolor" || !seen.insert(name).second || seen.size() > 32) return;
  theme t;
  if (!load_theme(name, bases, t)) return;
  std::vector<std::string> parents = t.inherits;
  out.push_back(std::move(t));
  for (const std::string& p : parents) theme_chain(p, bases, seen, out);
}

bool valid_name(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

std::string find_icon_file(const std::vector<std::string>& names, int size) {
  std::vector<std::string> bases = base_dirs();
  std::vector<theme> chain;
  std::set<std::string> seen;
  theme_chain(user_theme_name(), bases, seen, chain);
  theme hicolor;
  if (load_theme("hicolor", bases, hicolor)) chain.push_back(std::move(hicolor));
  for (const theme& t : chain) {
    for (const std::string& name : names) {
      if (!valid_name(name)) continue;
      std::string f = lookup(t, name, size);
      if (!f.empty()) return f;
    }
  }
  for (const std::string& name : names) {
    if (!valid_name(name)) continue;
    for (const char* ext : {".png", ".svg"}) {
      std::string f = "/usr/share/pixmaps/" + name + ext;
      if (is_file(f)) return f;
    }
  }
  return "";
}

} // namespace kit::platform::icons
