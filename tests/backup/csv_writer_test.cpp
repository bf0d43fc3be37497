// Export files: the bytes a spreadsheet reads (ANSI code page, CR LF after every line).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "backup/csv_reader.h"
#include "backup/csv_writer.h"
#include "common/text_convert.h"
#include "support/temp_dir.h"

using namespace kit::backup;

TEST(CsvWriter, SmsCellsAreQuotedWithInnerQuotesDoubled) {
  std::string bytes = csv_file_bytes({"Number", "Body"}, {{"10086", "say \"hi\" to \"me\""}}, csv_quoting::every_cell);
  EXPECT_EQ(bytes, "Number,Body\r\n\"10086\",\"say \"\"hi\"\" to \"\"me\"\"\"\r\n");
}

TEST(CsvWriter, EmptyHeaderIsAnEmptyLineAndEmptyRowsStayLines) {
  EXPECT_EQ(csv_file_bytes({}, {}, csv_quoting::every_cell), "\r\n");
  EXPECT_EQ(csv_file_bytes({}, {{}, {""}}, csv_quoting::every_cell), "\r\n\r\n\"\"\r\n");
  EXPECT_EQ(csv_file_bytes({"a"}, {{}}, csv_quoting::where_needed), "a\r\n\r\n");
}

TEST(CsvWriter, LinesAreInTheAnsiCodePage) {
  std::string bytes = csv_file_bytes({"姓名", "电话"}, {{"张伟", "010-60000000"}}, csv_quoting::where_needed);
  EXPECT_EQ(bytes, kit::text::utf16_to_cp936(u"姓名,电话\r\n张伟,010-60000000\r\n"));
}

TEST(CsvWriter, FileIsCreatedAnewAndAMissingFolderIsAFailure) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir / "out.csv", std::string(100, 'x'));
  ASSERT_TRUE(write_csv_file(dir / "out.csv", {"h"}, {{"1"}}, csv_quoting::where_needed));
  EXPECT_EQ(testsupport::read_file(dir / "out.csv"), "h\r\n1\r\n");
  EXPECT_FALSE(write_csv_file(dir / "no/such/folder.csv", {"h"}, {}, csv_quoting::where_needed));
  std::string fifo = testsupport::make_special_file(dir, "fifo.csv");
  ASSERT_FALSE(fifo.empty());
  EXPECT_FALSE(write_csv_file(fifo, {"h"}, {}, csv_quoting::where_needed));  // no reader: refused at once
}

TEST(CsvWriter, ContactCellsWithSeparatorsQuotesOrLineBreaksAreQuotedAndReadBack) {
  std::vector<csv_cells> rows = {{"Smith, Ann", "555 \"home\""}, {"two\r\nlines", "cr\ronly"}, {"lf\nonly", "plain 1"}};
  std::string bytes = csv_file_bytes({"First Name", "Mobile Phone"}, rows, csv_quoting::where_needed);
  EXPECT_EQ(bytes,
            "First Name,Mobile Phone\r\n\"Smith, Ann\",\"555 \"\"home\"\"\"\r\n\"two\r\nlines\",\"cr\ronly\"\r\n"
            "\"lf\nonly\",plain 1\r\n");
  std::vector<kit::backup::contact_record> expected;
  for (const auto& row : rows) expected.push_back({row[0], row[1]});
  EXPECT_EQ(contacts_from_csv(bytes), expected);
}

TEST(CsvWriter, ContactWithAnEmptyLastCellKeepsItsRowOnImport) {
  std::vector<csv_cells> rows = {{"Ann", ""}, {"", ""}, {"", "5"}};
  std::string bytes = csv_file_bytes({"First Name", "Mobile Phone"}, rows, csv_quoting::where_needed);
  EXPECT_EQ(bytes, "First Name,Mobile Phone\r\nAnn,\"\"\r\n,\"\"\r\n,5\r\n");
  EXPECT_EQ(contacts_from_csv(bytes), (std::vector<kit::backup::contact_record>{{"Ann", ""}, {"", ""}, {"", "5"}}));
  // A one-cell row stays as given: an empty line is no cell either way.
  EXPECT_EQ(csv_line({""}, csv_quoting::where_needed), "");
}
