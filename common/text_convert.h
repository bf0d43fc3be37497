// Text conversion between the encodings the host meets: UTF-8 (scripts, phone link, file
// system), UTF-16 (inside the host), code page 936 and the ANSI code page (through iconv).
// Invalid input never fails: bad UTF sequences become U+FFFD, bytes a code page cannot
// decode become U+FFFD, and characters it cannot encode become "?".
#pragma once
#include <string>
#include <string_view>

namespace kit::text {

std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);
// Whether the bytes are well-formed UTF-8 (they survive a trip through UTF-16 unchanged).
bool is_valid_utf8(std::string_view bytes);

// Code page 936 (GBK, a superset of GB2312).
std::string utf16_to_cp936(std::u16string_view utf16);
std::u16string cp936_to_utf16(std::string_view bytes);
// The first UTF-16 unit of a two-byte code page 936 sequence, or 0 when the pair is not a
// character of the code page. Table-driven and thread-safe (used per character by parsers).
char16_t cp936_pair_to_utf16(unsigned char lead, unsigned char trail);

// The ANSI code page: CP936 unless the environment variable MOBREVIST_ACP names another
// iconv encoding.
std::string ansi_code_page();
std::string utf16_to_ansi(std::u16string_view utf16);
std::u16string ansi_to_utf16(std::string_view bytes);

// Case-insensitive containment: both texts are lowered character by character, then
// searched. False when either text is empty.
bool contains_no_case(std::u16string_view text, std::u16string_view part);
// The lower-case form of one UTF-16 unit (Unicode simple case mapping, BMP only).
char16_t to_lower(char16_t c);

} // namespace kit::text
