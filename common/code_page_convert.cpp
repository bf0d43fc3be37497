// Code page conversions and the case-insensitive containment helper, over the system's
// code-page tables.
#include <cstdlib>

#include "common/text_convert.h"
#include "platform/code_pages.h"

namespace kit::text {

std::string utf16_to_cp936(std::u16string_view utf16) { return platform::encode_code_page("CP936", utf16); }
std::u16string cp936_to_utf16(std::string_view bytes) { return platform::decode_code_page("CP936", bytes); }

char16_t cp936_pair_to_utf16(unsigned char lead, unsigned char trail) {
  return platform::cp936_pair_to_utf16(lead, trail);
}

std::string ansi_code_page() {
  const char* acp = std::getenv("MOBREVIST_ACP");
  return acp && *acp ? std::string(acp) : std::string("CP936");
}

std::string utf16_to_ansi(std::u16string_view utf16) { return platform::encode_code_page(ansi_code_page(), utf16); }
std::u16string ansi_to_utf16(std::string_view bytes) { return platform::decode_code_page(ansi_code_page(), bytes); }

char16_t to_lower(char16_t c) { return platform::to_lower(c); }

bool contains_no_case(std::u16string_view text, std::u16string_view part) {
  if (text.empty() || part.empty()) return false;
  std::u16string a(text), b(part);
  for (auto& c : a) c = to_lower(c);
  for (auto& c : b) c = to_lower(c);
  return a.find(b) != std::u16string::npos;
}

} // namespace kit::text
