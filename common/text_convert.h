// Text conversion between the encodings the host meets: UTF-8 (scripts, phone link, file
// system), UTF-16 (inside the host). Invalid input never fails: bad sequences become U+FFFD.
#pragma once
#include <string>
#include <string_view>

namespace kit::text {

std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);

} // namespace kit::text
