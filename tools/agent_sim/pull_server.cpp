// Port 12301: file pull, one persistent connection. Each request (type, length, path
// length, path; little-endian) is answered in order with a 6-byte header (the request
// type and the body length, big-endian) and the body: the sandbox file at that path when
// there is one, else made-up bytes for what the data set lists, else nothing (length 0).
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "options.h"
#include "agent_sim_wire.h"
#include "port_server.h"
#include "transfer_servers.h"
#include "transfer_storage.h"
#include "agent_sim_wire.h"

namespace agent_sim {

namespace {

constexpr size_t kChunk = 512000;


// Sends a body piece, in small paced pieces when asked to be slow.
bool send_piece(int fd, const char* p, size_t n, bool slow) {
  if (!slow) return send_all(fd, p, n);
  while (n > 0) {
    size_t k = n < 4096 ? n : 4096;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!send_all(fd, p, k)) return false;
    p += k;
    n -= k;
  }
  return true;
}


// One reply; false when the connection must end.
bool answer(int fd, uint16_t type, const std::string& path, const options& opts, phone_data& data) {
  const transfer_flags& misbehave = transfer_misbehaviour();
  const bool close_mid = misbehave.close_mid_file || opts.close_early;
  const uint32_t extra = misbehave.wrong_length ? 3 : 0;
  std::string target = sandbox_path(path);
  int in = target.empty() ? -1 : ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (in >= 0 && (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > UINT32_MAX)) {
    ::close(in);
    in = -1;
  }
  if (in < 0) {
    std::string body = made_up_content(type, path, data);
    auto length = static_cast<uint32_t>(body.size());
    std::string h = kit::agent::pull_reply_header(type, length);
    if (!send_all(fd, h.data(), h.size())) return false;
    size_t n = close_mid ? body.size() / 2 : body.size();
    if (!send_piece(fd, body.data(), n, misbehave.slow)) return false;
    if (close_mid) return false;
    return extra == 0 || send_all(fd, "???", extra);
  }
  auto length = static_cast<uint32_t>(st.st_size);
  std::string h = kit::agent::pull_reply_header(type, length);
  bool ok = send_all(fd, h.data(), h.size());
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  uint64_t left = close_mid ? length / 2 : length;
  while (ok && left > 0) {
    ssize_t n = ::read(in, buffer.get(), left < kChunk ? static_cast<size_t>(left) : kChunk);
    if (n <= 0) break;  // the file shrank: the host is left waiting, as with a real phone
    ok = send_piece(fd, buffer.get(), static_cast<size_t>(n), misbehave.slow);
    left -= static_cast<uint64_t>(n);
  }
  ::close(in);
  if (!ok || close_mid) return false;
  return extra == 0 || send_all(fd, "???", extra);
}

void serve(int fd, const options& opts, phone_data& data) {
  request req;
  while (read_request(fd, req)) {
    if (opts.silent) continue;
    request_reader args(req.payload);
    std::string path = args.str();
    if (!answer(fd, req.type, path, opts, data)) return;
  }
}

} // namespace

const port_server pull_server{"file pull", 12301, serve};

} // namespace agent_sim
