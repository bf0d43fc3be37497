// Conversions between UTF-8, UTF-16, code page 936 and the ANSI code page, and the
// case-insensitive containment helper.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text_convert.h"

using namespace kit::text;

namespace {
// Sets MOBREVIST_ACP for one scope.
struct acp_override {
  explicit acp_override(const char* value) {
    if (value) setenv("MOBREVIST_ACP", value, 1);
    else unsetenv("MOBREVIST_ACP");
  }
  ~acp_override() { unsetenv("MOBREVIST_ACP"); }
};
} // namespace

TEST(TextConvert, Utf8AndUtf16RoundTripAndRepairBadInput) {
  const std::string text = "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";  // a é 中 😀
  std::u16string wide = utf8_to_utf16(text);
  EXPECT_TRUE(wide == u"a\u00e9\u4e2d\U0001F600");
  EXPECT_EQ(utf16_to_utf8(wide), text);
  EXPECT_TRUE(utf8_to_utf16("\xff" "a\xe4\xb8") == u"\uFFFDa\uFFFD\uFFFD");
  EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(TextConvert, CodePage936EncodesAndDecodes) {
  EXPECT_EQ(utf16_to_cp936(u"\u4e2d\u6587a"), "\xD6\xD0\xCE\xC4" "a");
  EXPECT_EQ(utf16_to_cp936(u"\u4e2d\u6587a").size(), 5u);
  EXPECT_TRUE(cp936_to_utf16("\xD6\xD0\xCE\xC4" "a") == u"\u4e2d\u6587a");
  // Characters outside the code page become "?", bad bytes U+FFFD; nothing is lost silently.
  EXPECT_EQ(utf16_to_cp936(u"x\U0001F600y"), "x?y");
  EXPECT_TRUE(cp936_to_utf16("a\xD6") == u"a\uFFFD");
  EXPECT_EQ(cp936_pair_to_utf16(0xD6, 0xD0), u'\u4e2d');
  EXPECT_EQ(cp936_pair_to_utf16(0xFF, 0xA1), 0);
  EXPECT_EQ(cp936_pair_to_utf16(0xD6, 0x20), 0);
}

TEST(TextConvert, AnsiCodePageIsCp936UnlessOverridden) {
  {
    acp_override acp(nullptr);
    EXPECT_EQ(ansi_code_page(), "CP936");
    EXPECT_EQ(utf16_to_ansi(u"\u4e2d"), "\xD6\xD0");
  }
  {
    acp_override acp("CP1252");
    EXPECT_EQ(utf16_to_ansi(u"\u00e9\u4e2d"), "\xE9?");
    EXPECT_TRUE(ansi_to_utf16("\xE9") == u"\u00e9");
  }
}

TEST(TextConvert, ContainsNoCaseLowersBothSidesAndIsFalseForEmptyTexts) {
  EXPECT_TRUE(contains_no_case(u"Hello World", u"WORLD"));
  EXPECT_TRUE(contains_no_case(u"ABC", u"abc"));
  EXPECT_TRUE(contains_no_case(u"\u00c9COLE", u"\u00e9col"));   // beyond ASCII
  EXPECT_TRUE(contains_no_case(u"\u041c\u0418\u0420", u"\u043c\u0438"));  // Cyrillic
  EXPECT_FALSE(contains_no_case(u"Hello", u"world"));
  EXPECT_FALSE(contains_no_case(u"", u""));
  EXPECT_FALSE(contains_no_case(u"abc", u""));
  EXPECT_FALSE(contains_no_case(u"", u"a"));
  EXPECT_FALSE(contains_no_case(u"ab", u"abc"));
}
