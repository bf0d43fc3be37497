// bench_transfer [SIZE_MIB]: pushes and pulls a file (1024 MiB unless given) through the
// host's SendFile and GetFile managers to agent-sim over loopback, copies the same bytes
// over a plain loopback TCP connection as the baseline, and prints MB/s of each, the
// ratio host/baseline and the peak RSS. A warm-up round with a small file comes first, so
// the peak RSS after it and after the large round show whether memory grows with size.
// The files live in BENCH_DIR, else /dev/shm, else TMPDIR.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "support/private_network.h"
#include "host_transfers.h"
#include "loopback_baseline.h"

using namespace transfer_bench;

namespace {

constexpr int kRepeats = 5;

// Seconds of each repetition of one kind of copy; negative when one failed.
struct timings {
  double runs[kRepeats] = {-1, -1, -1, -1, -1};
  double median() const {
    double sorted[kRepeats];
    std::copy(std::begin(runs), std::end(runs), sorted);
    std::sort(std::begin(sorted), std::end(sorted));
    return sorted[0] < 0 ? -1 : sorted[kRepeats / 2];
  }
};

struct round_result {
  timings baseline, push, pull;
  bool identical = true;
  long rss_kib = 0;
};

double mb_per_s(uint64_t bytes, double seconds) { return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0; }

// Each repetition runs the three copies one after the other, so that a slow spell of the
// machine hits all three alike. The baseline runs between push and pull, while the pushed
// copy still exists: it then writes its copy with the same amount of memory-backed files
// around as the pull does (the first writes into memory not yet used since boot cost more
// and would otherwise fall on one side only).
round_result run_round(host_transfers& host, const std::string& dir, const std::string& storage, uint64_t size) {
  round_result r;
  std::string source = dir + "/source.bin", copy = dir + "/baseline.bin", back = dir + "/pulled.bin";
  std::string remote = "/sdcard/bench/transfer.bin", on_phone = storage + "/sdcard/bench/transfer.bin";
  if (!make_file(source, size)) {
    r.identical = false;
    return r;
  }
  for (int i = 0; i < kRepeats; ++i) {
    r.push.runs[i] = host.push(source, remote);
    r.baseline.runs[i] = loopback_copy(source, copy);
    ::unlink(copy.c_str());
    r.pull.runs[i] = host.pull(remote, back);
    r.identical = r.identical && file_size(back) == size && same_content(source, back);
    ::unlink(back.c_str());
    ::unlink(on_phone.c_str());
  }
  ::unlink(source.c_str());
  r.rss_kib = peak_rss_kib();
  return r;
}

void print_line(const char* what, uint64_t size, const timings& t, double base) {
  double median = mb_per_s(size, t.median());
  std::printf("  %-44s %8.1f MB/s", what, median);
  if (base > 0) std::printf("  ratio %.2f", median / base);
  std::printf("   (runs:");
  for (double s : t.runs) std::printf(" %.1f", mb_per_s(size, s));
  std::printf(")\n");
}

void print_round(const char* label, uint64_t size, const round_result& r) {
  double base = mb_per_s(size, r.baseline.median());
  std::printf("%s: %llu MiB, median of %d runs\n", label, static_cast<unsigned long long>(size >> 20), kRepeats);
  print_line("baseline (plain loopback, 512000-byte chunks)", size, r.baseline, 0);
  print_line("host push (SendFile.Manager)", size, r.push, base);
  print_line("host pull (GetFile.Manager)", size, r.pull, base);
  std::printf("  round trips byte-identical: %s\n", r.identical ? "yes" : "NO");
  std::printf("  peak RSS so far: %.1f MiB\n", static_cast<double>(r.rss_kib) / 1024.0);
  std::fflush(stdout);
}

// Memory-backed when possible, so the disk's write-back does not decide the figures.
std::string work_folder() {
  const char* chosen = std::getenv("BENCH_DIR");
  if (chosen && *chosen) return chosen;
  if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  uint64_t size_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  if (size_mib == 0) size_mib = 1024;
  if (!testsupport::enter_private_network())
    std::fprintf(stderr, "bench_transfer: no private network; using the shared loopback (ports 12301, 12302)\n");

  std::string dir = work_folder() + "/bench-transfer-XXXXXX";
  if (!::mkdtemp(dir.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string storage = dir + "/phone";
  ::mkdir(storage.c_str(), 0755);
  int rc = 0;
  {
    agent_process agent(storage);
    if (!agent.ready()) {
      std::fprintf(stderr, "bench_transfer: agent-sim did not start\n");
      return 1;
    }
    host_transfers host;
    round_result warm = run_round(host, dir, storage, 64ull << 20);
    print_round("warm-up", 64ull << 20, warm);
    round_result big = run_round(host, dir, storage, size_mib << 20);
    print_round("measured", size_mib << 20, big);
    double growth = static_cast<double>(big.rss_kib - warm.rss_kib) / 1024.0;
    std::printf("peak RSS growth from the %llu MiB round to the %llu MiB round: %.1f MiB\n", 64ull,
                static_cast<unsigned long long>(size_mib), growth);
    std::printf("files in %s\n", dir.c_str());
    if (big.push.median() < 0 || big.pull.median() < 0 || big.baseline.median() < 0 || !big.identical) rc = 1;
  }
  std::string cleanup = "rm -rf '" + dir + "'";
  if (std::system(cleanup.c_str()) != 0) rc = 1;
  return rc;
}
