// Importing address books: files in the shapes other programs write them, and broken ones.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "backup/csv_reader.h"
#include "backup/text_encoding.h"
#include "common/text_convert.h"
#include "support/peak_memory.h"
#include "support/temp_dir.h"

using namespace kit::backup;
using kit::backup::contact_record;

namespace {

// The header of a typical desktop address-book export: thirty-odd columns, the name in
// "First Name" and the mobile number in "Mobile Phone".
const std::u16string kHeader =
    u"First Name,Middle Name,Last Name,Title,Suffix,Initials,Web Page,Gender,Birthday,Anniversary,"
    u"Location,Language,Internet Free Busy,Notes,E-mail Address,E-mail 2 Address,E-mail 3 Address,"
    u"Primary Phone,Home Phone,Home Phone 2,Mobile Phone,Pager,Home Fax,Home Address,Home Street,"
    u"Home Street 2,Home City,Home State,Home Postal Code,Home Country,Company,Department";

// A row of that export with name and number in their columns and notes in column 13.
std::u16string row(const std::u16string& name, const std::u16string& number, const std::u16string& notes = u"") {
  std::u16string line;
  for (int i = 0; i < 32; ++i) {
    if (i) line += u',';
    if (i == 0) line += name;
    if (i == 2) line += u"Family";
    if (i == 13) line += notes;
    if (i == 20) line += number;
  }
  return line;
}

std::u16string address_book(const std::u16string& eol) {
  return kHeader + eol + row(u"张伟", u"+86 138 0000 1111") + eol + row(u"Ann", u"5550100") + eol +
         row(u"李娜", u"010-60000000") + eol;
}

const std::vector<contact_record> kBook = {
    {"张伟", "+86 138 0000 1111"}, {"Ann", "5550100"}, {"李娜", "010-60000000"}};

std::string utf16le(const std::u16string& text, bool mark) {
  std::string bytes = mark ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::string utf16be(const std::u16string& text) {
  std::string bytes = "\xFE\xFF";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xFF));
  }
  return bytes;
}

std::string utf8(const std::u16string& text) { return kit::text::utf16_to_utf8(text); }

} // namespace

TEST(CsvImport, AddressBookExportsInEveryEncodingGiveTheSameContacts) {
  EXPECT_EQ(contacts_from_csv(utf16le(address_book(u"\r\n"), true)), kBook);
  EXPECT_EQ(contacts_from_csv(utf16le(address_book(u"\r\n"), false)), kBook);
  EXPECT_EQ(contacts_from_csv(utf16be(address_book(u"\r\n"))), kBook);
  EXPECT_EQ(contacts_from_csv("\xEF\xBB\xBF" + utf8(address_book(u"\r\n"))), kBook);
  EXPECT_EQ(contacts_from_csv(utf8(address_book(u"\n"))), kBook);  // no mark, Chinese names
  EXPECT_EQ(contacts_from_csv(kit::text::utf16_to_cp936(address_book(u"\r\n"))), kBook);  // GBK, no mark
}

TEST(CsvImport, EncodingIsRecognisedInItsOrder) {
  EXPECT_EQ(detect_text_encoding("\xEF\xBB\xBFhi"), text_encoding::utf8_marked);
  EXPECT_EQ(detect_text_encoding("\xFF\xFEh\0"), text_encoding::utf16le_marked);
  EXPECT_EQ(detect_text_encoding("\xFE\xFF\0h"), text_encoding::utf16be_marked);
  EXPECT_EQ(detect_text_encoding(std::string("a\0,\0b\0", 6)), text_encoding::utf16le);
  EXPECT_EQ(detect_text_encoding("caf\xC3\xA9"), text_encoding::utf8);
  EXPECT_EQ(detect_text_encoding("plain ascii"), text_encoding::ansi);
  EXPECT_EQ(detect_text_encoding("caf\xE9"), text_encoding::ansi);           // Latin-1, not UTF-8
  EXPECT_EQ(detect_text_encoding("\xED\xA0\x80"), text_encoding::ansi);      // a UTF-8 surrogate
  EXPECT_EQ(detect_text_encoding("\xC0\xAF"), text_encoding::ansi);          // an overlong form
  EXPECT_EQ(detect_text_encoding("\xE5\xBC"), text_encoding::ansi);          // a cut sequence
  EXPECT_EQ(detect_text_encoding(std::string("\0\0ab", 4)), text_encoding::ansi);  // U+0000 is no text
  // Even-length double-byte text has no zero byte, so it is never taken for UTF-16.
  EXPECT_EQ(detect_text_encoding(kit::text::utf16_to_cp936(u"张伟,李娜")), text_encoding::ansi);
  // A dangling odd byte of marked UTF-16 is dropped.
  EXPECT_EQ(decode_text(std::string("\xFF\xFE" "a\0b", 5)), u"a");
}

TEST(CsvImport, QuotedCellsHoldCommasDoubledQuotesAndLineBreaks) {
  std::string text =
      "Mobile Phone,Notes,First Name\r\n"
      "\"555, ext. 1\",\"said \"\"hi\"\"\nthen left\",\"Smith, Ann\"\r\n"
      "\"1\"\"2\",\"a\r\nb\",Bob\r\n";
  std::vector<contact_record> expected = {{"Smith, Ann", "555, ext. 1"}, {"Bob", "1\"2"}};
  EXPECT_EQ(contacts_from_csv(text), expected);
  auto records = parse_csv(kit::text::utf8_to_utf16(text));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][1], u"said \"hi\"\nthen left");
  EXPECT_EQ(records[2][1], u"a\r\nb");
}

TEST(CsvImport, CellRulesAndShortRows) {
  // Name at 0, number at 2: "Ann" quoted, an empty cell and 5; a lone "Ann," is one cell.
  std::string text = "first name,x,MOBILE PHONE\n\"Ann\",,5\nAnn,\nBo,b,7,\n\"C\"d,,8\n";
  std::vector<contact_record> expected = {{"Ann", "5"}, {"Bo", "7"}, {"Cd", "8"}};
  EXPECT_EQ(contacts_from_csv(text), expected);
  auto records = parse_csv(u"a,\n,\n\n\"\",x");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], (csv_record{u"a"}));
  EXPECT_EQ(records[1], (csv_record{u""}));
  EXPECT_TRUE(records[2].empty());
  EXPECT_EQ(records[3], (csv_record{u"", u"x"}));
}

TEST(CsvImport, LastColumnOfARepeatedNameCounts) {
  std::string text = "First Name,Mobile Phone,first name,mobile phone\r\nA,1,B,2\r\nC,3\r\n";
  EXPECT_EQ(contacts_from_csv(text), (std::vector<contact_record>{{"B", "2"}}));
}

TEST(CsvImport, HeaderOnlyEmptyAndHeaderlessFiles) {
  EXPECT_EQ(contacts_from_csv(utf16le(kHeader + u"\r\n", true)), std::vector<contact_record>{});
  EXPECT_EQ(contacts_from_csv(utf8(kHeader)), std::vector<contact_record>{});
  EXPECT_EQ(contacts_from_csv(""), std::nullopt);
  EXPECT_EQ(contacts_from_csv("\xEF\xBB\xBF"), std::nullopt);
  EXPECT_EQ(contacts_from_csv("Name,Phone\nAnn,5\n"), std::nullopt);
  EXPECT_EQ(contacts_from_csv("First Name\nAnn\n"), std::nullopt);
}

TEST(CsvImport, UnclosedQuoteEndsTheCellAtTheEndOfItsLine) {
  EXPECT_EQ(contacts_from_csv("First Name,Mobile Phone\nAnn,5\nBob,\"6\n"),
            (std::vector<contact_record>{{"Ann", "5"}, {"Bob", "6"}}));
  EXPECT_EQ(contacts_from_csv("First Name,Mobile Phone\r\n\"Ann,5\r\nBob,6"),
            (std::vector<contact_record>{{"Bob", "6"}}));
  EXPECT_EQ(parse_csv(u"\""), (std::vector<csv_record>{{u""}}));
  EXPECT_EQ(parse_csv(u"x,\"ab\r"), (std::vector<csv_record>{{u"x", u"ab"}}));
}

TEST(CsvImport, FilesThatCannotBeReadGiveNothing) {
  testsupport::temp_dir dir;
  EXPECT_EQ(read_contacts_csv_file(dir / "missing.csv"), std::nullopt);
  EXPECT_EQ(read_contacts_csv_file(dir.path()), std::nullopt);
  std::string fifo = testsupport::make_special_file(dir, "fifo.csv");
  ASSERT_FALSE(fifo.empty());
  EXPECT_EQ(read_contacts_csv_file(fifo), std::nullopt);  // returns at once, no writer needed
  testsupport::write_file(dir / "book.csv", utf16le(address_book(u"\r\n"), true));
  EXPECT_EQ(read_contacts_csv_file(dir / "book.csv"), kBook);
}

// A large export costs memory in proportion to what it gives, not to its cells: a file of
// many wide rows keeps only the two columns wanted. The text is held once as UTF-16 (twice
// the file) and the contacts' vector may double while it grows; every cell kept cost
// nearly forty times the file.
TEST(CsvImport, ALargeExportCostsLittleMoreThanItsText) {
  std::string file = "First Name,Mobile Phone";
  for (int c = 0; c < 30; ++c) file += ",Other " + std::to_string(c);
  file += "\n";
  std::string row;
  for (int i = 0; file.size() < (40u << 20); ++i) {
    row = "N" + std::to_string(i) + ",1" + std::to_string(i);
    for (int c = 0; c < 30; ++c) row += ",x";
    file += row + "\n";
  }
  long before = testsupport::peak_rss_kib();
  auto contacts = contacts_from_csv(file);
  long grown_kib = testsupport::peak_rss_kib() - before;
  ASSERT_TRUE(contacts.has_value());
  EXPECT_GT(contacts->size(), 100000u);
  EXPECT_EQ(contacts->front().name, "N0");
  if (testsupport::peak_memory_is_measurable()) {
    // AddressSanitizer's red zones and its quarantine of freed blocks about double the figure.
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kTimes = 16;
#else
    constexpr long kTimes = 6;
#endif
    EXPECT_LT(grown_kib * 1024, kTimes * long(file.size())) << grown_kib << " KiB more at the peak";
  }
}
