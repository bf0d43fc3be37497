// Text helpers of the application helper object: pinyin initials of Chinese text, the
// byte count of a text in code page 936, and URL decoding.
#pragma once
#include <string>
#include <string_view>

// Pinyin initials of the GB2312 level-2 characters (rows 56 to 87, 94 per row, in code
// order); "[" where a character has no reading of its own. Generated data.
extern const char kLevel2Initials[3009];

namespace kit::app {

// Replaces each GB2312 Chinese character of a UTF-8 text by the upper-case initial of its
// pinyin reading; everything else is kept. Works on the text in the ANSI code page.
std::string convert_chinese_initials(std::string_view utf8);

// Number of bytes the UTF-8 text takes in code page 936.
size_t cp936_byte_count(std::string_view utf8);

// Replaces every "%" and the two hexadecimal digits after it by the byte they give (a
// byte 0 adds nothing). A "%" not followed by two hexadecimal digits is kept with the
// characters after it. The result ends at its first NUL byte.
std::string url_decode(std::string_view text);

} // namespace kit::app
