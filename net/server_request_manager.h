// "HttpRequest.Manager": JSON documents of the vendor's web service fetched one at a time
// and handed to script callbacks as tables (net/server_replies.h). Every request uses a
// fresh connection. Owned by the host: its release drops the queue, closes the client and
// gives back the callbacks.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include <functional>

#include <json/json.h>
#include "net/asyn_http.h"

namespace kit::net {

// The update endpoint's host when config.ini names none (key "server" of "[Update]").
constexpr const char* kDefaultUpdateServer = "update.mobrevist.example";

class CLuaSubHttpRequest : public asyn_http_event {
public:
  // The largest reply read: a longer one fails the request like an unreachable server.
  static constexpr size_t kMaxReply = size_t{16} << 20;

  CLuaSubHttpRequest() : client_(this) { client_.set_max_kept_body(kMaxReply); }
  ~CLuaSubHttpRequest() override;

  // (request type, parsed reply), on the UI thread.
  using reply_callback = std::function<void(int32_t type, const Json::Value& root)>;

  // Why a request gave no reply table: what failed ("network": the transfer, with the
  // socket's or the client's error number; "http": the server answered this status;
  // "reply": the answer (with this status) is no JSON document, or too large; "address":
  // the URL cannot be used, 0).
  using failure_callback = std::function<void(const char* what, int code)>;

  // Queues a GET; the callback (possibly empty) gets the parsed reply, on_failure (possibly
  // empty) why there is none. Returns the id.
  int32_t Queue(int32_t type, std::string url, reply_callback callback, failure_callback on_failure = {});
  // "http://<server>/" for the configured or the default update server.
  static std::string UpdateUrl();

  void on_response(int32_t id, http_response& response) override;
  void on_error(int32_t id, int error) override;

private:
  struct server_request {
    int32_t type = 0;
    int32_t state = 1;  // 1 queued, 2 sent
    reply_callback callback;
    failure_callback on_failure;
    std::string url;
  };
  // Sends the first queued request when the client is idle. A URL the client refuses
  // drops its request, and the next one is tried.
  void Dispatch();

  std::map<int32_t, server_request> requests_;
  uint32_t counter_ = 0;
  asyn_http client_;
};

} // namespace kit::net
