#include "net/header_block.h"

namespace kit::net {

bool parse_header_lines(std::string_view block, header_list* headers) {
  headers->clear();
  size_t pos = 0;
  for (;;) {
    size_t cr = block.find('\r', pos);
    if (cr == std::string_view::npos || cr + 1 >= block.size() || block[cr + 1] != '\n') break;
    std::string_view line = block.substr(pos, cr - pos);
    pos = cr + 2;
    if (line.empty()) return true;  // the empty line ends the block
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= line.size() || line[colon + 1] != ' ') break;
    std::string_view value = line.substr(colon + 2);
    if (value.empty()) break;
    headers->add(std::string(line.substr(0, colon)), std::string(value));
  }
  headers->clear();
  return false;
}

bool parse_response_head(std::string_view block, http_response* response) {
  response->headers.clear();
  size_t sp1 = block.find(' ');
  size_t cr = block.find('\r');
  if (sp1 == std::string_view::npos || sp1 == 0 || cr == std::string_view::npos || sp1 > cr) return false;
  size_t sp2 = block.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 > cr) return false;
  std::string_view code = block.substr(sp1 + 1, sp2 - sp1 - 1);
  if (code.empty() || code.size() > 9) return false;
  int32_t status = 0;
  for (char c : code) {
    if (c < '0' || c > '9') return false;
    status = status * 10 + (c - '0');
  }
  if (status == 0) return false;
  std::string_view reason = block.substr(sp2 + 1, cr - sp2 - 1);
  if (reason.empty() || cr + 1 >= block.size() || block[cr + 1] != '\n') return false;
  header_list headers;
  if (!parse_header_lines(block.substr(cr + 2), &headers)) return false;
  response->version.assign(block.substr(0, sp1));
  response->status = status;
  response->reason.assign(reason);
  response->headers = std::move(headers);
  return true;
}

} // namespace kit::net
