// The XML document model: parsing, queries, building and the serialised form.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>

#include "common/text_convert.h"
#include "common/xml_document.h"
#include "support/temp_dir.h"

using namespace kit::xml;
using kit::text::utf16_to_utf8;

namespace {
ref_ptr<xml_element> parse(const std::string& text) {
  xml_dom_parser parser;
  if (!parser.parse_buffer(text.data(), static_cast<long>(text.size()))) return nullptr;
  return parser.root();
}
} // namespace

TEST(XmlSerialise, AttributesSortedSingleQuotedWithTrailingBlank) {
  auto node = xml_element::create(u"node");
  node->set_attribute(u"title", u"y");
  node->set_attribute(u"date", u"x");
  EXPECT_EQ(node->serialize(), "<node  date='x'  title='y' />");
  EXPECT_EQ(xml_element::create(u"Root")->serialize(), "<Root />");

  node->set_attribute(u"title", u"z");  // replaces, one value per name
  EXPECT_EQ(node->serialize(), "<node  date='x'  title='z' />");
}

TEST(XmlSerialise, EscapesEntitiesAndControlCharacters) {
  auto e = xml_element::create(u"a");
  e->append_text(u"x\t<y>&\"'\n\x01");
  e->set_attribute(u"v", u"a'b&c");
  EXPECT_EQ(e->serialize(), "<a  v='a&apos;b&amp;c' >x&#09;&lt;y&gt;&amp;&quot;&apos;&#10;&#01;</a>");
  EXPECT_GE(e->serialized_size_bound(), e->serialize().size());
}

TEST(XmlSerialise, NestedTreeRoundTripsThroughSaveAndParseFile) {
  testsupport::temp_dir dir;
  auto root = xml_element::create(u"Root");
  auto child = xml_element::create(u"item");
  child->set_attribute(u"name", u"\u4e2d\u6587 & more");
  child->append_text(u"body");
  root->append_child(child.get());
  root->append_child(xml_element::create(u"empty").get());
  std::string path = dir.path() + "/out.xml";
  ASSERT_TRUE(root->save(path));
  const std::string expected = "<Root ><item  name='\xe4\xb8\xad\xe6\x96\x87 &amp; more' >body</item><empty /></Root>";
  EXPECT_EQ(testsupport::read_file(path), expected);

  xml_dom_parser parser;
  ASSERT_TRUE(parser.parse_file(path));
  auto back = parser.root();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->serialize(), expected);
  auto doc = back->document();
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->file_name(), path);
  EXPECT_EQ(doc->root().get(), back.get());
  // Every element of a parsed file knows its document.
  EXPECT_EQ(back->child_at(0)->document().get(), doc.get());
  EXPECT_FALSE(xml_element::create(u"x")->save(dir.path() + "/missing/dir/out.xml"));
}

TEST(XmlParse, MixedContentKeepsOneTextPerElement) {
  auto root = parse("<r>a<child>in</child>b<c2/>c</r>");
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->text() == u"abc");
  EXPECT_EQ(root->child_count(), 2u);
  EXPECT_TRUE(root->child_at(0)->text() == u"in");
  EXPECT_FALSE(root->child_at(1)->has_text());
  EXPECT_TRUE(root->child_at(1)->text().empty());
  EXPECT_FALSE(root->child_at(2));
  EXPECT_EQ(root->child_at(0)->parent(), root.get());
  // Text written back ahead of the children.
  EXPECT_EQ(root->serialize(), "<r >abc<child >in</child><c2 /></r>");
}

TEST(XmlParse, QueriesAreCaseSensitiveAndMissingNamesGiveNull) {
  auto root = parse("<Devices><Device id='1' Name='x'/><device id='2'/></Devices>");
  ASSERT_TRUE(root);
  auto first = root->first_child_named(u"Device");
  ASSERT_TRUE(first);
  EXPECT_TRUE(*first->attribute(u"id") == u"1");
  EXPECT_EQ(first->attribute(u"name"), nullptr);
  EXPECT_TRUE(*root->first_child_named(u"device")->attribute(u"id") == u"2");
  EXPECT_FALSE(root->first_child_named(u"DEVICE"));
  EXPECT_EQ(root->attribute(u"id"), nullptr);  // no attribute list at all
  // Character references and entities come back decoded.
  auto text = parse("<a>x&#9;&lt;&amp;&#x4e2d;</a>");
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->text() == u"x\t<&\u4e2d");
}

TEST(XmlParse, Gb2312DocumentsDecodeThroughCodePage936) {
  // "中文" in GB2312 is D6 D0 CE C4.
  std::string doc = "<?xml version='1.0' encoding='gb2312'?><r t='\xD6\xD0'>\xD6\xD0\xCE\xC4 ok</r>";
  auto root = parse(doc);
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->text() == u"\u4e2d\u6587 ok");
  EXPECT_TRUE(*root->attribute(u"t") == u"\u4e2d");
  EXPECT_EQ(utf16_to_utf8(root->text()), "\xe4\xb8\xad\xe6\x96\x87 ok");

  // Only the exact lower-case name is known; other unknown encodings fail.
  EXPECT_FALSE(parse("<?xml version='1.0' encoding='GB2312'?><r>\xD6\xD0</r>"));
  EXPECT_FALSE(parse("<?xml version='1.0' encoding='x-unknown'?><r/>"));
  // A byte pair that is no character of the code page makes the document malformed.
  EXPECT_FALSE(parse("<?xml version='1.0' encoding='gb2312'?><r>\xFF\x20</r>"));
}

TEST(XmlParse, MalformedOrIncompleteInputReturnsFalseWithoutRoot) {
  for (const char* bad : {"", "<a>", "<a><b></a>", "<a></a><b/>", "<a x='1' x='2'/>", "text", "<a>&bogus;</a>",
                          "<a\x01/>", "<?xml version='1.0'?>"}) {
    xml_dom_parser parser;
    EXPECT_FALSE(parser.parse_buffer(bad, static_cast<long>(std::strlen(bad)))) << bad;
    EXPECT_FALSE(parser.root()) << bad;
  }
  xml_dom_parser parser;
  EXPECT_TRUE(parser.parse_buffer("<ok/>", -1));  // NUL-terminated
  EXPECT_TRUE(parser.root());
  EXPECT_FALSE(parser.parse_file("/nonexistent/file.xml"));
  EXPECT_FALSE(parser.root());
}

TEST(XmlParse, AbsurdNestingIsRefusedInsteadOfExhaustingTheStack) {
  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<a>";
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
  };
  auto ok = parse(nested(1024));
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->serialize().size(), 1023 * 8 + 5u);  // "<a >" ... "<a />" ... "</a>"
  EXPECT_FALSE(parse(nested(1025)));
  EXPECT_FALSE(parse(nested(200000)));
}

TEST(XmlParse, FileLargerThanOneBlockParses) {
  testsupport::temp_dir dir;
  std::string text = "<list>";
  for (int i = 0; i < 3000; ++i) text += "<i n='" + std::to_string(i) + "'>value</i>";
  text += "</list>";
  ASSERT_GT(text.size(), 3u * 16384);
  std::string path = dir.path() + "/big.xml";
  std::ofstream(path, std::ios::binary) << text;
  xml_dom_parser parser;
  ASSERT_TRUE(parser.parse_file(path));
  auto root = parser.root();
  ASSERT_EQ(root->child_count(), 3000u);
  EXPECT_TRUE(*root->child_at(2999)->attribute(u"n") == u"2999");
  EXPECT_EQ(root->serialize().size(), text.size() + 3000 * 2 + 1);  // "<i  n='..' >" and "<list >"

  // A file cut short is not accepted.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text.substr(0, text.size() - 3);
  EXPECT_FALSE(parser.parse_file(path));
}

TEST(XmlTree, TreesOutliveTheirParserAndRefuseCycles) {
  ref_ptr<xml_element> child;
  {
    xml_dom_parser parser;
    ASSERT_TRUE(parser.parse_buffer("<a><b><c/></b></a>", -1));
    child = parser.root()->first_child_named(u"b");
  }
  ASSERT_TRUE(child);
  EXPECT_EQ(child->child_count(), 1u);
  auto grandchild = child->child_at(0);
  EXPECT_FALSE(grandchild->append_child(child.get()));  // would make a cycle
  EXPECT_FALSE(child->append_child(child.get()));
  EXPECT_EQ(grandchild->child_count(), 0u);
}

// Hostile inputs (entity expansion bombs, cut-short code page pairs, nesting past the limit,
// and whatever the fuzzer turns up): each is refused or yields a tree whose serialised form
// reads back to the same text.
TEST(XmlParse, HostileInputsAreRefusedOrRoundTrip) {
  auto folder = std::filesystem::path(MOBREVIST_TESTS_DIR) / "common/xml_fuzz_regressions";
  ASSERT_TRUE(std::filesystem::exists(folder));
  int refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string data = testsupport::read_file(entry.path().string());
    xml_dom_parser parser;
    if (!parser.parse_buffer(data.data(), static_cast<long>(data.size()))) {
      EXPECT_FALSE(parser.root());
      ++refused;
      continue;
    }
    std::string text = parser.root()->serialize();
    auto again = parse(text);
    ASSERT_TRUE(again) << entry.path();
    EXPECT_EQ(again->serialize(), text) << entry.path();
  }
  EXPECT_GE(refused, 3);
}
