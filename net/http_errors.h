// Error numbers of the HTTP client and the file download, as native callers and scripts see
// them (besides the socket's Winsock numbers and, for downloads, HTTP statuses and errno).
#pragma once

namespace kit::net {

constexpr int kHttpNoData = 20100001;         // nothing given to a parser (internal)
constexpr int kHttpAlreadyComplete = 20100013;  // bytes given after the message ended (internal)
constexpr int kHttpFraming = 25000021;        // header block, chunk framing or trailers broken; body too large
constexpr int kHttpClosedEarly = 26000001;    // the peer closed before the response was complete
constexpr int kHttpTooManyRedirects = 26000002;
constexpr int kHttpBadRedirect = 26000003;    // the redirect target could not be used or re-sent
constexpr int kHttpBadHeader = 26000004;      // the status line or a header line breaks the rules
constexpr int kHttpBadChunkSize = 26000007;   // a chunk-size line without a hexadecimal number
constexpr int kHttpBadScriptTable = 20101003;  // a script's request or headers table is malformed

// The outcome of feeding bytes to a parser: the message (or its part) is complete, more
// bytes are needed, or it failed with one of the error numbers above.
struct parse_state {
  enum kind_t { done, need_more, failed };
  kind_t kind = done;
  int error = 0;  // with failed

  static parse_state more() { return {need_more, 0}; }
  static parse_state fail(int error) { return {failed, error}; }
  bool is_done() const { return kind == done; }
  bool has_failed() const { return kind == failed; }
};

} // namespace kit::net
