// The tables a script hands to the HTTP classes: a headers table and a request table.
#pragma once
#include "engine/ui_engine.h"
#include "net/http_message.h"

namespace kit::net {

// Applies a headers table (string keys; string values, or integers written in decimal)
// with header_list::set, so an empty string removes a header. False for any other key or
// value type, or when idx is not a table.
bool read_headers_table(lua_State* L, int idx, header_list* headers);

// Reads a request table: "Request-Line" = {Method, Request-URI, HTTP-Version} (strings),
// "Headers" = headers table, and any string value under any key sets the body. False for
// a key that is not a string, a table under another key, or any other value type.
bool read_request_table(lua_State* L, int idx, http_request* request);

} // namespace kit::net
