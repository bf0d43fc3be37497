// Boost.Beast lives in this file only: one translation unit of it costs ~40 s of compiler
// time and ~1 GB of memory. <utility> comes before Asio (Boost 1.74 with GCC 12).
#include <utility>

#include "net/web_server.h"

#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <system_error>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "common/percent_encoding.h"
#include "net/web_rules.h"
#include "platform/ui_loop_asio.h"
#include "platform/volume_info.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;

namespace kit::net {

namespace {

// A response body that sends `length` bytes of an open file from `first` on, read in
// pieces as the socket takes them (a file is never held whole in memory).
struct ranged_file_body {
  struct value_type {
    beast::file file;
    uint64_t first = 0;
    uint64_t length = 0;
  };
  static uint64_t size(const value_type& v) { return v.length; }

  class writer {
  public:
    using const_buffers_type = asio::const_buffer;
    template <bool isRequest, class Fields>
    writer(http::header<isRequest, Fields>&, value_type& body) : body_(body) {}
    void init(beast::error_code& ec) {
      remain_ = body_.length;
      body_.file.seek(body_.first, ec);
    }
    boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& ec) {
      size_t amount = static_cast<size_t>(std::min<uint64_t>(remain_, buf_.size()));
      if (amount == 0) {
        ec = {};
        return boost::none;
      }
      size_t n = body_.file.read(buf_.data(), amount, ec);
      if (ec) return boost::none;
      if (n == 0) {  // the file shrank while it was sent
        ec = http::error::short_read;
        return boost::none;
      }
      remain_ -= n;
      return {{asio::const_buffer(buf_.data(), n), remain_ > 0}};
    }

  private:
    value_type& body_;
    uint64_t remain_ = 0;
    std::array<char, 64 * 1024> buf_{};
  };
};

const char kKeyPage[] =
    "<!doctype html><html lang=\"en\"><meta charset=\"utf-8\"><title>Mobrevist</title>"
    "<h1>Open the program's link</h1>"
    "<p>This window needs the link Mobrevist printed when it started: it looks like "
    "<code>http://127.0.0.1:PORT/?key=&hellip;</code>. Open that link again (or start "
    "<code>mobrevist --web</code> once more).</p></html>\n";

void security_headers(http::response_header<>& h) {
  h.set(http::field::server, "Mobrevist");
  h.set("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'");
  h.set("X-Content-Type-Options", "nosniff");
  h.set("Referrer-Policy", "no-referrer");
  h.set(http::field::x_frame_options, "DENY");
}

std::string etag_of(uint64_t size, fs::file_time_type mtime, bool gz) {
  char text[64];
  std::snprintf(text, sizeof text, "\"%llx-%llx%s\"", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(mtime.time_since_epoch().count()), gz ? "-gz" : "");
  return text;
}

class web_connection {
public:
  virtual ~web_connection() = default;
  virtual void close() = 0;
};

class ws_session;

// Ends a connection after a final reply: stops sending, then reads and drops what the
// client still sends for a moment before closing. Closing at once with unread bytes would
// make the kernel reset the connection, and the client could lose the reply (a refused
// upload whose body is still arriving).
class lingering_close : public std::enable_shared_from_this<lingering_close> {
public:
  explicit lingering_close(beast::tcp_stream&& stream) : stream_(std::move(stream)) {}
  void start() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    // One deadline for the whole drain, so a client trickling bytes cannot keep it.
    stream_.expires_after(std::chrono::seconds(2));
    read();
  }

private:
  void read() {
    stream_.async_read_some(asio::buffer(buf_), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec || ++self->rounds_ > 256) {
        beast::error_code ignored;
        self->stream_.socket().close(ignored);
        return;
      }
      self->read();
    });
  }
  beast::tcp_stream stream_;
  std::array<char, 4096> buf_{};
  int rounds_ = 0;
};

} // namespace

struct web_server::state {
  explicit state(asio::io_context& io) : acceptor(io), retry(io) {}
  options opts;
  tcp::acceptor acceptor;
  asio::steady_timer retry;  // accepting again after a failure (out of descriptors)
  std::string key;
  std::string cookie;
  uint16_t port = 0;
  bool running = false;
  message_handler on_message;
  upload_handler on_upload;
  uint64_t next_connection = 1;
  uint64_t next_client = 1;
  uint64_t next_upload = 1;
  std::map<uint64_t, std::weak_ptr<web_connection>> connections;
  std::map<uint64_t, std::weak_ptr<ws_session>> clients;
  struct offered {
    std::string path;
    std::string name;
  };
  std::map<std::string, offered> offers;       // id -> file
  std::map<std::string, uint64_t> upload_ids;  // id -> client
};

namespace {

using state_ptr = std::shared_ptr<web_server::state>;

class ws_session : public web_connection, public std::enable_shared_from_this<ws_session> {
public:
  ws_session(state_ptr s, beast::tcp_stream&& stream) : s_(std::move(s)), ws_(std::move(stream)) {}
  ~ws_session() override { s_->connections.erase(id_); }

  void start(http::request<http::empty_body> req) {
    id_ = s_->next_connection++;
    s_->connections[id_] = weak_from_this();
    req_ = std::move(req);
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout t;
    t.handshake_timeout = std::min<std::chrono::steady_clock::duration>(std::chrono::seconds(30), s_->opts.idle_timeout);
    t.idle_timeout = s_->opts.idle_timeout;  // a ping at half of it; no answer ends the connection
    t.keep_alive_pings = true;
    ws_.set_option(t);
    ws_.read_message_max(s_->opts.message_limit);
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& res) { security_headers(res.base()); }));
    ws_.async_accept(req_, [self = shared_from_this()](beast::error_code ec) { self->on_accept(ec); });
  }

  void close() override {
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

  bool send(const std::string& text) {
    if (!open_) return false;
    if (backlog_ + text.size() > s_->opts.send_backlog_limit) {
      // A page that does not read its messages is dropped instead of growing without end.
      close();
      return false;
    }
    backlog_ += text.size();
    queue_.push_back(text);
    if (!writing_) write_next();
    return true;
  }

private:
  void on_accept(beast::error_code ec) {
    if (ec || !s_->running) return;
    client_ = s_->next_client++;
    s_->clients[client_] = weak_from_this();
    open_ = true;
    read();
  }

  void read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    if (ec) return gone();
    if (ws_.got_text() && s_->running && s_->on_message) {
      std::string text = beast::buffers_to_string(buffer_.data());
      buffer_.consume(buffer_.size());
      web_server::message_handler handler = s_->on_message;  // the handler may stop the server
      handler(client_, &text);
      if (!s_->running) return;
    } else {
      buffer_.consume(buffer_.size());
    }
    read();
  }

  void gone() {
    if (!open_) return;
    open_ = false;
    s_->clients.erase(client_);
    if (s_->running && s_->on_message) {
      web_server::message_handler handler = s_->on_message;
      handler(client_, nullptr);
    }
  }

  void write_next() {
    writing_ = true;
    ws_.text(true);
    ws_.async_write(asio::buffer(queue_.front()), [self = shared_from_this()](beast::error_code ec, size_t) {
      self->writing_ = false;
      self->backlog_ -= self->queue_.front().size();
      self->queue_.pop_front();
      if (ec) return self->close();
      if (!self->queue_.empty()) self->write_next();
    });
  }

  state_ptr s_;
  websocket::stream<beast::tcp_stream> ws_;
  http::request<http::empty_body> req_;
  beast::flat_buffer buffer_;
  std::deque<std::string> queue_;
  size_t backlog_ = 0;
  bool writing_ = false;
  bool open_ = false;
  uint64_t id_ = 0;
  uint64_t client_ = 0;
};

class http_session : public web_connection, public std::enable_shared_from_this<http_session> {
public:
  http_session(state_ptr s, tcp::socket socket) : s_(std::move(s)), stream_(std::move(socket)) {}
  ~http_session() override {
    s_->connections.erase(id_);
    discard_upload();
  }

  void start() {
    id_ = s_->next_connection++;
    s_->connections[id_] = weak_from_this();
    read_request();
  }

  void close() override {
    beast::error_code ignored;
    stream_.socket().close(ignored);
  }

private:
  void read_request() {
    parser_.emplace();
    parser_->header_limit(static_cast<uint32_t>(s_->opts.header_limit));
    // The body limit is checked against Content-Length while the header is read: the
    // handler decides about bodies itself (uploads by free space, others refused). (No
    // limit at all, boost::none, compares as smaller than any length in Boost 1.74.)
    parser_->body_limit(std::numeric_limits<uint64_t>::max());
    stream_.expires_after(s_->opts.idle_timeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, size_t) { self->on_header(ec); });
  }

  void on_header(beast::error_code ec) {
    if (!s_->running) return close();
    if (ec == http::error::header_limit) return reply(http::status::request_header_fields_too_large, "The request's header block is too large.\n", true);
    if (ec == http::error::end_of_stream || ec == beast::error::timeout) return close();
    if (ec) {
      if (ec.category() == http::make_error_code(http::error::bad_target).category())
        return reply(http::status::bad_request, "Malformed request: " + ec.message() + "\n", true);
      return close();
    }
    handle();
  }

  void handle() {
    http::request<http::empty_body>& req = parser_->get();
    web::target_parts target = web::split_target(req.target());
    const uint16_t port = s_->port;

    if (!web::host_allowed(req[http::field::host], port))
      return reply(http::status::forbidden, "This server answers only to 127.0.0.1 and localhost.\n", true);

    if (target.path == "/" && web::query_value(target.query, "key")) {
      if (!web::same_secret(*web::query_value(target.query, "key"), s_->key)) return key_page();
      http::response_header<> h = header(http::status::see_other);
      h.set(http::field::set_cookie, s_->cookie + "=" + s_->key + "; Path=/; HttpOnly; SameSite=Strict");
      h.set(http::field::location, "/");
      return send_empty(std::move(h));
    }

    std::optional<std::string> cookie = web::cookie_value(req[http::field::cookie], s_->cookie);
    if (!cookie || !web::same_secret(*cookie, s_->key)) return key_page();

    const bool upgrade = websocket::is_upgrade(req);
    const http::verb method = req.method();
    const bool safe = method == http::verb::get || method == http::verb::head || method == http::verb::options;
    if ((upgrade || !safe) && !web::origin_allowed(req[http::field::origin], port))
      return reply(http::status::forbidden, "Requests that change something must come from this program's own page.\n", true);

    if (upgrade) {
      if (target.path != "/ws") return reply(http::status::not_found, "Not found.\n", true);
      auto ws = std::make_shared<ws_session>(s_, std::move(stream_));
      ws->start(parser_->release());
      return;
    }

    if (method == http::verb::put && target.path.substr(0, 8) == "/upload/") return begin_upload(target);

    const bool has_body = req.chunked() || (req.has_content_length() && parser_->content_length().value_or(0) > 0);
    if (has_body) return reply(http::status::payload_too_large, "This request takes no body.\n", true);
    if (!safe || method == http::verb::options) {
      http::response_header<> h = header(http::status::method_not_allowed);
      h.set(http::field::allow, "GET, HEAD");
      h.set(http::field::content_type, "text/plain; charset=utf-8");
      return send_text(std::move(h), "Method not allowed.\n", false);
    }

    if (target.path.substr(0, 7) == "/files/") return serve_offer(target.path.substr(7));
    return serve_static(target.path);
  }

  http::response_header<> header(http::status status) {
    http::response_header<> h;
    h.version(11);
    h.result(status);
    security_headers(h);
    h.set(http::field::cache_control, "no-store");
    return h;
  }

  void key_page() {
    http::response_header<> h = header(http::status::forbidden);
    h.set(http::field::content_type, "text/html; charset=utf-8");
    send_text(std::move(h), kKeyPage, false);
  }

  void reply(http::status status, const std::string& text, bool close_after) {
    http::response_header<> h = header(status);
    h.set(http::field::content_type, "text/plain; charset=utf-8");
    send_text(std::move(h), text, close_after);
  }

  void send_text(http::response_header<>&& h, const std::string& text, bool close_after) {
    auto res = std::make_shared<http::response<http::string_body>>(std::move(h));
    if (!head_request()) res->body() = text;
    res->content_length(text.size());
    write(res, close_after);
  }

  void send_empty(http::response_header<>&& h) {
    auto res = std::make_shared<http::response<http::empty_body>>(std::move(h));
    if (!res->has_content_length()) res->content_length(0);
    write(res);
  }

  bool head_request() const { return parser_ && parser_->is_header_done() && parser_->get().method() == http::verb::head; }

  // Writes a response, then reads the next request unless the connection is to end (the
  // client asked for it, or close_after).
  template <class Response>
  void write(std::shared_ptr<Response> res, bool close_after = false) {
    bool keep = !close_after && parser_ && parser_->is_header_done() && parser_->get().keep_alive();
    res->keep_alive(keep);
    stream_.expires_after(s_->opts.idle_timeout);
    http::async_write(stream_, *res, [self = shared_from_this(), res, keep](beast::error_code ec, size_t) {
      if (ec || !self->s_->running) return self->close();
      if (!keep) return std::make_shared<lingering_close>(std::move(self->stream_))->start();
      self->read_request();
    });
  }

  // Sends the file at path (or its ".gz" twin for a page that takes gzip), answering
  // If-None-Match and one Range.
  void serve_file(const std::string& path, http::response_header<>&& h, bool allow_gzip) {
    const http::request<http::empty_body>& req = parser_->get();
    std::error_code fe;
    if (!fs::is_regular_file(path, fe)) return reply(http::status::not_found, "Not found.\n", false);
    std::string send_path = path;
    bool gz = false;
    if (allow_gzip) {
      std::string twin = path + ".gz";
      if (fs::is_regular_file(twin, fe)) {
        h.set(http::field::vary, "Accept-Encoding");
        std::string_view accept = req[http::field::accept_encoding];
        if (accept.find("gzip") != std::string_view::npos && req[http::field::range].empty()) {
          send_path = twin;
          gz = true;
        }
      }
    }
    uint64_t size = fs::file_size(send_path, fe);
    if (fe) return reply(http::status::not_found, "Not found.\n", false);
    fs::file_time_type mtime = fs::last_write_time(send_path, fe);
    std::string etag = etag_of(size, mtime, gz);
    h.set(http::field::etag, etag);
    h.set(http::field::accept_ranges, "bytes");
    if (gz) h.set(http::field::content_encoding, "gzip");

    std::string_view inm = req[http::field::if_none_match];
    if (!inm.empty() && web::etag_matches(inm, etag)) {
      h.result(http::status::not_modified);
      auto res = std::make_shared<http::response<http::empty_body>>(std::move(h));
      return write(res);
    }

    uint64_t first = 0;
    uint64_t length = size;
    std::string_view range = req[http::field::range];
    std::string_view if_range = req[http::field::if_range];
    if (!range.empty() && (if_range.empty() || if_range == etag)) {
      web::range_result r = web::parse_range(range, size);
      if (r.kind == web::range_kind::unsatisfiable) {
        h.result(http::status::range_not_satisfiable);
        h.set(http::field::content_range, "bytes */" + std::to_string(size));
        h.set(http::field::content_type, "text/plain; charset=utf-8");
        h.erase(http::field::content_encoding);
        return send_text(std::move(h), "Range not satisfiable.\n", false);
      }
      if (r.kind == web::range_kind::one) {
        first = r.range.first;
        length = r.range.length;
        h.result(http::status::partial_content);
        h.set(http::field::content_range, "bytes " + std::to_string(first) + "-" + std::to_string(first + length - 1) + "/" + std::to_string(size));
      }
    }

    if (head_request()) {
      auto res = std::make_shared<http::response<http::empty_body>>(std::move(h));
      res->content_length(length);
      return write(res);
    }
    beast::error_code ec;
    beast::file file;
    file.open(send_path.c_str(), beast::file_mode::scan, ec);
    if (ec) return reply(http::status::not_found, "Not found.\n", false);
    auto res = std::make_shared<http::response<ranged_file_body>>(std::move(h));
    res->body().file = std::move(file);
    res->body().first = first;
    res->body().length = length;
    res->content_length(length);
    write(res);
  }

  void serve_static(std::string_view url_path) {
    std::optional<std::string> rel = web::static_file_path(url_path);
    if (!rel || s_->opts.static_dir.empty()) return reply(http::status::not_found, "Not found.\n", false);
    std::string path = s_->opts.static_dir + "/" + *rel;
    http::response_header<> h = header(http::status::ok);
    h.set(http::field::cache_control, "no-cache");
    h.set(http::field::content_type, web::content_type_of(*rel));
    serve_file(path, std::move(h), true);
  }

  // "ID/NAME": the name is only for the browser's sake; the id alone picks the file.
  void serve_offer(std::string_view rest) {
    std::string id(rest.substr(0, rest.find('/')));
    auto it = s_->offers.find(id);
    if (it == s_->offers.end()) return reply(http::status::not_found, "Not found.\n", false);
    const web_server::state::offered& offer = it->second;
    http::response_header<> h = header(http::status::ok);
    std::string type = web::content_type_of(offer.name);
    h.set(http::field::content_type, type);
    h.set(http::field::content_disposition, std::string(web::inline_type(type) ? "inline" : "attachment") +
                                                 "; filename*=UTF-8''" + kit::text::percent_encode(offer.name));
    // An offered file came from a phone or a disk: it may never run script in this origin.
    h.set("Content-Security-Policy", "sandbox; default-src 'none'");
    h.set(http::field::cache_control, "private, no-cache");
    serve_file(offer.path, std::move(h), false);
  }

  void begin_upload(const web::target_parts& target) {
    std::string id(target.path.substr(8));
    auto it = s_->upload_ids.find(id);
    if (it == s_->upload_ids.end()) return reply(http::status::not_found, "Not found.\n", true);
    const http::request<http::empty_body>& req = parser_->get();
    if (req.chunked() || !parser_->content_length())
      return reply(http::status::length_required, "An upload needs Content-Length.\n", true);
    const uint64_t length = *parser_->content_length();
    std::optional<uint64_t> free_bytes;
    if (s_->opts.free_space) {
      free_bytes = s_->opts.free_space();
    } else if (auto v = kit::platform::volume_of(s_->opts.temp_dir)) {
      free_bytes = v->available;
    }
    if (!free_bytes || length > *free_bytes)
      return reply(http::status::insufficient_storage,
                   "The file (" + std::to_string(length) + " bytes) does not fit in the temp folder (" +
                       (free_bytes ? std::to_string(*free_bytes) + " bytes free" : std::string("free space unknown")) + ").\n",
                   true);

    upload_.id = s_->next_upload++;
    upload_.client = it->second;
    upload_.name = web::safe_file_name(web::query_value(target.query, "name").value_or("file"));
    upload_.size = length;
    upload_.path = s_->opts.temp_dir + "/upload-" + std::to_string(upload_.id) + "-" + upload_.name;
    out_ = std::fopen(upload_.path.c_str(), "wbx");
    if (!out_) {
      upload_.path.clear();
      return reply(http::status::internal_server_error, "The upload could not be stored.\n", true);
    }
    body_parser_.emplace(std::move(*parser_));
    parser_.reset();
    body_parser_->body_limit(length);
    read_chunk();
  }

  void read_chunk() {
    http::request<http::buffer_body>& req = body_parser_->get();
    req.body().data = chunk_.data();
    req.body().size = chunk_.size();
    req.body().more = true;
    stream_.expires_after(s_->opts.idle_timeout);
    http::async_read_some(stream_, buffer_, *body_parser_, [self = shared_from_this()](beast::error_code ec, size_t) { self->on_chunk(ec); });
  }

  void on_chunk(beast::error_code ec) {
    if (ec == http::error::need_buffer) ec = {};
    size_t got = chunk_.size() - body_parser_->get().body().size;
    if (!s_->running) return close();
    if (got > 0 && out_ && std::fwrite(chunk_.data(), 1, got, out_) != got) return upload_failed();
    if (ec) {
      discard_upload();
      return close();
    }
    if (!body_parser_->is_done()) return read_chunk();
    bool flushed = std::fflush(out_) == 0 && !std::ferror(out_);
    bool closed = std::fclose(out_) == 0;
    out_ = nullptr;
    if (!flushed || !closed) return upload_failed();
    web_server::upload done = upload_;
    upload_ = {};
    body_parser_.reset();
    parser_.reset();
    if (s_->on_upload) {
      web_server::upload_handler handler = s_->on_upload;
      handler(done);
      if (!s_->running) return close();
    }
    http::response_header<> h = header(http::status::created);
    h.set(http::field::content_type, "application/json");
    send_text(std::move(h), "{\"upload\":" + std::to_string(done.id) + "}", true);
  }

  void upload_failed() {
    discard_upload();
    reply(http::status::insufficient_storage, "The upload could not be written to the temp folder.\n", true);
  }

  // Deletes an unfinished upload: a part of a file is never reported or left behind.
  void discard_upload() {
    if (out_) {
      std::fclose(out_);
      out_ = nullptr;
    }
    if (!upload_.path.empty()) {
      std::error_code ignored;
      fs::remove(upload_.path, ignored);
      upload_ = {};
    }
  }

  state_ptr s_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  std::optional<http::request_parser<http::buffer_body>> body_parser_;
  web_server::upload upload_;
  std::FILE* out_ = nullptr;
  std::array<char, 64 * 1024> chunk_{};
  uint64_t id_ = 0;
};

// Answers a connection over the limit and closes it.
void refuse(tcp::socket socket) {
  static const char reply[] =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 29\r\nConnection: close\r\n\r\n"
      "Too many open connections.\r\n\r\n";
  auto held = std::make_shared<beast::tcp_stream>(std::move(socket));
  held->expires_after(std::chrono::seconds(5));
  asio::async_write(*held, asio::buffer(reply, sizeof reply - 1), [held](beast::error_code ec, size_t) {
    if (ec) return held->close();
    std::make_shared<lingering_close>(std::move(*held))->start();
  });
}

void accept_next(const state_ptr& s) {
  s->acceptor.async_accept([s](beast::error_code ec, tcp::socket socket) {
    if (!s->running) return;
    if (ec) {
      if (ec == asio::error::operation_aborted) return;
      // Out of descriptors or a connection reset before it was taken: try again shortly.
      s->retry.expires_after(std::chrono::milliseconds(100));
      s->retry.async_wait([s](beast::error_code e) {
        if (!e && s->running) accept_next(s);
      });
      return;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);  // else each keep-alive reply waits on delayed ACKs
    if (s->connections.size() >= s->opts.max_connections) {
      refuse(std::move(socket));
    } else {
      std::make_shared<http_session>(s, std::move(socket))->start();
    }
    accept_next(s);
  });
}

} // namespace

web_server::web_server() = default;
web_server::~web_server() { stop(); }

std::string web_server::start(options opts, message_handler on_message, upload_handler on_upload) {
  stop();
  error_.clear();
  auto s = std::make_shared<state>(kit::platform::ui_io_context());
  s->opts = std::move(opts);
  if (s->opts.max_connections == 0) s->opts.max_connections = 1;
  beast::error_code ec;
  tcp::endpoint endpoint(asio::ip::address_v4::loopback(), s->opts.port);
  s->acceptor.open(endpoint.protocol(), ec);
  if (!ec) s->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) s->acceptor.bind(endpoint, ec);
  if (!ec) s->acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    error_ = "cannot listen on 127.0.0.1:" + std::to_string(s->opts.port) + ": " + ec.message();
    return {};
  }
  s->port = s->acceptor.local_endpoint(ec).port();
  s->key = web::random_token();
  s->cookie = web::cookie_name(s->port);
  s->on_message = std::move(on_message);
  s->on_upload = std::move(on_upload);
  s->running = true;
  state_ = s;
  accept_next(s);
  return "http://127.0.0.1:" + std::to_string(s->port) + "/?key=" + s->key;
}

void web_server::stop() {
  if (!state_) return;
  std::shared_ptr<state> s = std::move(state_);
  s->running = false;
  s->on_message = nullptr;
  s->on_upload = nullptr;
  beast::error_code ignored;
  s->acceptor.close(ignored);
  s->retry.cancel();
  std::vector<std::shared_ptr<web_connection>> open;
  for (auto& [id, weak] : s->connections)
    if (auto c = weak.lock()) open.push_back(c);
  for (auto& c : open) c->close();
  s->offers.clear();
  s->upload_ids.clear();
}

bool web_server::running() const { return state_ && state_->running; }
uint16_t web_server::port() const { return state_ ? state_->port : 0; }

bool web_server::send(uint64_t client, const std::string& text) {
  if (!state_) return false;
  if (client != 0) {
    auto it = state_->clients.find(client);
    if (it == state_->clients.end()) return false;
    auto ws = it->second.lock();
    return ws && ws->send(text);
  }
  std::vector<std::shared_ptr<ws_session>> all;
  for (auto& [id, weak] : state_->clients)
    if (auto ws = weak.lock()) all.push_back(ws);
  bool any = false;
  for (auto& ws : all) any = ws->send(text) || any;
  return any;
}

size_t web_server::client_count() const { return state_ ? state_->clients.size() : 0; }
size_t web_server::connection_count() const { return state_ ? state_->connections.size() : 0; }

std::string web_server::offer(const std::string& path, const std::string& name) {
  if (!state_) return {};
  std::error_code fe;
  if (!fs::is_regular_file(path, fe)) return {};
  std::string shown = name.empty() ? fs::path(path).filename().string() : name;
  shown = web::safe_file_name(shown);
  std::string id = web::random_token();
  state_->offers[id] = {path, shown};
  return "/files/" + id + "/" + kit::text::percent_encode(shown);
}

bool web_server::withdraw(const std::string& url) {
  if (!state_) return false;
  std::string_view rest = url;
  if (rest.substr(0, 7) != "/files/") return false;
  rest.remove_prefix(7);
  return state_->offers.erase(std::string(rest.substr(0, rest.find('/')))) > 0;
}

std::string web_server::upload_url(uint64_t client) {
  if (!state_) return {};
  std::string id = web::random_token();
  state_->upload_ids[id] = client;
  return "/upload/" + id;
}

} // namespace kit::net
