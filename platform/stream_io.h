// Blocking reads and writes on a connected stream socket, for code that owns a thread and
// may wait: whole buffers or nothing, interrupted calls retried, no SIGPIPE on a closed peer.
#pragma once
#include <cstddef>
#include <string>

namespace kit::platform {

// Sends every byte; false when the peer is gone or the socket fails.
bool send_all(int fd, const void* data, size_t length);
// Reads exactly length bytes; false when the peer closes first or the socket fails.
bool read_exact(int fd, void* data, size_t length);
// Everything until the peer closes (or the socket fails).
std::string read_to_end(int fd);

} // namespace kit::platform
