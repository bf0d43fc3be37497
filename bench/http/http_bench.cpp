// bench_http [SIZE_MIB]: downloads a file (1024 MiB unless given) from a private nginx on
// loopback with the host's asyn_http_file and with `curl -o`, five times each, interleaved,
// into the same folder (BENCH_DIR, else /dev/shm, else TMPDIR). Prints MB/s of each, the
// median of the per-run ratios host/curl, and the host's peak RSS after a 64 MiB round and
// after the large round (memory must not grow with the file size).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_convert.h"
#include "net/asyn_http_file.h"
#include "platform/ui_loop.h"
#include "support/nginx_fixture.h"

namespace {

constexpr int kRepeats = 5;

double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long peak_rss_kib() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A file of size bytes with a pattern every 4 KiB and holes between (nginx reads holes
// as zeros): no disk or memory is spent on the source.
bool make_source(const std::string& path, uint64_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) return false;
  for (uint64_t at = 0; at + 8 <= size; at += 1 << 20)
    if (::pwrite(fd, &at, 8, static_cast<off_t>(at)) != 8) return false;
  return ::close(fd) == 0;
}

struct sink : kit::net::asyn_http_file_event {
  bool ok = false;
  void on_ready(int32_t, const std::string&, uint64_t, const std::string&, int result) override {
    ok = result == 0;
    kit::platform::ui_loop::instance().stop();
  }
  void on_error(int32_t, const std::string&, const kit::net::download_error& failure) override {
    int error = failure.code;
    std::fprintf(stderr, "host download failed: %d\n", error);
    kit::platform::ui_loop::instance().stop();
  }
};

double host_download(const std::string& url, const std::string& dest) {
  sink events;
  kit::net::asyn_http_file file(&events);
  double start = now_s();
  if (!file.request_file({}, dest, 1, url)) return -1;
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  loop.run();
  return events.ok ? now_s() - start : -1;
}

double curl_download(const std::string& url, const std::string& dest) {
  double start = now_s();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execlp("curl", "curl", "-s", "-f", "-o", dest.c_str(), url.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? now_s() - start : -1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() || v[0] < 0 ? -1 : v[v.size() / 2];
}

std::string out_dir() {
  if (const char* d = std::getenv("BENCH_DIR")) return d;
  struct stat st {};
  if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) return "/dev/shm";
  const char* t = std::getenv("TMPDIR");
  return t ? t : "/tmp";
}

// One round: the source made, kRepeats host and curl downloads interleaved, each copy
// checked and removed at once so the folder never holds more than one of them.
bool round(testsupport::nginx_server& nginx, const std::string& dir, uint64_t size, bool print) {
  std::string name = "bench-" + std::to_string(size) + ".bin";
  if (!make_source(nginx.root() + "/" + name, size)) return false;
  std::string dest = dir + "/mobrevist-bench-http-" + std::to_string(::getpid()) + ".bin";
  std::vector<double> host, curl, ratios;
  bool ok = true;
  for (int i = 0; i < kRepeats; ++i) {
    double h = host_download(nginx.url("/" + name), dest);
    ok = ok && h > 0 && file_size(dest) == size;
    ::unlink(dest.c_str());
    double c = curl_download(nginx.url("/" + name), dest);
    ok = ok && c > 0 && file_size(dest) == size;
    ::unlink(dest.c_str());
    host.push_back(h);
    curl.push_back(c);
    if (h > 0 && c > 0) ratios.push_back(c / h);  // host MB/s over curl MB/s
  }
  ::unlink((nginx.root() + "/" + name).c_str());
  if (print) {
    double mb = static_cast<double>(size) / 1e6;
    std::printf("file %llu MiB into %s, %d runs each, interleaved\n", static_cast<unsigned long long>(size >> 20),
                dir.c_str(), kRepeats);
    std::printf("  host asyn_http_file: %8.0f MB/s (median)\n", mb / median(host));
    std::printf("  curl -o:             %8.0f MB/s (median)\n", mb / median(curl));
    std::printf("  ratio host/curl:     %8.2f (median of per-run ratios)\n", median(ratios));
  }
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  uint64_t size_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  testsupport::nginx_server nginx;
  if (!nginx.started()) {
    std::fprintf(stderr, "nginx did not start (scripts/setup installs it)\n");
    return 1;
  }
  std::string dir = out_dir();
  bool ok = round(nginx, dir, UINT64_C(64) << 20, true);
  long rss_small = peak_rss_kib();
  ok = round(nginx, dir, size_mib << 20, true) && ok;
  long rss_large = peak_rss_kib();
  std::printf("peak RSS: %.1f MiB after the 64 MiB round, %.1f MiB after the %llu MiB round\n", rss_small / 1024.0,
              rss_large / 1024.0, static_cast<unsigned long long>(size_mib));
  if (!ok) std::fprintf(stderr, "a download failed or came out with the wrong size\n");
  return ok ? 0 : 1;
}
