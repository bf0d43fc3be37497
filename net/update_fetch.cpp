#include "net/update_fetch.h"

#include <curl/curl.h>
#include <json/json.h>

#include "net/server_replies.h"

#include <memory>

namespace kit::net {

namespace {
constexpr size_t kMaxDescription = 1024;
constexpr long kWholeCheckMs = 5000;

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  size_t n = size * count;
  size_t room = kMaxDescription - body->size();
  body->append(data, n < room ? n : room);
  // Returning less than was given ends the transfer once the first 1024 bytes are in.
  return body->size() >= kMaxDescription ? 0 : n;
}
} // namespace

std::string newest_version_of(const std::string& description) {
  // The same parse as the server's replies: a nesting too deep for the parser is a
  // failed parse, never an exception out of start-up.
  std::optional<Json::Value> parsed = parse_server_reply(description);
  if (!parsed || !parsed->isObject()) return {};
  const Json::Value& root = *parsed;
  const Json::Value& list = root["Kestrelbook"];
  if (!list.isArray() || list.empty() || !list[0].isObject()) return {};
  const Json::Value& version = list[0]["Nversion"];
  return version.isString() ? version.asString() : std::string();
}

std::optional<std::string> fetch_newest_version(const std::string& url) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!initialised) return std::nullopt;
  std::unique_ptr<CURL, void (*)(CURL*)> handle(curl_easy_init(), curl_easy_cleanup);
  if (!handle) return std::nullopt;
  CURL* h = handle.get();
  std::string body;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Corvella@Update");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // Start-up waits for the check: name look-up, connection and reply together get five
  // seconds, however the network misbehaves.
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kWholeCheckMs);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kWholeCheckMs);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && body.size() >= kMaxDescription)) return std::nullopt;
  if (body.empty()) return std::nullopt;
  return newest_version_of(body);
}

} // namespace kit::net
