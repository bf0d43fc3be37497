// Percent-encoding of bytes in URLs and URIs, and hexadecimal digits.
#pragma once
#include <string>
#include <string_view>

namespace kit::text {

// The value of a hexadecimal digit (either letter case), or -1.
int hex_digit_value(char c);

// Every byte but the unreserved ones (letters, digits, "-", "_", ".", "~") and those listed
// in keep becomes "%XX" with upper-case digits.
std::string percent_encode(std::string_view text, std::string_view keep = {});

// What a "%" that is not followed by two hexadecimal digits does.
enum class malformed_escape {
  keep_percent,  // the "%" stays and decoding goes on with the next character
  keep_three,    // the "%" and up to two characters after it stay as they are
};

// Decodes every "%XX" escape.
std::string percent_decode(std::string_view text, malformed_escape malformed = malformed_escape::keep_percent);

} // namespace kit::text
