// One set of protocol cases, run against every agent: the stand-in agent-sim, the agent
// serving the same data set, the agent on a fake Android phone, and the arm64 agent under
// qemu-user. What differs between them (what a real phone can do) is asked in the cases
// that know it; the formats never differ.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "support/agent_client.h"
#include "common/agent_protocol.h"
#include "support/phone_agents.h"

using namespace conformance;
using testsupport::agent_kind;
namespace msg = kit::agent::msg;

namespace {

enum field { U8, U16, U32, U64, STR };

// Record layouts of the list replies.
const std::map<uint16_t, std::vector<field>> kLayouts = {
    {msg::kMusicList, {U32, STR, STR, STR, U32, U64, U16}},
    {msg::kPictureList, {U32, STR, U32, U64}},
    {msg::kVideoList, {U32, STR, U64}},
    {msg::kDocumentList, {STR, U64, U16}},
    {msg::kAppList, {U32, U16, STR, STR, STR, STR, U64}},
    {msg::kContactList, {STR, STR, STR}},
    {msg::kRingtoneList, {STR, U16, U64}},
    {msg::kSmsList, {STR, STR, STR, U16, U32, U32, U16}},
    {msg::kRecordingList, {STR, U8}},
    {msg::kDownloadList, {STR, U8}},
    {msg::kScreenshotList, {STR, U8}},
    {msg::kCacheFileList, {STR, U8}},
    {msg::kFolderList, {U8, STR, STR}},
    {msg::kBackupFileList, {STR, U8}},
};

bool read_fields(reader& r, const std::vector<field>& layout) {
  for (field f : layout) {
    switch (f) {
      case U8: r.u8(); break;
      case U16: r.u16(); break;
      case U32: r.u32(); break;
      case U64: r.u64(); break;
      case STR: r.str(); break;
    }
  }
  return r.ok();
}

// Deterministic file bytes, made and checked in pieces so that 200 MiB never sit in memory.
std::string piece(uint64_t offset, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    uint64_t x = (offset + i) * 0x9E3779B97F4A7C15ull;
    s[i] = static_cast<char>(x >> 56);
  }
  return s;
}

class Conformance : public ::testing::TestWithParam<agent_kind> {
protected:
  void SetUp() override {
    if (std::string why = testsupport::agent_unavailable(GetParam()); !why.empty()) GTEST_SKIP() << why;
    if (GetParam() == agent_kind::agent_phone || GetParam() == agent_kind::agent_arm64)
      phone_ = std::make_unique<testsupport::fake_phone>();
    ports_ = testsupport::free_agent_ports();
    agent_ = testsupport::start_agent(GetParam(), ports_, logs_, phone_.get());
  }
  bool on_phone() const { return phone_ != nullptr; }

  // Records of a list reply, checked frame by frame; -1 when the reply is malformed.
  long list_records(uint16_t type) {
    auto frames = ask(ports_.request, type);
    if (frames.empty()) return ADD_FAILURE() << "no reply to " << type, -1;
    long records = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
      const frame& f = frames[i];
      EXPECT_EQ(f.type, type);
      reader r(f.payload);
      uint8_t status = r.u8();
      bool last = i + 1 == frames.size();
      if (last) {
        EXPECT_EQ(status, 2) << "list " << type << " must end with status 2";
        if (type == msg::kFolderList) r.u64();  // the bytes in use
        EXPECT_TRUE(r.ok() && r.done()) << "end frame of " << type;
        continue;
      }
      EXPECT_EQ(status, 0) << "list " << type;
      int in_frame = 0;
      while (!r.done()) {
        if (!read_fields(r, kLayouts.at(type))) return ADD_FAILURE() << "torn record in list " << type, -1;
        ++records, ++in_frame;
      }
      EXPECT_LE(in_frame, static_cast<int>(kit::agent::kRecordsPerFrame));
    }
    return records;
  }

  void push(const std::string& destination, uint64_t size, bool expect_ack = true) {
    agent_connection c(ports_.push);
    ASSERT_TRUE(c.connected());
    std::string header;
    header.push_back(static_cast<char>(kit::agent::transfer::kPushCommon));
    header.push_back(0);
    header += le32(static_cast<uint32_t>(4 + destination.size() + size)) + le_str(destination);
    ASSERT_TRUE(c.send(header));
    for (uint64_t done = 0; done < size;) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, 1 << 20));
      if (!c.send(piece(done, n))) break;  // an agent that refuses may hang up early
      done += n;
    }
    auto ack = c.read_bytes(1);
    if (expect_ack) {
      ASSERT_TRUE(ack.has_value()) << "no acknowledgement for " << destination;
      EXPECT_EQ((*ack)[0], 1);
    } else {
      EXPECT_FALSE(ack.has_value()) << destination << " was acknowledged";
    }
  }

  // Pulls a file and checks its bytes against piece(); returns the announced length.
  int64_t pull_and_check(agent_connection& c, const std::string& path) {
    if (!c.send_request(kit::agent::transfer::kPullFile, le_str(path))) return -1;
    auto h = c.read_bytes(6);
    if (!h) return -1;
    reader r(*h);
    EXPECT_EQ(r.u16(), kit::agent::transfer::kPullFile);
    uint32_t length = r.u32();
    for (uint64_t done = 0; done < length;) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(length - done, 1 << 20));
      auto got = c.read_bytes(n);
      if (!got) return ADD_FAILURE() << "pull of " << path << " ended early", -1;
      if (*got != piece(done, n)) return ADD_FAILURE() << "pull of " << path << " differs near " << done, -1;
      done += n;
    }
    return length;
  }

  testsupport::temp_dir logs_;
  std::unique_ptr<testsupport::fake_phone> phone_;
  testsupport::agent_ports ports_;
  std::unique_ptr<testsupport::child_process> agent_;
};

TEST_P(Conformance, ListsComeInFramesOfWholeRecordsAndEnd) {
  for (const auto& [type, layout] : kLayouts) {
    SCOPED_TRACE(type);
    long n = list_records(type);
    EXPECT_GE(n, 0);
    if (type == msg::kSmsList) {
      EXPECT_EQ(n, 320);
    } else if (type == msg::kContactList) {
      EXPECT_EQ(n, 60);
    }
  }
  // One thread of the data set: fewer messages, all of that thread.
  auto frames = ask(ports_.request, msg::kSmsList, le32(3));
  ASSERT_FALSE(frames.empty());
  for (size_t i = 0; i + 1 < frames.size(); ++i) {
    reader r(frames[i].payload);
    r.u8();
    while (!r.done()) {
      r.str(), r.str(), r.str(), r.u16(), r.u32();
      EXPECT_EQ(r.u32(), 3u);
      r.u16();
      ASSERT_TRUE(r.ok());
    }
  }
}

TEST_P(Conformance, ValuesAndStatusRepliesHaveTheirExactLayout) {
  auto count = ask(ports_.request, msg::kSmsCount, "", true);
  ASSERT_EQ(count.size(), 1u);
  reader c(count[0].payload);
  EXPECT_EQ(c.u32(), 320u);
  EXPECT_TRUE(c.ok() && c.done());

  auto summary = ask(ports_.request, msg::kDeviceSummary, "", true);
  ASSERT_EQ(summary.size(), 1u);
  reader s(summary[0].payload);
  uint32_t battery = s.u32();
  s.u32(), s.u32(), s.u64(), s.u64(), s.u64(), s.u64();
  std::string model = s.str();
  s.str();
  EXPECT_EQ(s.u32(), 320u);  // SMS
  EXPECT_EQ(s.u32(), 60u);   // contacts
  EXPECT_EQ(s.u32(), 20u);   // apps
  s.u32();
  EXPECT_TRUE(s.ok() && s.done());
  EXPECT_EQ(battery, 87u);
  EXPECT_NE(model.find("Mobrevist Demo 9"), std::string::npos);

  auto free = ask(ports_.request, msg::kFreeStorage, "", true);
  ASSERT_EQ(free.size(), 1u);
  reader f(free[0].payload);
  std::string mb = f.str();
  EXPECT_TRUE(f.ok() && f.done());
  EXPECT_FALSE(mb.empty());
  EXPECT_EQ(mb.find_first_not_of("0123456789"), std::string::npos) << mb;

  auto name = ask(ports_.request, msg::kModelName);
  ASSERT_EQ(name.size(), 2u);
  reader n(name[0].payload);
  EXPECT_EQ(n.u8(), 0);
  EXPECT_EQ(n.str(), model);
  EXPECT_EQ(name[1].payload, std::string(1, '\x02'));

  auto progress = ask(ports_.request, msg::kContactBackupProgress);
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress.back().payload, std::string(1, '\x02'));

  // An unknown type: one empty frame of the same type.
  auto unknown = ask(ports_.request, 999, "", true);
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].type, 999);
  EXPECT_TRUE(unknown[0].payload.empty());
}

TEST_P(Conformance, ChangesAreConfirmedOnlyWhenMade) {
  auto added = ask(ports_.request, msg::kAddContact, le_str("Zoë 测试") + le_str("+8613800009999"));
  ASSERT_EQ(added.size(), 2u);
  reader a(added[0].payload);
  EXPECT_EQ(a.u8(), 0);
  std::string id = a.str();
  EXPECT_EQ(a.str(), "Zoë 测试");
  EXPECT_EQ(a.str(), "+8613800009999");
  EXPECT_EQ(list_records(msg::kContactList), 61);

  auto first = ask(ports_.request, msg::kDeleteContact, le_str(id), true);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].payload, std::string(1, '\x01'));
  auto again = ask(ports_.request, msg::kDeleteContact, le_str(id), true);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].payload, std::string(1, '\x00'));
  auto no_sms = ask(ports_.request, msg::kDeleteSms, le32(999999), true);
  ASSERT_EQ(no_sms.size(), 1u);
  EXPECT_EQ(no_sms[0].payload, std::string(1, '\x00'));

  // A sent SMS: status 1 with the stored message where the agent sends it itself, status 0
  // with the number where the phone's messaging app opens instead.
  auto sent = ask(ports_.request, msg::kSendSms, le_str("10086") + le_str("hello"));
  ASSERT_EQ(sent.size(), 2u);
  reader r(sent[0].payload);
  uint8_t status = r.u8();
  EXPECT_EQ(r.str(), "10086");
  if (status == 1) r.str(), r.str(), r.u16(), r.u32(), r.u32(), r.u16();
  EXPECT_TRUE(r.ok() && r.done());
  EXPECT_EQ(status, on_phone() ? 0 : 1);
  EXPECT_EQ(sent[1].payload, std::string(1, '\x02'));
}

// A file of shared storage is deleted once, and leaves its list; folders, paths outside
// shared storage and paths that climb out are refused. A new folder is made once.
TEST_P(Conformance, FilesAreDeletedAndFoldersMadeOnlyWhereAllowed) {
  auto value = [&](uint16_t type, const std::string& path) {
    auto reply = ask(ports_.request, type, le_str(path), true);
    return reply.size() == 1 ? reply[0].payload : std::string("no single frame");
  };
  const std::string yes(1, '\x01'), no(1, '\x00');
  auto pictures = ask(ports_.request, msg::kPictureList);
  ASSERT_GE(pictures.size(), 2u);
  reader first(pictures[0].payload);
  first.u8(), first.u32();
  const std::string photo = first.str();
  const long before = list_records(msg::kPictureList);

  EXPECT_EQ(value(msg::kDeleteFile, photo), yes) << photo;
  EXPECT_EQ(value(msg::kDeleteFile, photo), no) << "deleted twice";
  EXPECT_EQ(list_records(msg::kPictureList), before - 1);
  if (on_phone()) {
    EXPECT_FALSE(std::filesystem::exists(phone_->root() + photo));
  }
  for (const char* refused : {"/sdcard/DCIM", "/system/media/audio/ringtones/Bell.ogg", "/sdcard/../system/build.prop",
                              "sdcard/Documents/notes.txt", ""})
    EXPECT_EQ(value(msg::kDeleteFile, refused), no) << refused;

  const std::string folder = "/sdcard/Documents/新建 folder";
  EXPECT_EQ(value(msg::kMakeFolder, folder), yes);
  EXPECT_EQ(value(msg::kMakeFolder, folder), no) << "made twice";
  if (on_phone()) {
    EXPECT_TRUE(std::filesystem::is_directory(phone_->root() + folder));
  }
  for (const char* refused : {"/sdcard/../made", "/system/made", "/sdcard/DCIM"})
    EXPECT_EQ(value(msg::kMakeFolder, refused), no) << refused;
}

TEST_P(Conformance, NotificationsFollowTheHello) {
  agent_connection c(ports_.notify);
  ASSERT_TRUE(c.connected());
  ASSERT_TRUE(c.send_request(msg::kConnect));
  auto first = c.read_frame();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->type, kit::agent::notify::kBattery);
  reader r(first->payload);
  EXPECT_NE(r.str().find("87%"), std::string::npos);
  EXPECT_TRUE(r.ok() && r.done());
}

TEST_P(Conformance, PushedFilesPullBackByteIdentical) {
  const uint64_t sizes[] = {0, 1, 511999, 512000, 512001, 200ull << 20};
  agent_connection puller(ports_.pull);
  ASSERT_TRUE(puller.connected());
  for (uint64_t size : sizes) {
    SCOPED_TRACE(size);
    std::string path = "/sdcard/Download/conformance " + std::to_string(size) + " 文件.bin";
    push(path, size);
    EXPECT_EQ(pull_and_check(puller, path), static_cast<int64_t>(size));
  }
  // Nothing to send: length 0, and the connection still serves the next request.
  EXPECT_EQ(pull_and_check(puller, "/sdcard/Download/never pushed.bin"), 0);
  EXPECT_EQ(pull_and_check(puller, "/sdcard/Download/conformance 1 文件.bin"), 1);
}

TEST_P(Conformance, PathsThatClimbOutAreNotStored) {
  push("/sdcard/../../etc/conformance.bin", 1000, false);
  push("/sdcard/Download/../../../conformance.bin", 10, false);
  agent_connection puller(ports_.pull);
  EXPECT_EQ(pull_and_check(puller, "/sdcard/../../etc/conformance.bin"), 0);
}

// An app's icon is a picture: on a phone the one in the app's package file (the fake phone's
// packages hold a 48-pixel and a 24-pixel one), from agent-sim one of its own. A video's
// thumbnail is the one the phone's media store keeps (the fake phone keeps one of every
// other video), a song's cover the one in its tags; from agent-sim they are of its own.
// Anything else answers nothing.
TEST_P(Conformance, IconsAndVideoThumbnailsArePicturesOrNothing) {
  agent_connection c(ports_.pull);
  ASSERT_TRUE(c.connected());
  auto picture = [&](uint16_t type, const std::string& subject) -> std::string {
    if (!c.send_request(type, le_str(subject))) return "no request";
    auto h = c.read_bytes(6);
    if (!h) return "no reply";
    reader r(*h);
    EXPECT_EQ(r.u16(), type);
    uint32_t length = r.u32();
    if (length == 0) return "";
    auto bytes = c.read_bytes(length);
    return bytes ? *bytes : "cut short";
  };
  const bool none = GetParam() == agent_kind::agent_fixture;  // no package files, no media store
  const std::string png("\x89PNG\r\n\x1a\n", 8);
  auto width = [](uint32_t w) { return std::string{0, 0, 0, static_cast<char>(w)}; };
  using kit::agent::transfer::kPullIcon, kit::agent::transfer::kPullVideoThumbnail,
      kit::agent::transfer::kPullCompressedPicture;
  const struct {
    uint16_t type;
    std::string subject;
    uint32_t width;  // 0: no picture
  } cases[] = {
      {kPullIcon, "com.example.chat", none ? 0u : 48u},
      {kPullIcon, "com.example.not.installed", 0},
      {kPullIcon, "../../etc/passwd", 0},
      {kPullVideoThumbnail, "/sdcard/DCIM/Camera/生日派对 🎂 1.mp4", none ? 0u : 64u},
      {kPullVideoThumbnail, "/sdcard/DCIM/Camera/Beach trip 2.mp4", none || on_phone() ? 0u : 64u},
      {kPullVideoThumbnail, "/sdcard/DCIM/Camera/none.mp4", 0},
      {kPullVideoThumbnail, "/sdcard/x' OR '1'='1", 0},
      {kPullCompressedPicture, "/sdcard/Music/小周/风铃 1.mp3", none ? 0u : 64u},  // a song's cover
      {kPullCompressedPicture, "/sdcard/Music/none.mp3", 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.subject);
    const std::string got = picture(k.type, k.subject);
    if (k.width == 0) {
      EXPECT_EQ(got, "");
      continue;
    }
    ASSERT_GT(got.size(), 24u);
    EXPECT_EQ(got.substr(0, 8), png);
    EXPECT_EQ(got.substr(16, 4), width(k.width)) << "the picture's width";
  }
}

TEST_P(Conformance, AHostLeavingMidReplyDoesNotStopTheAgent) {
  {
    agent_connection c(ports_.request);
    ASSERT_TRUE(c.send_request(msg::kSmsList));
    ASSERT_TRUE(c.read_frame().has_value());
  }  // closed after one frame of eight
  {
    agent_connection c(ports_.request);
    ASSERT_TRUE(c.send("\x2f\x00\x05"));  // half a header, then gone
  }
  auto count = ask(ports_.request, msg::kSmsCount, "", true);
  ASSERT_EQ(count.size(), 1u);
  EXPECT_EQ(reader(count[0].payload).u32(), 320u);
}

INSTANTIATE_TEST_SUITE_P(Agents, Conformance,
                         ::testing::Values(agent_kind::sim, agent_kind::agent_fixture, agent_kind::agent_phone,
                                           agent_kind::agent_arm64),
                         [](const auto& info) { return std::string(testsupport::agent_kind_name(info.param)); });

} // namespace
