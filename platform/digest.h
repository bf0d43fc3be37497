// Message digests the host needs: MD5 for the machine identifier.
#pragma once
#include <string>
#include <string_view>

namespace kit::platform {

// The MD5 digest of the bytes as 32 lower-case hexadecimal digits; empty on failure.
std::string md5_hex(std::string_view bytes);

} // namespace kit::platform
