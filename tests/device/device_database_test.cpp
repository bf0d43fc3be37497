// Loading the device database from its archive and the two matches.
#include <gtest/gtest.h>

#include "common/text_convert.h"
#include "device/device_database.h"
#include "support/temp_dir.h"
#include "zip_builder.h"

using kit::device::CDeviceDatabase;
using kit::device::ModelEntry;

namespace {
std::string device(const std::string& id, const std::string& extra = "") {
  return "<Device><ProductId>" + id + "</ProductId>" + extra + "<Brand>B_" + id + "</Brand><Type>1</Type></Device>";
}

struct match_result {
  bool ok = false;
  std::string model, vid, pid, serial;
};

match_result match(const CDeviceDatabase& db, const std::string& instance_id) {
  const ModelEntry* model = nullptr;
  std::u16string vid, pid, serial;
  match_result r;
  r.ok = db.MatchInstanceId(kit::text::utf8_to_utf16(instance_id), &model, &vid, &pid, &serial);
  if (r.ok) {
    r.model = kit::text::utf16_to_utf8(model->productId);
    r.vid = kit::text::utf16_to_utf8(vid);
    r.pid = kit::text::utf16_to_utf8(pid);
    r.serial = kit::text::utf16_to_utf8(serial);
  }
  return r;
}

std::string storage_match(const CDeviceDatabase& db, const std::string& product) {
  const ModelEntry* model = nullptr;
  std::u16string vid;
  if (!db.MatchStorageProduct(kit::text::utf8_to_utf16(product), &model, &vid)) return "";
  return kit::text::utf16_to_utf8(model->productId) + "@" + kit::text::utf16_to_utf8(vid);
}
}  // namespace

TEST(DeviceDatabase, ShippedArchiveRecognisesTheStandInPhone) {
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadFile(CDeviceDatabase::ArchivePath(std::string(MOBREVIST_BIN_DIR) + "/")));
  auto r = match(db, "USB\\VID_18D1&PID_4EE7\\0a1b2c3d");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.model, "GOOGLE_PIXEL");
  EXPECT_EQ(r.vid, "18D1");
  EXPECT_EQ(r.pid, "4EE7");
  EXPECT_EQ(r.serial, "0a1b2c3d");
  EXPECT_EQ(db.models().at(u"GOOGLE_PIXEL").type, 1);
}

TEST(DeviceDatabase, ArchiveProblems) {
  testsupport::temp_dir dir;
  CDeviceDatabase db;
  EXPECT_FALSE(db.LoadFile(dir / "missing"));
  testsupport::write_file(dir / "empty", "");
  EXPECT_FALSE(db.LoadFile(dir / "empty"));
  EXPECT_FALSE(db.LoadArchive("this is not a zip archive at all"));

  // The entry name is found in any letter case; a missing entry is an empty database.
  std::string doc = "<R><VIDs><VID Value='18D1'/></VIDs></R>";
  EXPECT_TRUE(db.LoadArchive(devicetest::make_zip(dir / "a.zip", {{"readme", "x"}, {"MY.DT", doc}})));
  EXPECT_EQ(db.vendors().size(), 1u);
  EXPECT_TRUE(db.LoadArchive(devicetest::make_zip(dir / "b.zip", {{"other.dt", doc}})));
  EXPECT_TRUE(db.vendors().empty());
  EXPECT_TRUE(db.LoadArchive(devicetest::make_zip(dir / "c.zip", {{"my.dt", ""}})));
  EXPECT_TRUE(db.vendors().empty());

  // A document that is not well-formed fails and leaves nothing from a load before.
  EXPECT_TRUE(db.LoadDocument(doc));
  EXPECT_FALSE(db.LoadArchive(devicetest::make_zip(dir / "d.zip", {{"my.dt", "<R><VIDs></R>"}})));
  EXPECT_TRUE(db.vendors().empty());
  EXPECT_TRUE(db.models().empty());
}

TEST(DeviceDatabase, SchemaReadingRules) {
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadDocument(
      "<Anything><VIDs>"
      "<VID Value='AAAA'><PIDs><P><Value>0001</Value></P></PIDs></VID>"
      "<VID><PIDs><P><Value>0002</Value><ProductId>M1</ProductId></P></PIDs></VID>"  // no Value: skipped
      "<Other Value='BBBB'><PIDs><P><Value>0003</Value><ProductId>M1</ProductId></P></PIDs></Other>"
      "<VID Value='AAAA'><PIDs><P><Value>0004</Value><Value>0005</Value><ProductId>X</ProductId>"
      "<ProductId>M1</ProductId></P></PIDs></VID>"
      "</VIDs><VIDs><VID Value='CCCC'/></VIDs>"  // only the first VIDs counts
      "<Devices>" +
      device("M1", "<Type>  -3x</Type><Brand>first</Brand>") + device("M2") +
      "<Device><Brand>no id</Brand></Device><Model><ProductId>M3</ProductId></Model>" + device("M2", "<Type>abc</Type><Product>P2</Product>") +
      "</Devices></Anything>"));
  ASSERT_EQ(db.vendors().size(), 2u);
  // The later AAAA replaced the earlier one whole; its rule took the last ProductId.
  const auto& a = db.vendors().at(u"AAAA");
  ASSERT_EQ(a.pids.size(), 1u);
  EXPECT_EQ(a.pids[0].values, (std::vector<std::u16string>{u"0004", u"0005"}));
  EXPECT_EQ(a.pids[0].productId, u"M1");
  EXPECT_TRUE(db.vendors().at(u"BBBB").pids.empty());
  EXPECT_EQ(db.vendors().count(u"CCCC"), 0u);

  ASSERT_EQ(db.models().size(), 2u);
  const auto& m1 = db.models().at(u"M1");
  EXPECT_EQ(m1.type, -3);
  EXPECT_EQ(m1.brand, u"first");  // the first of two Brand elements
  EXPECT_EQ(db.models().at(u"M2").type, 0);
  EXPECT_EQ(db.models().at(u"M2").product, u"P2");  // the later M2 replaced the first
}

TEST(DeviceDatabase, MatchByInstanceId) {
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadDocument(
      "<R><VIDs>"
      "<VID Value='18D1'>"
      "<PIDs><P><Value>4EE7</Value><ProductId>GONE</ProductId></P>"
      "<P><Value>4EE7</Value><ProductId>BYPID</ProductId></P></PIDs>"
      "<Names><N><Value>[unclosed</Value><Value>^SER</Value><ProductId>BYSERIAL</ProductId></N>"
      "<N><Value>LATE</Value><ProductId>ANYWHERE</ProductId></N></Names>"
      "</VID>"
      "<VID Value='04e8'><PIDs><P><Value>6860</Value><ProductId>BYPID</ProductId></P></PIDs></VID>"
      "</VIDs><Devices>" +
      device("BYPID") + device("BYSERIAL") + device("ANYWHERE") + "</Devices></R>"));

  // A serial rule wins over a product-id rule; an invalid pattern is passed over.
  EXPECT_EQ(match(db, "USB\\VID_18D1&PID_4EE7\\SER123").model, "BYSERIAL");
  // Anchored patterns match only at the start, others anywhere.
  EXPECT_EQ(match(db, "USB\\VID_18D1&PID_4EE7\\XSER123").model, "BYPID");
  EXPECT_EQ(match(db, "USB\\VID_18D1&PID_4EE7\\XXLATEXX").model, "ANYWHERE");
  // A rule naming no model is skipped and the next rule still matches.
  EXPECT_EQ(match(db, "USB\\VID_18D1&PID_4EE7\\ZZZ").model, "BYPID");
  EXPECT_FALSE(match(db, "USB\\VID_18D1&PID_0001\\ZZZ").ok);
  // Vendor keys compare exactly: "04e8" never meets "VID_04E8".
  EXPECT_FALSE(match(db, "USB\\VID_04E8&PID_6860\\R58M").ok);
  EXPECT_FALSE(match(db, "USB\\ROOT_HUB30\\4&BUS1&0").ok);
  // Interface ids give the four characters after PID_ and the text after the last backslash.
  auto mi = match(db, "USB\\VID_18D1&PID_4EE7&MI_01\\6&P1_2&0&0001");
  EXPECT_EQ(mi.pid, "4EE7");
  EXPECT_EQ(mi.serial, "6&P1_2&0&0001");
}

TEST(DeviceDatabase, MatchByStorageProductName) {
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadDocument(
      "<R><VIDs>"
      "<VID Value='BBBB'><Modals><M><Value>Galaxy</Value><ProductId>LATER</ProductId></M></Modals></VID>"
      "<VID Value='AAAA'><Modals><M><Value>nothing</Value><ProductId>NONE</ProductId></M>"
      "<M><Value>GALAXY_S</Value><ProductId>FIRST</ProductId></M></Modals></VID>"
      "</VIDs><Devices>" +
      device("FIRST") + device("LATER") + "</Devices></R>"));
  // Vendors in ascending key order; containment ignores letter case.
  EXPECT_EQ(storage_match(db, "sm_galaxy_s10"), "FIRST@AAAA");
  EXPECT_EQ(storage_match(db, "my_galaxy_tab"), "LATER@BBBB");
  EXPECT_EQ(storage_match(db, ""), "");
  EXPECT_EQ(storage_match(db, "nothing_here"), "");  // its rule names no model
}

TEST(DeviceDatabase, APatternThatBacktracksWithoutEndIsPassedOver) {
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadDocument(
      "<R><VIDs><VID Value='18D1'><Names>"
      "<N><Value>^(a|aa)+(b|aab)*(a+)+$</Value><ProductId>SLOW</ProductId></N>"
      "<N><Value>!$</Value><ProductId>NEXT</ProductId></N>"
      "</Names></VID></VIDs><Devices>" +
      device("SLOW") + device("NEXT") + "</Devices></R>"));
  // Against this serial the first pattern would try more ways than there is time for; the
  // match gives up on it and the next rule decides.
  std::string serial(60, 'a');
  EXPECT_EQ(match(db, "USB\\VID_18D1&PID_0001\\" + serial + "!").model, "NEXT");
}

TEST(DeviceDatabase, AnArchiveEntryInflatingBeyondSixtyFourMebibytesIsRefused) {
  testsupport::temp_dir dir;
  CDeviceDatabase db;
  std::string doc = "<R><VIDs><VID Value='18D1'/></VIDs></R>";
  // A few hundred KiB of archive that would inflate to more than 64 MiB.
  std::string bomb = doc + std::string((size_t(64) << 20) + 1 - doc.size(), ' ');
  EXPECT_FALSE(db.LoadArchive(devicetest::make_zip(dir / "bomb.zip", {{"my.dt", bomb}})));
  EXPECT_TRUE(db.vendors().empty());
  EXPECT_TRUE(db.LoadArchive(devicetest::make_zip(dir / "fine.zip", {{"my.dt", doc}})));
  EXPECT_EQ(db.vendors().size(), 1u);
}
