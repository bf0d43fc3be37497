// The reply tables of the vendor's web service: JSON documents of four kinds turned into
// script tables. A field whose JSON value is missing or of another type reads as 0 or as
// the empty string; integers reach the script as 32-bit integers (the low 32 bits, so
// unsigned values of 2^31 and more appear negative).
#pragma once
#include <json/json.h>

#include <cstdint>
#include <optional>
#include <string>

struct lua_State;

namespace kit::net {

enum server_reply_type : int32_t {
  kReplyCategories = 1,  // array of {Id, Pid, Name}
  kReplySoftware = 2,    // array of software entries
  kReplySoftwareWithPicture = 3,  // the same with "BigPic"
  kReplyUpdate = 4,      // one object: DownloadUrl, Update, AppVer
};

// The body as JSON, or nothing when it is not JSON (nesting deeper than 256, or more than
// 500,000 values, counts as not).
std::optional<Json::Value> parse_server_reply(const std::string& body);
// Pushes the reply table for type (an empty table for a type it does not know).
void push_server_reply(lua_State* L, int32_t type, const Json::Value& root);

} // namespace kit::net
