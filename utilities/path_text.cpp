#include "utilities/path_text.h"

#include "common/text_convert.h"

namespace kit::utilities {
namespace {
thread_local unsigned g_last_error = 0;

size_t last_separator(std::string_view path) { return path.find_last_of("\\/"); }

bool match(std::u16string_view p, std::u16string_view n) {
  // Iterative matching with one back-track point for the most recent "*".
  size_t pi = 0, ni = 0, star = std::u16string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || kit::text::to_lower(p[pi]) == kit::text::to_lower(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::u16string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}
} // namespace

void set_last_error(unsigned value) { g_last_error = value; }
unsigned last_error() { return g_last_error; }

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::string file_name(std::string_view path) {
  size_t at = last_separator(path);
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string file_main_name(std::string_view path) {
  std::string name = file_name(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string file_ext(std::string_view path) {
  std::string name = file_name(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string path_root(std::string_view path) {
  size_t at = path.find_first_of("\\/");
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string path_dir(std::string_view path) {
  size_t at = last_separator(path);
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string upper_dir(std::string_view path) {
  if (!path.empty() && is_separator(path.back())) path.remove_suffix(1);
  return path_dir(path);
}

std::string native_path(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string with_separator(std::string_view path) {
  std::string out(path);
  if (out.empty() || !is_separator(out.back())) out += '/';
  return out;
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  std::u16string p = kit::text::utf8_to_utf16(pattern), n = kit::text::utf8_to_utf16(name);
  if (p == u"*.*" || p == u"*") return true;
  if (match(p, n)) return true;
  // "name.*" also finds "name": the search sees a name without a dot as ending in one.
  return p.size() >= 2 && p.substr(p.size() - 2) == u".*" && n.find(u'.') == std::u16string::npos && match(p, n + u".");
}

} // namespace kit::utilities
