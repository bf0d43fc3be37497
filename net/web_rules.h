// The decisions of the local web UI server that need no socket: which requests are let in
// (Host, Origin, the key and its cookie), which file a URL path names, content types, byte
// ranges and entity tags. The server (web_server.cpp) applies them to each request; keeping
// them apart lets tests and the fuzz target reach every rule without a connection.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit::net::web {

// 128 random bits as 32 lower-case hexadecimal digits (the run's key, offer and upload ids).
std::string random_token();

// Compares without an early exit, so the time taken tells nothing about a guessed key.
bool same_secret(std::string_view a, std::string_view b);

// True when a Host header names this server: "127.0.0.1:PORT" or "localhost:PORT" (letter
// case of the name ignored). Any other name is a page of another site that resolved its
// own name to 127.0.0.1 (DNS rebinding).
bool host_allowed(std::string_view host, uint16_t port);
// True when an Origin header is this server's own origin, "http://127.0.0.1:PORT" or
// "http://localhost:PORT". A missing Origin ("") is not allowed.
bool origin_allowed(std::string_view origin, uint16_t port);

// The name of the cookie carrying the key. It holds the port, as browsers share cookies
// across the ports of one host and two runs must not overwrite each other's.
std::string cookie_name(uint16_t port);
// The value of cookie `name` in a Cookie header ("a=1; b=2"), or nothing.
std::optional<std::string> cookie_value(std::string_view header, std::string_view name);
// The value of parameter `name` in a query string (the text after "?"), percent-decoded,
// or nothing.
std::optional<std::string> query_value(std::string_view query, std::string_view name);

// Splits a request target into its path and its query (without the "?").
struct target_parts {
  std::string_view path;
  std::string_view query;
};
target_parts split_target(std::string_view target);

// The relative file path a URL path names below a served folder ("/" gives "index.html"),
// or nothing when the path is not one the server serves: not starting with "/", a segment
// that decodes to "", "." or "..", or that begins with ".", a decoded NUL, backslash or
// control character. Decoding happens once, before the checks, so "%2e%2e" is "..".
std::optional<std::string> static_file_path(std::string_view url_path);

// A file name fit to stand alone in the temp folder: the last segment of what a page said,
// with control characters, "/", "\\", ":" and leading dots removed, at most 120 bytes (cut
// on a UTF-8 boundary); "file" when nothing is left.
std::string safe_file_name(std::string_view name);

// The Content-Type of a file by its extension (letter case ignored);
// "application/octet-stream" when unknown.
std::string content_type_of(std::string_view file_name);
// True for the types an offered file may be shown as inside the page (raster images);
// every other offered file is served as a download.
bool inline_type(std::string_view content_type);

// The first byte and the length of a single "bytes=" range of a file of `size` bytes.
struct byte_range {
  uint64_t first = 0;
  uint64_t length = 0;
};
enum class range_kind { none, one, unsatisfiable };
struct range_result {
  range_kind kind = range_kind::none;
  byte_range range;
};
// Reads a Range header. Anything other than one well-formed "bytes=" range (several
// ranges, another unit, garbage) is `none`: the whole file is sent, as HTTP allows. A
// well-formed range outside the file is `unsatisfiable` (416).
range_result parse_range(std::string_view header, uint64_t size);

// True when an If-None-Match header ("*", or a list of tags, weak ones included) matches
// the entity tag `etag` (quoted).
bool etag_matches(std::string_view if_none_match, std::string_view etag);

} // namespace kit::net::web
