#include "loopback_baseline.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "bench_support.h"
#include "platform/stream_io.h"

namespace transfer_bench {

using kit::platform::send_all;

double loopback_copy(const std::string& source, const std::string& destination) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof at;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    ::close(listener);
    return -1;
  }
  bool received_ok = false;
  uint64_t start = now_ns();
  std::thread receiver([&] {
    int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    bool ok = c >= 0 && out >= 0;
    while (ok) {
      ssize_t n = ::recv(c, buffer.get(), kChunk, 0);
      if (n == 0) break;
      ok = n > 0 && ::write(out, buffer.get(), static_cast<size_t>(n)) == n;
    }
    if (out >= 0) ::close(out);
    if (c >= 0) ::close(c);
    received_ok = ok;
  });
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  bool ok = s >= 0 && in >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  while (ok) {
    ssize_t n = ::read(in, buffer.get(), kChunk);
    if (n <= 0) break;
    ok = send_all(s, buffer.get(), static_cast<size_t>(n));
  }
  if (in >= 0) ::close(in);
  if (s >= 0) ::close(s);
  receiver.join();
  double seconds = seconds_since(start);
  ::close(listener);
  return ok && received_ok ? seconds : -1;
}

} // namespace transfer_bench
