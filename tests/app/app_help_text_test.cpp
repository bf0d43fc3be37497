// The text helpers of the application helper object and the command-line switch parser.
#include <gtest/gtest.h>

#include <cstring>

#include "common/text_convert.h"
#include "app/app_help_text.h"
#include "host/command_switches.h"

using namespace kit::app;
using namespace kit::host;

TEST(Level2Initials, FirstTwoRowsMatchTheEstablishedTable) {
  ASSERT_EQ(std::strlen(kLevel2Initials), 3008u);
  EXPECT_EQ(std::string(kLevel2Initials, 94),
            "CJWGNSPGCGNE[Y[BTYYZDXYKYGT[JNNJQMBSGZSCYJSYY[PGKBZGY[YWJKGKLJYWKPJQHY[W[DZLSGMRYPYWWCCKZNKYYG");
  EXPECT_EQ(std::string(kLevel2Initials + 94, 94),
            "TTNJJNYKKZYTCJNMCYLQLYPYQFQRPZSLWBTGKJFYXJWZLTBNCXJJJJTXDTTSQZYCDXXHGCK[PHFFSS[YBGXLPPBYLL[HLX");
  for (size_t i = 0; i < 3008; ++i) {
    char c = kLevel2Initials[i];
    EXPECT_TRUE((c >= 'A' && c <= 'Z' && c != 'I' && c != 'U' && c != 'V') || c == '[') << i;
  }
}

TEST(ChineseInitials, Level1AndLevel2CharactersBecomeInitialsOtherTextStays) {
  // 中国 (level 1), 亍 (first level-2 character, row 56 cell 1), 齄 (last, row 87 cell 94).
  EXPECT_EQ(convert_chinese_initials("\xe4\xb8\xad\xe5\x9b\xbd"), "ZG");
  EXPECT_EQ(convert_chinese_initials("\xe4\xba\x8d"), "C");
  EXPECT_EQ(convert_chinese_initials("\xe9\xbd\x84"), "Z");
  EXPECT_EQ(convert_chinese_initials("\xe5\x95\x8a"), "A");  // 啊, the first level-1 character
  EXPECT_EQ(convert_chinese_initials("\xe5\xba\xa7"), "Z");  // 座, the last one
  EXPECT_EQ(convert_chinese_initials("abc 123 \xc3\xa9"), "abc 123 \xc3\xa9");
  EXPECT_EQ(convert_chinese_initials("\xef\xbc\x81"), "\xef\xbc\x81");  // full-width "!" is no character
  EXPECT_EQ(convert_chinese_initials(""), "");
}

TEST(ChineseInitials, CharactersOutsideGb2312KeepTheirNeighboursIntact) {
  // A code page 936 character whose trail byte lies in the GB2312 range must not pair
  // its trail byte with the next character's lead byte.
  std::u16string outside = kit::text::cp936_to_utf16("\x81\xB0");
  ASSERT_EQ(outside.size(), 1u);
  std::string text = kit::text::utf16_to_utf8(outside) + "\xe5\x95\x8a";  // + 啊
  EXPECT_EQ(convert_chinese_initials(text), kit::text::utf16_to_utf8(outside) + "A");
}

TEST(Cp936ByteCount, ChineseCharactersTakeTwoBytes) {
  EXPECT_EQ(cp936_byte_count("\xe4\xb8\xad\xe6\x96\x87" "a"), 5u);
  EXPECT_EQ(cp936_byte_count(""), 0u);
  EXPECT_EQ(cp936_byte_count("\xf0\x9f\x98\x80"), 1u);  // no such character: one "?"
}

TEST(UrlDecode, EscapesDecodedAndBrokenEscapesKept) {
  EXPECT_EQ(url_decode("a%20b%41"), "a bA");
  EXPECT_EQ(url_decode("plain text"), "plain text");
  EXPECT_EQ(url_decode("%e4%b8%ad"), "\xe4\xb8\xad");
  EXPECT_EQ(url_decode("a%zzb"), "a%zzb");
  EXPECT_EQ(url_decode("100%"), "100%");
  EXPECT_EQ(url_decode("x%4"), "x%4");
  EXPECT_EQ(url_decode("a%00b"), "ab");
  EXPECT_EQ(url_decode("%%41"), "%%41");
}

TEST(CommandSwitches, NamesValuesAndQuotedValues) {
  auto m = parse_switches(u"C:\\app.exe -type:3 -path:/files/a.txt -silent /name:\"two words\" -e: -:x -type:9");
  EXPECT_TRUE(m[u"type"] == u"3");  // the first value stays
  EXPECT_TRUE(m[u"path"] == u"/files/a.txt");
  EXPECT_TRUE(m[u"silent"].empty());
  EXPECT_TRUE(m[u"name"] == u"two words");
  EXPECT_TRUE(m[u"e"].empty());
  EXPECT_EQ(m.size(), 5u);  // an empty name is ignored

  auto open_quote = parse_switches(u"app -v:\"to the end");
  EXPECT_TRUE(open_quote[u"v"] == u"to the end");
  EXPECT_TRUE(parse_switches(u"app -").empty());
}

TEST(CommandSwitches, ProgramPathStartsASwitchOnlyAtADash) {
  auto m = parse_switches(u"/opt/my-files/bin/app -open:x");
  EXPECT_EQ(m.size(), 2u);
  EXPECT_TRUE(m.count(u"files/bin/app"));
  EXPECT_TRUE(m[u"open"] == u"x");
  EXPECT_EQ(parse_switches(u"/opt/app/bin/app").size(), 0u);
  auto quoted = parse_switches(u"\"/opt/a b/app\" /x:1");
  EXPECT_EQ(quoted.size(), 1u);
  EXPECT_TRUE(quoted[u"x"] == u"1");
}

TEST(CommandSwitches, StartTypeIsTheLowByteOfTheLeadingInteger) {
  EXPECT_EQ(start_type_of(u"3"), 3);
  EXPECT_EQ(start_type_of(u"  +12abc"), 12);
  EXPECT_EQ(start_type_of(u"256"), 0);
  EXPECT_EQ(start_type_of(u"257"), 1);
  EXPECT_EQ(start_type_of(u"-1"), 255);
  EXPECT_EQ(start_type_of(u"x"), 0);
  EXPECT_EQ(start_type_of(u""), 0);
}
