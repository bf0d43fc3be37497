#include "net/server_replies.h"

#include <json/json.h>

#include <memory>

#include "host/script_bridge.h"

namespace kit::net {

namespace {
struct field {
  const char* script_name;
  const char* json_key;
  bool is_text;  // otherwise an integer
};

const field kCategoryFields[] = {{"Id", "Id", false}, {"Pid", "Pid", false}, {"Name", "Si_Name", true}};
const field kSoftwareFields[] = {
    {"Id", "Id", false},          {"SiId", "S_SiId", false},       {"Name", "S_Name", true},
    {"Pic", "S_Pic", true},       {"DownNum", "S_DownNum", false}, {"FileSize", "S_FileSize", false},
    {"Version", "S_Version", true}, {"Language", "S_Language", true}, {"DownPath", "S_FilePath", true},
    {"AddTime", "AddTime", true},
};
const field kBigPicture[] = {{"BigPic", "S_BigPic", true}};
const field kUpdateFields[] = {{"DownloadUrl", "J_URL", true}, {"Update", "Id", false}, {"AppVer", "J_Nversion", true}};

// The low 32 bits of an integral value; 0 for anything else. The type is checked first:
// JsonCpp's conversions throw on values they cannot represent.
int64_t integer_of(const Json::Value& v) {
  if (v.isInt64()) return v.asInt64();
  if (v.isUInt64()) return static_cast<int64_t>(static_cast<uint32_t>(v.asUInt64()));
  return 0;
}

template <size_t N>
void set_fields(lua_State* L, const Json::Value& object, const field (&fields)[N]) {
  for (const field& f : fields) {
    const Json::Value* v = object.isObject() ? object.find(f.json_key, f.json_key + std::char_traits<char>::length(f.json_key)) : nullptr;
    if (f.is_text) {
      script::push_string(L, v && v->isString() ? v->asString() : std::string());
    } else {
      script::push_int32(L, v ? integer_of(*v) : 0);
    }
    lua_setfield(L, -2, f.script_name);
  }
}

void push_list(lua_State* L, const Json::Value& root, int32_t type) {
  lua_newtable(L);
  if (!root.isArray()) return;
  int index = 0;
  for (const Json::Value& entry : root) {
    if (!entry.isObject()) continue;
    lua_newtable(L);
    if (type == kReplyCategories) {
      set_fields(L, entry, kCategoryFields);
    } else {
      set_fields(L, entry, kSoftwareFields);
      if (type == kReplySoftwareWithPicture) set_fields(L, entry, kBigPicture);
    }
    lua_rawseti(L, -2, ++index);
  }
}
} // namespace

namespace {
// How many values (objects, arrays and the members between commas) a reply may hold: the
// service's lists are far smaller, and each value costs the parser and the script tables
// many times its bytes.
constexpr size_t kMaxReplyValues = 500000;

// Counts the values of a JSON text cheaply, outside strings; stops past the limit.
size_t value_count(const std::string& body) {
  size_t count = 0;
  bool in_string = false;
  for (size_t i = 0; i < body.size() && count <= kMaxReplyValues; ++i) {
    char c = body[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[' || c == ',') {
      ++count;
    }
  }
  return count;
}
} // namespace

std::optional<Json::Value> parse_server_reply(const std::string& body) {
  if (value_count(body) > kMaxReplyValues) return std::nullopt;
  Json::CharReaderBuilder builder;
  builder["stackLimit"] = 256;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors)) return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;  // the nesting limit is reported by a throw
  }
  return root;
}

void push_server_reply(lua_State* L, int32_t type, const Json::Value& root) {
  switch (type) {
    case kReplyCategories:
    case kReplySoftware:
    case kReplySoftwareWithPicture:
      push_list(L, root, type);
      break;
    case kReplyUpdate:
      lua_newtable(L);
      if (root.isObject()) set_fields(L, root, kUpdateFields);
      break;
    default:
      lua_newtable(L);
  }
}

} // namespace kit::net
