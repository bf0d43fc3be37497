#include "net/update_fetch.h"

#include <json/json.h>

#include "net/server_replies.h"
#include "platform/url_fetch.h"

#include <memory>

namespace kit::net {

namespace {
constexpr size_t kMaxDescription = 1024;
constexpr long kWholeCheckMs = 5000;

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
  // Start-up waits for the check: five seconds at most, however the network misbehaves.
  std::optional<std::string> body = platform::fetch_url(url, "Corvella@Update", kMaxDescription, kWholeCheckMs);
  if (!body || body->empty()) return std::nullopt;
  return newest_version_of(*body);
}

} // namespace kit::net
