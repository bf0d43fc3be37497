#include "platform/completion_words.h"

#include <algorithm>
#include <cstdlib>

#include "platform/file.h"
#include "platform/user_dirs.h"

namespace kit::platform {

std::string word_before_cursor(const std::string& line_to_cursor) {
  size_t blank = line_to_cursor.find_last_of(" \t");
  return blank == std::string::npos ? line_to_cursor : line_to_cursor.substr(blank + 1);
}

typed_word word_at_cursor(const std::string& line_to_cursor) {
  size_t quotes = 0, last_quote = 0;
  for (size_t i = 0; i < line_to_cursor.size(); ++i) {
    if (line_to_cursor[i] == '"') {
      ++quotes;
      last_quote = i;
    }
  }
  if (quotes % 2 == 1) {
    std::string text = line_to_cursor.substr(last_quote + 1);
    return {text, true, text.size() + 1};
  }
  std::string text = word_before_cursor(line_to_cursor);
  return {text, false, text.size()};
}

completion_edit complete_word(const typed_word& typed, const std::vector<std::string>& words) {
  std::string prefix = common_prefix(words);
  if (prefix.size() <= typed.text.size()) return {};
  bool closes = words.size() == 1 && prefix.back() != '/';
  bool needs_quotes = typed.quoted || prefix.find_first_of(" \t") != std::string::npos;
  if (!needs_quotes) return {0, prefix.substr(typed.text.size()) + (closes ? " " : "")};
  std::string end = closes ? "\" " : "";
  if (typed.quoted) return {0, prefix.substr(typed.text.size()) + end};
  return {typed.typed_bytes, "\"" + prefix + end};
}

std::vector<std::string> matching_words(const std::vector<std::string>& candidates, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& c : candidates) {
    if (c.compare(0, prefix.size(), prefix) == 0 && c.size() >= prefix.size()) out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::string common_prefix(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  std::string prefix = words.front();
  for (const auto& w : words) {
    size_t n = 0;
    while (n < prefix.size() && n < w.size() && prefix[n] == w[n]) ++n;
    prefix.resize(n);
  }
  return prefix;
}

std::vector<std::string> local_file_names(const std::string& word, size_t limit) {
  size_t slash = word.find_last_of('/');
  std::string shown_dir = slash == std::string::npos ? std::string() : word.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? word : word.substr(slash + 1);
  std::string dir = shown_dir.empty() ? "./" : shown_dir;
  if (dir.rfind("~/", 0) == 0) {
    std::string home = platform::home_dir();
    if (home.empty()) return {};
    dir = home + dir.substr(2);
  }
  std::vector<std::string> out;
  auto entries = platform::list_directory(dir);
  if (!entries) return out;
  for (const std::string& entry : *entries) {
    if (entry[0] == '.' && (name.empty() || name[0] != '.')) continue;
    if (entry.compare(0, name.size(), name) != 0) continue;
    bool folder = platform::is_directory(dir + entry);
    out.push_back(shown_dir + entry + (folder ? "/" : ""));
    if (out.size() >= limit) break;
  }
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace kit::platform
