// Parses one HTTP/1.1 response from bytes that arrive in pieces: the header block (at most
// 8192 bytes before its empty line), then an identity body of known length, a chunked
// body, or a body that runs until the peer closes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "net/chunk_decoder.h"
#include "net/http_errors.h"
#include "net/http_message.h"

namespace kit::net {

class response_parser {
public:
  static constexpr size_t kMaxHeaderBlock = 8193;  // buffered bytes without an end of headers: refused

  struct step {
    parse_state state;         // complete, more to come, or failed
    std::string_view body;     // body bytes produced by this step (valid until the next call)
    size_t consumed = 0;       // bytes of the input used; the rest belongs to the next response
  };

  // Feeds the next bytes (the socket's unconsumed buffer) into response.
  step parse(const char* data, size_t length, http_response* response);

  bool headers_parsed() const { return headers_parsed_; }
  bool complete() const { return complete_; }
  bool chunked() const { return chunked_; }
  // The body length the header block announced; -1 when it runs until the peer closes.
  int64_t expected_length() const { return expected_; }
  int64_t received_length() const { return received_; }
  // A read-until-close body ended by the peer's close.
  void finish_at_close() { complete_ = true; }

private:
  parse_state parse_head(http_response* response);

  std::string buffer_;
  std::string out_;
  bool headers_parsed_ = false;
  bool chunked_ = false;
  bool complete_ = false;
  int64_t expected_ = -1;
  int64_t received_ = 0;
  chunk_decoder decoder_;
};

} // namespace kit::net
