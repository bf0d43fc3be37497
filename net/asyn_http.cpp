#include "net/asyn_http.h"

#include <utility>

#include "net/http_errors.h"
#include "platform/socket_errors.h"

namespace kit::net {

asyn_http::asyn_http(asyn_http_event* sink) : sink_(sink), socket_(this) {}

asyn_http::~asyn_http() {
  *alive_ = false;
  socket_.destroy();
}

bool asyn_http::request(int32_t id, const std::string& url) { return request(id, url, header_list()); }

bool asyn_http::request(int32_t id, const std::string& url, const header_list& extra) {
  http_url parts;
  if (!parse_http_url(url, &parts) || parts.uri.empty()) return false;
  http_request req;
  req.uri = parts.uri;
  req.headers.add("Host", parts.host_header());
  req.headers.append(extra);
  return send_request(id, req);
}

bool asyn_http::send_request(int32_t id, const http_request& request) {
  if (busy_) return false;
  std::string host;
  uint16_t port = 80;
  if (!split_host_header(request.headers.find("Host"), &host, &port)) return false;
  if (host != host_ || port != port_ || !socket_.created()) {
    if (!host_.empty()) socket_.destroy();
    host_ = host;
    port_ = port;
    socket_.create(host_, port_);
  }
  std::string bytes = request.serialize();
  if (bytes.size() > UINT32_MAX || !socket_.send(bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
  busy_ = true;
  last_request_ = request;
  id_ = id;
  idle_.start(idle_limit_);
  deadline_.start(deadline_limit_);
  return true;
}

void asyn_http::reset_request() {
  idle_.stop();
  deadline_.stop();
  id_ = 0;
  busy_ = sent_ = complete_ = false;
  last_request_ = http_request();
  response_.reset();
  parser_.reset();
}

void asyn_http::close() {
  reset_request();
  redirects_ = 0;
  socket_.destroy();
  host_.clear();
  port_ = 80;
}

void asyn_http::fail(int error) {
  int32_t id = id_;
  close();
  sink_->on_error(id, error);
}

void asyn_http::on_send(uint32_t) {
  if (!busy_) return;
  sent_ = true;
  try_finish();
}

void asyn_http::on_error(int error) {
  if (!busy_) return;
  fail(error);
}

void asyn_http::on_close() {
  if (!busy_) return;
  if (parser_ && parser_->headers_parsed() && !parser_->chunked() && parser_->expected_length() < 0 &&
      !parser_->complete()) {
    parser_->finish_at_close();
    complete_ = true;
    try_finish();
    return;
  }
  fail(kHttpClosedEarly);
}

void asyn_http::on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) {
  if (!busy_ || complete_) {
    // Bytes no request asked for wait for the next response, but only up to a header
    // block's worth: a server that keeps sending them gets its connection (or the
    // request) ended instead of filling memory.
    if (length < response_parser::kMaxHeaderBlock) {
      *consumed = 0;
    } else if (busy_) {
      fail(kHttpFraming);
    } else {
      socket_.close();
    }
    return;
  }
  idle_.touch();
  if (!response_) {
    response_ = std::make_unique<http_response>();
    parser_ = std::make_unique<response_parser>();
  }
  response_parser::step s = parser_->parse(reinterpret_cast<const char*>(data), length, response_.get());
  *consumed = static_cast<uint32_t>(s.consumed);
  if (!deadline_covers_body_ && parser_->headers_parsed()) deadline_.stop();
  if (s.state.has_failed()) {
    fail(s.state.error);
    return;
  }
  if (!s.body.empty()) {
    bool keep = true;
    std::weak_ptr<bool> alive = alive_;
    http_response* response = response_.get();
    sink_->on_body(id_, *response, s.body.data(), s.body.size(),
                   static_cast<uint64_t>(parser_->received_length()) - s.body.size(), &keep);
    // The sink may have closed or deleted this client, or started another request.
    if (alive.expired() || response_.get() != response) return;
    if (keep) {
      if (response_->body.size() + s.body.size() > max_kept_body_) {
        fail(kHttpFraming);
        return;
      }
      response_->body.append(s.body);
    }
  }
  if (s.state.is_done()) {
    complete_ = true;
    try_finish();
  }
}

// No byte arrived for the idle limit while the response was awaited.
void asyn_http::timed_out() {
  if (busy_) fail(platform::kWsaEtimedout);
}

void asyn_http::try_finish() {
  if (!sent_ || !complete_ || !response_) return;
  // Header names in any letter case: both sides must ask for keep-alive.
  auto keep_alive_asked = [](const header_list& headers) {
    const std::string* value = headers.find_nocase("Connection");
    return value && equals_nocase(*value, "Keep-Alive");
  };
  bool keep_alive = keep_alive_asked(last_request_.headers) && keep_alive_asked(response_->headers);
  if (!keep_alive) socket_.close();
  int status = response_->status;
  if (status == 301 || status == 302 || status == 303 || status == 307) {
    redirect();
    return;
  }
  redirects_ = 0;
  int32_t id = id_;
  std::unique_ptr<http_response> response = std::move(response_);
  reset_request();
  sink_->on_response(id, *response);
}

void asyn_http::redirect() {
  if (redirects_ >= kMaxRedirects) {
    fail(kHttpTooManyRedirects);
    return;
  }
  const std::string* found = response_->headers.find_nocase("Location");
  std::string location = found ? *found : std::string();
  std::string url;
  bool absolute = location.size() > 6 && equals_nocase(std::string_view(location).substr(0, 7), "http://");
  if (absolute) {
    url = location;
  } else {
    url = "http://" + (port_ == 80 ? host_ : host_ + ":" + std::to_string(port_)) + "/" + location;
  }
  http_url parts;
  if (!parse_http_url(url, &parts)) {
    fail(kHttpBadRedirect);
    return;
  }
  ++redirects_;
  http_request next = last_request_;
  next.uri = parts.uri;
  next.headers.set("Host", parts.host_header());
  int32_t id = id_;
  reset_request();
  if (!send_request(id, next)) {
    id_ = id;
    fail(kHttpBadRedirect);
  }
}

} // namespace kit::net
