// Fetching the update description over HTTP: at most its first 1024 bytes are read, and
// the newest version is "Nversion" of the first element of the root's "Kestrelbook" array.
#pragma once
#include <optional>
#include <string>

namespace kit::net {

// The newest version named by a description (empty when it names none or is not JSON of
// that shape).
std::string newest_version_of(const std::string& description);

// Fetches the description with the agent name "Corvella@Update". Nothing when the server
// cannot be reached, answers nothing, or the whole exchange does not end within five
// seconds (start-up waits for it).
std::optional<std::string> fetch_newest_version(const std::string& url);

} // namespace kit::net
