// Text in the code pages of older programs' files: conversion from and to UTF-16, and
// lower-casing by the Unicode character tables.
#pragma once
#include <string>
#include <string_view>

namespace kit::platform {

// code_page is a name such as "CP936". A character the code page lacks becomes "?"; an
// unknown code page keeps ASCII and replaces the rest.
std::string encode_code_page(const std::string& code_page, std::u16string_view text);
// An invalid or cut-short sequence gives one U+FFFD per byte skipped.
std::u16string decode_code_page(const std::string& code_page, std::string_view bytes);
// The character of a two-byte sequence of code page 936, or 0.
char16_t cp936_pair_to_utf16(unsigned char lead, unsigned char trail);
// The lower-case form of one UTF-16 unit (surrogates unchanged).
char16_t to_lower(char16_t c);

} // namespace kit::platform
