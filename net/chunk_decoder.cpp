#include "net/chunk_decoder.h"

#include "common/percent_encoding.h"

#include <string_view>

#include "net/header_block.h"
#include "net/http_errors.h"

namespace kit::net {

namespace {
constexpr size_t kMaxSizeLine = 8192;     // a size line of this length or more is refused
constexpr size_t kMaxTrailerBlock = 8193;

std::string_view trim(std::string_view s, std::string_view chars) {
  size_t b = s.find_first_not_of(chars);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(chars);
  return s.substr(b, e - b + 1);
}

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

void read_extensions(std::string_view line, http_chunk* chunk) {
  size_t semi = line.find(';');
  if (semi == std::string_view::npos) return;
  std::string_view rest = line.substr(semi + 1);
  for (;;) {
    size_t next = rest.find(';');
    std::string_view piece = rest.substr(0, next);
    size_t eq = piece.find('=');
    std::string_view name = trim(piece.substr(0, eq), " ");
    std::string_view value = eq == std::string_view::npos ? std::string_view() : trim(piece.substr(eq + 1), " ");
    value = trim(value, "\"");
    if (!name.empty()) chunk->extensions.emplace_back(std::string(name), std::string(value));
    if (next == std::string_view::npos) break;
    rest = rest.substr(next + 1);
  }
}
} // namespace

int chunk_decoder::decode(const char* data, size_t length, std::string* out, http_response* response) {
  if (!data || length == 0) return kHttpNoData;
  if (complete()) return kHttpAlreadyComplete;
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(data, length);
  int rc = last_chunk_ ? 0 : decode_chunks(out, response);
  if (rc == 0) rc = decode_trailers(response);
  // Drop what was used, so the buffer holds only what is still to come.
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= 65536)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return rc;
}

int chunk_decoder::decode_chunks(std::string* out, http_response* response) {
  for (;;) {
    std::string_view avail(buffer_.data() + start_, buffer_.size() - start_);
    if (chunk_size_ == 0) {
      size_t eol = avail.find("\r\n");
      if (eol == std::string_view::npos) return avail.size() < kMaxSizeLine ? kHttpNeedMore : kHttpFraming;
      if (eol >= kMaxSizeLine) return kHttpFraming;
      std::string_view line = avail.substr(0, eol);
      uint32_t size = 0;
      if (!read_chunk_size(line, &size)) return kHttpBadChunkSize;
      start_ += eol + 2;
      if (size == 0) {
        last_chunk_ = true;
        return 0;
      }
      http_chunk chunk;
      chunk.size = size;
      read_extensions(line, &chunk);
      response->chunks.push_back(std::move(chunk));
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
      if (chunk_taken_ < chunk_size_) return kHttpNeedMore;
    }
    // The chunk is complete: CR LF must follow.
    if (avail.size() < 2) {
      if (avail.size() == 1 && avail[0] != '\r') return kHttpFraming;
      return kHttpNeedMore;
    }
    if (avail[0] != '\r' || avail[1] != '\n') return kHttpFraming;
    start_ += 2;
    chunk_size_ = 0;
    chunk_taken_ = 0;
    if (start_ == buffer_.size()) return kHttpNeedMore;
  }
}

int chunk_decoder::decode_trailers(http_response* response) {
  std::string_view avail(buffer_.data() + start_, buffer_.size() - start_);
  if (avail.size() < 2) return kHttpNeedMore;
  if (avail[0] == '\r' && avail[1] == '\n') {
    start_ += 2;
    trailers_done_ = true;
    return 0;
  }
  size_t end = avail.find("\r\n\r\n");
  if (end == std::string_view::npos) return avail.size() < kMaxTrailerBlock ? kHttpNeedMore : kHttpFraming;
  if (!parse_header_lines(avail.substr(0, end + 4), &response->trailers)) return kHttpFraming;
  start_ += end + 4;
  trailers_done_ = true;
  return 0;
}

std::string chunk_decoder::take_rest() {
  std::string rest = buffer_.substr(start_);
  buffer_.clear();
  start_ = 0;
  return rest;
}

} // namespace kit::net
