// The strict rules for a status line and for header lines: "name: value" with exactly one
// space after the colon, non-empty name and value, each line ended by CR LF.
#pragma once
#include <string_view>

#include "net/http_message.h"

namespace kit::net {

// Parses header lines from block (which ends with the empty line CR LF) into headers.
// False, with headers emptied, on any deviation.
bool parse_header_lines(std::string_view block, header_list* headers);

// Parses a status line and its header lines (block ends with CR LF CR LF) into response.
// False, with the headers emptied, on any deviation.
bool parse_response_head(std::string_view block, http_response* response);

} // namespace kit::net
