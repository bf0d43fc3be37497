// Recognises the encoding of an imported text file and decodes it to UTF-16.
#pragma once
#include <string>
#include <string_view>

namespace kit::backup {

enum class text_encoding { utf8_marked, utf16le_marked, utf16be_marked, utf16le, utf8, ansi };

// In this order: a UTF-8 byte-order mark; the UTF-16 marks FF FE (little-endian) and FE FF
// (big-endian); text that looks like UTF-16 little-endian without a mark (see
// looks_like_utf16le); valid UTF-8 with at least one byte above 0x7F; else the ANSI code page.
text_encoding detect_text_encoding(std::string_view bytes);

// The test for unmarked UTF-16 little-endian text. Text in UTF-8 or in a single- or
// double-byte code page never holds a zero byte, while UTF-16 of the characters a
// comma-separated file is made of (separators, digits, Latin letters) has a zero high
// byte. So the bytes must come in pairs, no pair may be U+0000, and at least a quarter of
// the pairs must have a zero high byte and a non-zero low byte. A short file of Chinese
// characters alone is not recognised; address books, with their ASCII header, separators
// and numbers, are. Text in a double-byte code page never passes (it holds no zero byte),
// so its lead bytes need no test of their own.
bool looks_like_utf16le(std::string_view bytes);

// Valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence.
bool is_valid_utf8(std::string_view bytes);

// The text without its byte-order mark, decoded as detected. A dangling odd byte of
// UTF-16 text is dropped.
std::u16string decode_text(std::string_view bytes);

} // namespace kit::backup
