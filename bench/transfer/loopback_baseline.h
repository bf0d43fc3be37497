// The loopback limit: the same file copied over a plain loopback TCP connection, read and
// sent in the push chunk size, received and written in the same size.
#pragma once
#include <string>

namespace transfer_bench {

// Copies source to destination through 127.0.0.1; returns the seconds taken, or a negative
// value on failure.
double loopback_copy(const std::string& source, const std::string& destination);

} // namespace transfer_bench
