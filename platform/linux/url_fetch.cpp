// The system's HTTP client is libcurl, loaded when the first request is made: most runs
// never make one, and linking it costs every start-up the loading of its many libraries.
#include "platform/url_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/dynamic_library.h"

namespace kit::platform {

namespace {

struct curl_api {
  std::unique_ptr<dynamic_library> library;
  CURLcode (*global_init)(long) = nullptr;
  CURL* (*easy_init)() = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
};

const curl_api* load_curl() {
  static std::once_flag once;
  static curl_api api;
  static bool ready = false;
  std::call_once(once, [] {
    api.library = dynamic_library::open("libcurl.so.4", dynamic_library::lifetime::process);
    if (!api.library) return;
    api.global_init = api.library->function<decltype(api.global_init)>("curl_global_init");
    api.easy_init = api.library->function<decltype(api.easy_init)>("curl_easy_init");
    api.easy_cleanup = api.library->function<decltype(api.easy_cleanup)>("curl_easy_cleanup");
    api.easy_setopt = api.library->function<decltype(api.easy_setopt)>("curl_easy_setopt");
    api.easy_perform = api.library->function<decltype(api.easy_perform)>("curl_easy_perform");
    ready = api.global_init && api.easy_init && api.easy_cleanup && api.easy_setopt && api.easy_perform &&
            api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  });
  return ready ? &api : nullptr;
}

struct collected {
  std::string body;
  size_t limit;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* out = static_cast<collected*>(user);
  size_t n = size * count;
  size_t room = out->limit - out->body.size();
  out->body.append(data, n < room ? n : room);
  // Returning less than was given ends the transfer once the limit is reached.
  return out->body.size() >= out->limit ? 0 : n;
}

} // namespace

std::optional<std::string> fetch_url(const std::string& url, const std::string& user_agent, size_t max_bytes,
                                     long deadline_ms) {
  const curl_api* curl = load_curl();
  if (!curl || max_bytes == 0) return std::nullopt;
  std::unique_ptr<CURL, void (*)(CURL*)> handle(curl->easy_init(), curl->easy_cleanup);
  if (!handle) return std::nullopt;
  CURL* h = handle.get();
  collected out{{}, max_bytes};
  curl->easy_setopt(h, CURLOPT_URL, url.c_str());
  curl->easy_setopt(h, CURLOPT_USERAGENT, user_agent.c_str());
  curl->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // Name look-up, connection and reply together get the deadline, however the network
  // misbehaves.
  curl->easy_setopt(h, CURLOPT_TIMEOUT_MS, deadline_ms);
  curl->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, deadline_ms);
  curl->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl->easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
  curl->easy_setopt(h, CURLOPT_WRITEDATA, &out);
  CURLcode rc = curl->easy_perform(h);
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && out.body.size() >= max_bytes)) return std::nullopt;
  return out.body;
}

} // namespace kit::platform
