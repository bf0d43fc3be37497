// Decodes a chunked body: size lines (their extensions are skipped), chunk data, the CR LF
// after each chunk, the last chunk and the trailers. Bytes may arrive split anywhere. Memory
// stays bounded whatever the chunking: nothing is kept per chunk, and a size line (with its
// extensions) or a trailer block longer than 8 KiB is refused.
#pragma once
#include <cstdint>
#include <string>

#include "net/http_errors.h"
#include "net/http_message.h"

namespace kit::net {

class chunk_decoder {
public:
  static constexpr size_t kMaxSizeLine = 8192;     // bytes of a size line with its extensions
  static constexpr size_t kMaxTrailerBlock = 8192;

  // Appends data to the decoder's buffer and decodes what it can: chunk bytes are appended
  // to out, trailers go to response. More is needed while the body goes on; done when it
  // is complete (bytes after it stay buffered, see take_rest).
  parse_state decode(const char* data, size_t length, std::string* out, http_response* response);
  bool complete() const { return last_chunk_ && trailers_done_; }
  // The bytes buffered after the end of the body; empties the buffer.
  std::string take_rest();

private:
  parse_state decode_chunks(std::string* out);
  parse_state decode_trailers(http_response* response);

  std::string buffer_;
  size_t start_ = 0;          // bytes of buffer_ already used
  uint32_t chunk_size_ = 0;   // 0: a size line is expected
  uint32_t chunk_taken_ = 0;  // bytes of the current chunk already moved to out
  bool last_chunk_ = false;
  bool trailers_done_ = false;
};

} // namespace kit::net
