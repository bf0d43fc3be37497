// Profile (INI) files with the rules programs written for Windows expect: section and key
// names compare without letter case, the first section and the first key of a name win,
// values are trimmed of blanks and lose one pair of surrounding quotes, lines beginning
// with ";" are comments. Writing changes only the one line it concerns (or adds lines) and
// keeps every other byte of the file as it was, line ends included.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace kit::ini {

// The value of key in section of the text, or nothing when the key is missing.
std::optional<std::string> find_value(std::string_view text, std::string_view section, std::string_view key);
// The text with key=value set in section: the key's line is replaced, or a line is added
// at the end of the section, or the section is added at the end of the text.
std::string with_value(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

// The same on a file (UTF-8 text). read_value gives nothing when the file cannot be read.
std::optional<std::string> read_value(const std::string& path, std::string_view section, std::string_view key);
// Creates the file when missing; false when it cannot be read or written.
bool write_value(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

// A profile integer the way the profile API reads it: an optional sign, then decimal
// digits or "0x" and hex digits, up to the first other character; 0 when there is none.
int32_t parse_profile_int(std::string_view text);

} // namespace kit::ini
