// Path arithmetic on text: "\" and "/" both separate names. Results keep the separators the
// text had; nothing here touches the file system.
#pragma once
#include <string>
#include <string_view>

namespace kit::utilities {

// The error value set for input a path method cannot use (empty, or no separator where
// one is needed), read back with last_error(). Per thread.
constexpr unsigned kInvalidPathError = 20100001;
void set_last_error(unsigned value);
unsigned last_error();

bool is_separator(char c);
std::string file_name(std::string_view path);       // after the last separator
std::string file_main_name(std::string_view path);  // the file name without its extension
std::string file_ext(std::string_view path);        // after the file name's last ".", or ""
std::string path_root(std::string_view path);       // up to and including the first separator
std::string path_dir(std::string_view path);        // up to and including the last separator
std::string upper_dir(std::string_view path);       // path_dir after dropping one trailing separator
// The path as the file system takes it: every "\" becomes "/".
std::string native_path(std::string_view path);
// The text with a "/" added unless it already ends with a separator.
std::string with_separator(std::string_view path);

// Whether name matches a wildcard pattern ("*" any run, "?" one character) ignoring letter
// case, as a directory search matches: "*.*" matches every name and a trailing ".*" also
// matches names without a dot.
bool wildcard_match(std::string_view pattern, std::string_view name);

} // namespace kit::utilities
