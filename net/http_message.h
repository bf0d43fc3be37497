// An HTTP/1.1 request and response as the client builds and parses them, and the URL
// rules of the client (plain http:// only).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/header_list.h"

namespace kit::net {

struct http_request {
  std::string method = "GET";
  std::string uri = "/";
  std::string version = "HTTP/1.1";
  header_list headers;
  std::string body;  // may hold zero bytes

  // The bytes sent: request line, a "Content-Length" line first when the body is not
  // empty and the headers carry none, the headers in order, an empty line, the body.
  std::string serialize() const;
};

struct http_response {
  std::string version = "HTTP/1.1";
  int32_t status = 200;
  std::string reason = "OK";
  header_list headers;
  std::string body;
  header_list trailers;
};

// The standard reason phrase of an HTTP/1.1 status; empty for a code without one.
const char* default_reason_phrase(int status);

// The parts of an http:// URL the client uses.
struct http_url {
  std::string host;
  uint16_t port = 80;
  std::string uri;  // from the first "/" after the authority, query included; "/" when none

  // The "Host" header value: host, plus ":" and the port when it is not 80.
  std::string host_header() const;
};

// Splits url; false unless it is longer than 7 characters, begins with "http://" in any
// letter case, and names a host and a port other than 0. The URI may come out empty (a
// "/" right after "http://"), which callers refuse.
bool parse_http_url(const std::string& url, http_url* out);

// A non-negative decimal number such as a Content-Length or a range position: blanks
// around it are allowed, anything else (a sign, other characters, a value beyond the
// signed 64-bit range) is refused.
bool parse_decimal_u63(std::string_view text, int64_t* value);

// Splits a "Host" header value at its first ":" (port 80 without one, the decimal number
// after it otherwise, kept to 16 bits). False for an empty host or port 0.
bool split_host_header(const std::string& value, std::string* host, uint16_t* port);

} // namespace kit::net
