// Parsers of what Android's shell commands print: `content query` rows, `pm list packages`
// lines, `dumpsys package` and `dumpsys battery`, `getprop` and `stat -f`. Nothing the tools
// print is escaped, so each parser knows what it asked for and reads only that.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kit::agent {

// The rows of `content query --projection c0:c1:...`, each value in projection order.
// Rows are told apart by a line starting "Row: N c0=" with N counting from 0; a value
// runs up to ", <next column>=", and the last column's value to the end of its row, so a
// free-text column asked for last keeps its commas and newlines. "No result found." and
// empty output give no rows.
std::vector<std::vector<std::string>> parse_content_rows(const std::string& out, const std::vector<std::string>& columns);

// True when every row marker "Row: N <first>=<id>, " of the expected ids (in order)
// appears exactly once at the start of a line: then no free text posed as a row and
// parse_content_rows split the output right.
bool content_rows_unambiguous(const std::string& out, const std::string& first_column, const std::vector<std::string>& ids);

// A provider refused or failed: content prints the stack trace on standard error.
bool content_failed(const std::string& err);

struct package_line {
  std::string path, package, version_code;
  uint32_t uid = 0;  // the first uid of a comma-joined list
};
// One line of `pm list packages -f -U --show-versioncode`; nullopt when it is not one.
std::optional<package_line> parse_package_line(const std::string& line);

struct package_details {
  std::string version_name, version_code;
  uint64_t first_install = 0;  // seconds since 1970, the phone's clock read as UTC
};
// The first "Package [name]" block under "Packages:" of `dumpsys package NAME`.
package_details parse_dumpsys_package(const std::string& out, const std::string& package);

// "yyyy-MM-dd HH:mm:ss" as seconds since 1970 (UTC); 0 when it is not such a time.
uint64_t parse_android_time(const std::string& text);

// `key: value` lines (dumpsys battery), keys and values trimmed.
std::map<std::string, std::string> parse_colon_lines(const std::string& out);

// `getprop` with no argument: "[name]: [value]" lines.
std::map<std::string, std::string> parse_getprop(const std::string& out);

// `stat -f -c '%s %b %a' DIR`: block size, total and free blocks, as total and free bytes.
std::optional<std::pair<uint64_t, uint64_t>> parse_stat_fs(const std::string& out);

// A decimal number at the start of text (after blanks); fallback when there is none.
uint64_t to_u64(const std::string& text, uint64_t fallback = 0);

} // namespace kit::agent
