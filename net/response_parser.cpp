#include "net/response_parser.h"

#include <cstdlib>
#include <cstring>

#include "net/header_block.h"
#include "net/http_errors.h"

namespace kit::net {

namespace {
// Framing headers are found by name in any letter case: servers send them in lower case too.
bool is_chunked(const http_response& response) {
  const std::string* value = response.headers.find_nocase("Transfer-Encoding");
  return value && value->size() >= 7 && equals_nocase(std::string_view(*value).substr(0, 7), "chunked");
}

// The body length the headers announce (64 bits: files of 2 GiB and more); -1 when the
// body runs until the peer closes; false for a value that is no length.
bool announced_length(const http_response& response, int64_t* length) {
  int status = response.status;
  *length = -1;
  if (status == 204 || status == 205 || status == 304) {
    *length = 0;
    return true;
  }
  const std::string* value = response.headers.find_nocase("Content-Length");
  return !value || parse_decimal_u63(*value, length);
}
} // namespace

parse_state response_parser::parse_head(http_response* response) {
  size_t end = buffer_.find("\r\n\r\n");
  if (end == std::string::npos) {
    return buffer_.size() < kMaxHeaderBlock ? parse_state::more() : parse_state::fail(kHttpFraming);
  }
  // A block that ends too late is refused however the bytes were split.
  if (end + 4 >= kMaxHeaderBlock) return parse_state::fail(kHttpFraming);
  std::string_view block(buffer_.data(), end + 4);
  if (!parse_response_head(block, response)) return parse_state::fail(kHttpBadHeader);
  if (!announced_length(*response, &expected_)) return parse_state::fail(kHttpBadHeader);
  chunked_ = expected_ != 0 && is_chunked(*response);
  buffer_.erase(0, end + 4);
  received_ = 0;
  headers_parsed_ = true;
  if (expected_ == 0) complete_ = true;
  return {};
}

response_parser::step response_parser::parse(const char* data, size_t length, http_response* response) {
  step s;
  if (!data || length == 0) {
    s.state = parse_state::fail(kHttpNoData);
    return s;
  }
  if (complete_) {
    s.state = parse_state::fail(kHttpAlreadyComplete);
    return s;
  }
  out_.clear();
  bool direct = headers_parsed_ && !chunked_ && buffer_.empty();
  if (!direct) {
    buffer_.append(data, length);
    if (!headers_parsed_) {
      parse_state rc = parse_head(response);
      if (!rc.is_done()) {
        s.state = rc;
        if (rc.kind == parse_state::need_more) s.consumed = length;
        return s;
      }
    }
  }
  if (!complete_ && chunked_) {
    if (!buffer_.empty()) {
      parse_state rc = decoder_.decode(buffer_.data(), buffer_.size(), &out_, response);
      buffer_.clear();
      if (rc.has_failed()) {
        s.state = rc;
        return s;
      }
      received_ += static_cast<int64_t>(out_.size());
      if (rc.is_done()) {
        complete_ = true;
        buffer_ = decoder_.take_rest();
      }
    }
    s.body = out_;
  } else if (!complete_) {
    // Identity body: straight from the input when nothing is buffered.
    std::string_view avail = direct ? std::string_view(data, length) : std::string_view(buffer_);
    size_t take = avail.size();
    if (expected_ >= 0 && static_cast<int64_t>(take) > expected_ - received_)
      take = static_cast<size_t>(expected_ - received_);
    received_ += static_cast<int64_t>(take);
    if (direct) {
      s.body = avail.substr(0, take);
      if (take < avail.size()) buffer_.assign(avail.substr(take));
    } else {
      out_.assign(buffer_, 0, take);
      buffer_.erase(0, take);
      s.body = out_;
    }
    if (expected_ >= 0 && received_ == expected_) complete_ = true;
  }
  if (complete_) {
    s.state = {};
    s.consumed = buffer_.size() >= length ? 0 : length - buffer_.size();
    buffer_.clear();
  } else {
    s.state = parse_state::more();
    s.consumed = length;
  }
  return s;
}

} // namespace kit::net
