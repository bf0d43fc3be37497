// Decodes a chunked body: size lines with their extensions, chunk data, the CR LF after each
// chunk, the last chunk and the trailers. Bytes may arrive split anywhere.
#pragma once
#include <cstdint>
#include <string>

#include "net/http_message.h"

namespace kit::net {

class chunk_decoder {
public:
  // Appends data to the decoder's buffer and decodes what it can: chunk bytes are appended
  // to out, chunk entries and trailers go to response. Returns kHttpNeedMore while the body
  // goes on, 0 when it is complete (bytes after it stay buffered, see take_rest), or an
  // error number.
  int decode(const char* data, size_t length, std::string* out, http_response* response);
  bool complete() const { return last_chunk_ && trailers_done_; }
  // The bytes buffered after the end of the body; empties the buffer.
  std::string take_rest();

private:
  int decode_chunks(std::string* out, http_response* response);
  int decode_trailers(http_response* response);

  std::string buffer_;
  size_t start_ = 0;          // bytes of buffer_ already used
  uint32_t chunk_size_ = 0;   // 0: a size line is expected
  uint32_t chunk_taken_ = 0;  // bytes of the current chunk already moved to out
  bool last_chunk_ = false;
  bool trailers_done_ = false;
};

} // namespace kit::net
