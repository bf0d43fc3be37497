// Port 12302: file push, one file per connection. Reads the header (type, length,
// destination length, all little-endian) and the destination, then exactly the announced
// number of file bytes, stores them in the sandbox at the destination and answers with one
// byte. A destination that would leave the sandbox is read and thrown away.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "options.h"
#include "agent_sim_wire.h"
#include "port_server.h"
#include "agent_sim_wire.h"
#include "transfer_servers.h"
#include "transfer_storage.h"

namespace agent_sim {

namespace {

constexpr size_t kBuffer = 512000;
constexpr uint32_t kMaxDestination = 64 * 1024;


uint32_t le32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void serve(int fd, const options& opts, phone_data&) {
  const transfer_flags& misbehave = transfer_misbehaviour();
  unsigned char h[10];
  if (!read_exact(fd, reinterpret_cast<char*>(h), sizeof h)) return;
  uint32_t length = le32(h + 2), dest_length = le32(h + 6);
  if (dest_length > kMaxDestination || length < 4 + dest_length) return;  // not a push header
  std::string destination(dest_length, '\0');
  if (!read_exact(fd, destination.data(), dest_length)) return;
  uint64_t file_length = length - 4 - dest_length;

  std::string target = sandbox_path(destination);
  int out = -1;
  std::string partial = target + ".part";
  if (target.empty() || !make_parent_folders(target)) {
    std::fprintf(stderr, "agent-sim: push to '%s' refused (outside the storage)\n", destination.c_str());
  } else {
    out = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  std::unique_ptr<char[]> buffer(new char[kBuffer]);
  uint64_t left = file_length;
  const uint64_t stop_at = misbehave.close_mid_file || opts.close_early ? file_length / 2 : UINT64_MAX;
  bool ok = true;
  while (left > 0 && ok) {
    if (file_length - left >= stop_at && file_length - left > 0) {
      ok = false;
      break;
    }
    size_t want = left < kBuffer ? static_cast<size_t>(left) : kBuffer;
    if (misbehave.slow) {
      want = want < 4096 ? want : 4096;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ssize_t n = ::recv(fd, buffer.get(), want, 0);
    if (n <= 0) {
      ok = false;
      break;
    }
    left -= static_cast<uint64_t>(n);
    if (out >= 0) {
      ssize_t w = ::write(out, buffer.get(), static_cast<size_t>(n));
      if (w != n) ok = false;
    }
  }
  // A push that was not stored is not acknowledged: the connection closes instead.
  bool stored = false;
  if (out >= 0) {
    stored = ::close(out) == 0 && ok && std::rename(partial.c_str(), target.c_str()) == 0;
    if (!stored) ::unlink(partial.c_str());
  }
  if (!stored) return;
  if (misbehave.no_ack || opts.silent) {
    char ignored[256];
    while (::recv(fd, ignored, sizeof ignored, 0) > 0) {
    }
    return;
  }
  char ack = 1;
  ssize_t sent = ::send(fd, &ack, 1, MSG_NOSIGNAL);
  (void)sent;
}

} // namespace

const port_server push_server{"file push", 12302, serve};

} // namespace agent_sim
