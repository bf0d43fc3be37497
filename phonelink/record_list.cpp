#include "phonelink/record_list.h"

#include "common/agent_protocol.h"

#include <lua.hpp>

#include "host/script_bridge.h"
#include "phonelink/script_value.h"

namespace kit::phonelink {

namespace msg = agent::msg;

enum class field_kind { u8, u16, u32, u64_integer, u64_number, string, status };

struct field {
  const char* name;
  field_kind kind;
};

struct list_layout {
  const field* fields;
  size_t count;
  // Records read only this many fields unless the status is 1 (a failed SMS carries its
  // number alone); 0: always every field.
  size_t count_unless_status_1;
};

namespace {

constexpr field kMusic[] = {{"ID", field_kind::u32},         {"Zhuanji", field_kind::string},
                            {"Singer", field_kind::string},  {"Path", field_kind::string},
                            {"Timer", field_kind::u32},      {"Size", field_kind::u64_integer},
                            {"IsRing", field_kind::u16}};
constexpr field kPicture[] = {{"ID", field_kind::u32},
                              {"FilePath", field_kind::string},
                              {"Timer", field_kind::u32},
                              {"Size", field_kind::u64_integer}};
constexpr field kVideo[] = {{"ID", field_kind::u32}, {"FilePath", field_kind::string}, {"Size", field_kind::u64_integer}};
constexpr field kDocument[] = {
    {"FilePath", field_kind::string}, {"Size", field_kind::u64_integer}, {"Location", field_kind::u16}};
constexpr field kApp[] = {{"Size", field_kind::u32},       {"Location", field_kind::u16}, {"Name", field_kind::string},
                          {"packName", field_kind::string}, {"ver", field_kind::string},    {"verCode", field_kind::string},
                          {"time", field_kind::u64_number}};
constexpr field kContact[] = {{"ID", field_kind::string}, {"Name", field_kind::string}, {"Number", field_kind::string}};
constexpr field kTypedFile[] = {{"FilePath", field_kind::string}, {"Type", field_kind::u16}, {"Size", field_kind::u64_integer}};
constexpr field kSms[] = {{"Number", field_kind::string}, {"Content", field_kind::string}, {"Date", field_kind::string},
                          {"Type", field_kind::u16},        {"ID", field_kind::u32},          {"ThreadID", field_kind::u32},
                          {"Read", field_kind::u16}};
// A sent SMS: every record tells the status first.
constexpr field kSentSms[] = {{"Success", field_kind::status}, {"Number", field_kind::string},
                              {"Content", field_kind::string},  {"Date", field_kind::string},
                              {"Type", field_kind::u16},        {"ID", field_kind::u32},
                              {"ThreadID", field_kind::u32},    {"Read", field_kind::u16}};
constexpr field kPathType[] = {{"FilePath", field_kind::string}, {"Type", field_kind::u8}};
constexpr field kFolder[] = {{"Type", field_kind::u8}, {"FileDir", field_kind::string}, {"FilePath", field_kind::string}};

template <size_t N>
constexpr list_layout layout(const field (&f)[N], size_t unless_status_1 = 0) {
  return {f, N, unless_status_1};
}

constexpr list_layout kMusicList = layout(kMusic), kPictureList = layout(kPicture), kVideoList = layout(kVideo),
                      kDocumentList = layout(kDocument), kAppList = layout(kApp), kContactList = layout(kContact),
                      kTypedFileList = layout(kTypedFile), kSmsList = layout(kSms), kSentSmsList = layout(kSentSms, 2),
                      kPathTypeList = layout(kPathType), kFolderList = layout(kFolder);

// Builds the script table of each record on the stack, the field names pushed once.
struct lua_sink {
  lua_State* L;
  const list_layout& layout;
  int keys = 0;  // stack index of the first field name
  int list = 0;  // stack index of the list

  lua_sink(lua_State* state, const list_layout& lay) : L(state), layout(lay) {
    luaL_checkstack(L, static_cast<int>(layout.count) + 8, "list records");
    lua_createtable(L, 0, 0);
    list = lua_gettop(L);
    keys = list + 1;
    for (size_t k = 0; k < layout.count; ++k) lua_pushstring(L, layout.fields[k].name);
  }
  void begin(size_t fields) { lua_createtable(L, 0, static_cast<int>(fields)); }
  void key(size_t k) { lua_pushvalue(L, keys + static_cast<int>(k)); }
  void integer(size_t k, int64_t v) {
    key(k);
    kit::script::push_int32(L, v);
    lua_rawset(L, -3);
  }
  void number(size_t k, double v) {
    key(k);
    lua_pushnumber(L, v);
    lua_rawset(L, -3);
  }
  void text(size_t k, std::string_view s) {
    key(k);
    lua_pushlstring(L, s.data(), s.size());
    lua_rawset(L, -3);
  }
  void keep(size_t index) { lua_rawseti(L, list, static_cast<int>(index)); }
  void drop() { lua_pop(L, 1); }
  // Leaves the list alone on top of the stack.
  void finish() { lua_settop(L, list); }
};

struct value_sink {
  explicit value_sink(const list_layout& lay) : layout(lay) {}
  const list_layout& layout;
  script_value list = script_value::make_list();
  script_value record;

  void begin(size_t) { record = script_value::make_record(); }
  void integer(size_t k, int64_t v) { record.set(layout.fields[k].name, script_value::int32(v)); }
  void number(size_t k, double v) { record.set(layout.fields[k].name, script_value::num(v)); }
  void text(size_t k, std::string_view s) { record.set(layout.fields[k].name, script_value::str(std::string(s))); }
  void keep(size_t) { list.items.push_back(std::move(record)); }
  void drop() {}
};

// Reads nothing anywhere: tells whether a record is complete.
struct null_sink {
  void begin(size_t) {}
  void integer(size_t, int64_t) {}
  void number(size_t, double) {}
  void text(size_t, std::string_view) {}
};

size_t field_count(const list_layout& layout, uint8_t status) {
  return layout.count_unless_status_1 && status != 1 ? layout.count_unless_status_1 : layout.count;
}

// Reads one record into the sink; false when it is cut off by the end of the payload or
// takes no bytes (then the list ends there).
template <class Sink>
bool read_record(payload_reader& r, const list_layout& layout, uint8_t status, Sink& sink) {
  const uint32_t before = r.left();
  const size_t count = field_count(layout, status);
  r.reset_ok();
  sink.begin(count);
  for (size_t k = 0; k < count; ++k) {
    switch (layout.fields[k].kind) {
      case field_kind::u8: sink.integer(k, r.u8()); break;
      case field_kind::u16: sink.integer(k, r.u16()); break;
      case field_kind::u32: sink.integer(k, r.u32()); break;
      case field_kind::u64_integer: sink.integer(k, static_cast<int64_t>(r.u64())); break;
      case field_kind::u64_number: sink.number(k, static_cast<double>(r.u64())); break;
      case field_kind::string: sink.text(k, r.text()); break;
      case field_kind::status: sink.integer(k, status); break;
    }
  }
  return r.ok() && r.left() < before;
}

} // namespace

const list_layout* list_layout_of(uint16_t type) {
  switch (type) {
    case msg::kMusicList: return &kMusicList;
    case msg::kPictureList: return &kPictureList;
    case msg::kVideoList: return &kVideoList;
    case msg::kDocumentList: return &kDocumentList;
    case msg::kAppList: return &kAppList;
    case msg::kContactList: return &kContactList;
    case msg::kRingtoneList: return &kTypedFileList;
    case msg::kSmsList: return &kSmsList;
    case msg::kSendSms: return &kSentSmsList;
    case msg::kRecordingList:
    case msg::kDownloadList:
    case msg::kScreenshotList:
    case msg::kCacheFileList:
    case msg::kBackupFileList: return &kPathTypeList;
    case msg::kFolderList: return &kFolderList;
    default: return nullptr;
  }
}

record_list::record_list(const list_layout& layout, uint8_t status, const uint8_t* records, uint32_t size)
    : layout_(layout), status_(status), reader_(records, size) {}

bool record_list::more() const {
  if (reader_.left() == 0) return false;
  payload_reader probe = reader_;
  null_sink sink;
  return read_record(probe, layout_, status_, sink);
}

template <class Sink>
void record_list::read_next(Sink& sink) {
  for (size_t n = 1; n <= kMaxRecordsPerCall && reader_.left() > 0; ++n) {
    if (!read_record(reader_, layout_, status_, sink)) {
      sink.drop();
      reader_ = payload_reader(nullptr, 0);  // the rest of the payload is ignored
      return;
    }
    sink.keep(n);
  }
}

void record_list::push_next(lua_State* L) {
  lua_sink sink(L, layout_);
  read_next(sink);
  sink.finish();
}

script_value record_list::next_values() {
  value_sink sink(layout_);
  read_next(sink);
  return std::move(sink.list);
}

} // namespace kit::phonelink
