// Hostile response bytes for the HTTP response parser and its chunk decoder: the input is
// parsed in one piece and again cut into pieces of fuzzer-chosen sizes; both must end the
// same way, with the same body, and nothing may be consumed beyond what was given.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_errors.h"
#include "net/response_parser.h"

namespace {

// 0 complete, -1 more needed, else the error number.
constexpr int kNeedMore = -1;

int result_of(const kit::net::parse_state& s) {
  return s.kind == kit::net::parse_state::done ? 0 : s.kind == kit::net::parse_state::need_more ? kNeedMore : s.error;
}

struct outcome {
  int result = kNeedMore;
  std::string body;
};

outcome run(const uint8_t* data, size_t size, const uint8_t* cuts, size_t ncuts) {
  outcome o;
  kit::net::response_parser parser;
  kit::net::http_response response;
  size_t at = 0, cut = 0;
  while (at < size && o.result == kNeedMore) {
    size_t n = size - at;
    if (ncuts) n = std::min<size_t>(n, 1 + cuts[cut++ % ncuts] % 97);
    auto step = parser.parse(reinterpret_cast<const char*>(data + at), n, &response);
    if (step.consumed > n) std::abort();
    o.result = result_of(step.state);
    if (o.result == 0 || o.result == kNeedMore) o.body.append(step.body);
    at += n;
  }
  if (o.result == 0) {
    if (parser.expected_length() >= 0 && !parser.chunked() &&
        static_cast<int64_t>(o.body.size()) != parser.expected_length())
      std::abort();
    char extra = 'x';
    if (result_of(parser.parse(&extra, 1, &response).state) != kit::net::kHttpAlreadyComplete) std::abort();
  }
  return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte says how many of the following bytes choose the piece sizes.
  size_t ncuts = std::min<size_t>(data[0] % 16, size - 1);
  const uint8_t* cuts = data + 1;
  const uint8_t* bytes = data + 1 + ncuts;
  size_t length = size - 1 - ncuts;
  outcome whole = run(bytes, length, nullptr, 0);
  outcome split = run(bytes, length, cuts, ncuts);
  if (whole.result != split.result) std::abort();
  if (whole.result == 0 && whole.body != split.body) std::abort();
  return 0;
}
