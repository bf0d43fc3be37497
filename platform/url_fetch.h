// One HTTP GET through the system's HTTP client, for the start-up update check: proxies
// from the environment, a whole-request deadline, and at most a bounded number of bytes.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace kit::platform {

// The first max_bytes of the body at url (all of it when shorter), or nothing when the
// server could not be reached, answered nothing, or the deadline passed. Redirects are not
// followed. The client library is loaded on the first call.
std::optional<std::string> fetch_url(const std::string& url, const std::string& user_agent, size_t max_bytes,
                                     long deadline_ms);

} // namespace kit::platform
