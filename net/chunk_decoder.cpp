#include "net/chunk_decoder.h"

#include "common/percent_encoding.h"

#include <string_view>

#include "net/header_block.h"
#include "net/http_errors.h"

namespace kit::net {

namespace {
// The hexadecimal size at the start of line (leading blanks skipped, up to the first
// non-hex character, kept to 32 bits); false when no digit was read.
bool read_chunk_size(std::string_view line, uint32_t* size) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  uint32_t value = 0;
  bool any = false;
  for (; i < line.size(); ++i) {
    int d = text::hex_digit_value(line[i]);
    if (d < 0) break;
    value = (value << 4) | static_cast<uint32_t>(d);
    any = true;
  }
  *size = value;
  return any;
}

} // namespace

parse_state chunk_decoder::decode(const char* data, size_t length, std::string* out, http_response* response) {
  if (!data || length == 0) return parse_state::fail(kHttpNoData);
  if (complete()) return parse_state::fail(kHttpAlreadyComplete);
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(data, length);
  parse_state rc = last_chunk_ ? parse_state{} : decode_chunks(out);
  if (rc.is_done()) rc = decode_trailers(response);
  // Drop what was used, so the buffer holds only what is still to come.
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= 65536)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return rc;
}

parse_state chunk_decoder::decode_chunks(std::string* out) {
  for (;;) {
    std::string_view avail(buffer_.data() + start_, buffer_.size() - start_);
    if (chunk_size_ == 0) {
      size_t eol = avail.find("\r\n");
      if (eol == std::string_view::npos) {
        return avail.size() < kMaxSizeLine ? parse_state::more() : parse_state::fail(kHttpFraming);
      }
      if (eol >= kMaxSizeLine) return parse_state::fail(kHttpFraming);
      std::string_view line = avail.substr(0, eol);
      uint32_t size = 0;
      if (!read_chunk_size(line, &size)) return parse_state::fail(kHttpBadChunkSize);
      start_ += eol + 2;
      if (size == 0) {
        last_chunk_ = true;
        return {};
      }
      chunk_size_ = size;
      chunk_taken_ = 0;
      continue;
    }
    if (chunk_taken_ < chunk_size_) {
      size_t take = std::min<size_t>(avail.size(), chunk_size_ - chunk_taken_);
      out->append(avail.data(), take);
      chunk_taken_ += static_cast<uint32_t>(take);
      start_ += take;
      avail.remove_prefix(take);
      if (chunk_taken_ < chunk_size_) return parse_state::more();
    }
    // The chunk is complete: CR LF must follow.
    if (avail.size() < 2) {
      if (avail.size() == 1 && avail[0] != '\r') return parse_state::fail(kHttpFraming);
      return parse_state::more();
    }
    if (avail[0] != '\r' || avail[1] != '\n') return parse_state::fail(kHttpFraming);
    start_ += 2;
    chunk_size_ = 0;
    chunk_taken_ = 0;
    if (start_ == buffer_.size()) return parse_state::more();
  }
}

parse_state chunk_decoder::decode_trailers(http_response* response) {
  std::string_view avail(buffer_.data() + start_, buffer_.size() - start_);
  if (avail.size() < 2) return parse_state::more();
  if (avail[0] == '\r' && avail[1] == '\n') {
    start_ += 2;
    trailers_done_ = true;
    return {};
  }
  size_t end = avail.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    return avail.size() <= kMaxTrailerBlock ? parse_state::more() : parse_state::fail(kHttpFraming);
  }
  if (end + 4 > kMaxTrailerBlock + 4) return parse_state::fail(kHttpFraming);
  if (!parse_header_lines(avail.substr(0, end + 4), &response->trailers)) return parse_state::fail(kHttpFraming);
  start_ += end + 4;
  trailers_done_ = true;
  return {};
}

std::string chunk_decoder::take_rest() {
  std::string rest = buffer_.substr(start_);
  buffer_.clear();
  start_ = 0;
  return rest;
}

} // namespace kit::net
