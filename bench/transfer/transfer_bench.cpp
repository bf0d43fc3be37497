// bench_transfer [SIZE_MIB] [--agent]: pushes and pulls a file (1024 MiB unless given)
// through the host's SendFile and GetFile managers to agent-sim (with --agent: to the
// phone-side agent, whose memory is reported too) over loopback, copies the same bytes
// over a plain loopback TCP connection as the baseline, and prints MB/s of each, the
// ratio host/baseline and the peak RSS. A warm-up round with a small file comes first, so
// the peak RSS after it and after the large round show whether memory grows with size.
// The files live in BENCH_DIR, else /dev/shm, else TMPDIR.
//
// On a busy machine one copy can run at half the speed of the next, so a ratio of two
// medians taken over different moments swings widely. Each run therefore copies the file
// three times in a row (push, baseline, pull), and the figure reported is the median of
// that run's own ratios: push and pull each against the baseline of the same run. The
// processor time both ends spend on a copy depends far less on the machine's other work
// than its duration does; its share of the baseline's is printed the same way.
//
// On Windows (under Wine) the run script starts the Linux agent-sim on loopback and passes
// BENCH_AGENT_PID and BENCH_AGENT_STORAGE (see bench_support.h); --agent is Linux only.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_support.h"
#ifndef _WIN32
#include "support/private_network.h"
#endif
#include "host_transfers.h"
#include "loopback_baseline.h"

using namespace transfer_bench;

namespace {

constexpr int kRepeats = 7;

// The median of values, or -1 when one of them is negative (a failed copy).
double median_of(const double (&values)[kRepeats]) {
  double sorted[kRepeats];
  std::copy(std::begin(values), std::end(values), sorted);
  std::sort(std::begin(sorted), std::end(sorted));
  return sorted[0] < 0 ? -1 : sorted[kRepeats / 2];
}

// Seconds of each repetition of one kind of copy (negative when one failed), and the
// processor seconds both ends used for it.
struct timings {
  double runs[kRepeats];
  double cpu[kRepeats];
  timings() {
    std::fill(std::begin(runs), std::end(runs), -1.0);
    std::fill(std::begin(cpu), std::end(cpu), -1.0);
  }
  double median() const { return median_of(runs); }
  // The median of this copy's processor time as a share of the baseline's, run by run.
  double median_cpu_share(const timings& baseline) const {
    double shares[kRepeats];
    for (int i = 0; i < kRepeats; ++i) shares[i] = cpu[i] > 0 && baseline.cpu[i] > 0 ? cpu[i] / baseline.cpu[i] : -1;
    return median_of(shares);
  }
  // The median of this copy's speed relative to the baseline's, run by run.
  double median_ratio(const timings& baseline) const {
    double ratios[kRepeats];
    for (int i = 0; i < kRepeats; ++i) {
      ratios[i] = runs[i] > 0 && baseline.runs[i] > 0 ? baseline.runs[i] / runs[i] : -1;
    }
    return median_of(ratios);
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
round_result run_round(host_transfers& host, int agent_pid, const std::string& dir, const std::string& storage,
                       uint64_t size) {
  round_result r;
  std::string source = dir + "/source.bin", copy = dir + "/baseline.bin", back = dir + "/pulled.bin";
  std::string remote = "/sdcard/bench/transfer.bin", on_phone = storage + "/sdcard/bench/transfer.bin";
  if (!make_file(source, size)) {
    r.identical = false;
    return r;
  }
  // Processor time of both ends: the agent's end is agent-sim for push and pull, a thread of
  // this process for the baseline.
  auto cpu_now = [agent_pid] { return cpu_seconds_self() + cpu_seconds_of(agent_pid); };
  auto timed = [&](timings& t, int i, auto copy_once) {
    double before = cpu_now();
    t.runs[i] = copy_once();
    t.cpu[i] = cpu_now() - before;
  };
  for (int i = 0; i < kRepeats; ++i) {
    timed(r.push, i, [&] { return host.push(source, remote); });
    timed(r.baseline, i, [&] { return loopback_copy(source, copy); });
    std::remove(copy.c_str());
    timed(r.pull, i, [&] { return host.pull(remote, back); });
    r.identical = r.identical && file_size(back) == size && same_content(source, back);
    std::remove(back.c_str());
    std::remove(on_phone.c_str());
  }
  std::remove(source.c_str());
  r.rss_kib = peak_rss_kib();
  return r;
}

// One kind of copy: its median speed, and with a baseline the median of the per-run ratios
// and each run's ratio.
void print_line(const char* what, uint64_t size, const timings& t, const timings* baseline) {
  std::printf("  %-44s %8.1f MB/s", what, mb_per_s(size, t.median()));
  if (baseline) std::printf("  ratio %.2f", t.median_ratio(*baseline));
  std::printf("   (runs:");
  for (int i = 0; i < kRepeats; ++i) {
    std::printf(" %.0f", mb_per_s(size, t.runs[i]));
    if (baseline && t.runs[i] > 0 && baseline->runs[i] > 0) std::printf("/%.2f", baseline->runs[i] / t.runs[i]);
  }
  std::printf(")\n");
}

// A pull reads into the file in large pieces, so it should cost about what a plain copy does.
constexpr double kPullSpeedTarget = 0.9;
constexpr double kPullCpuTarget = 1.1;

void print_round(const char* label, uint64_t size, const round_result& r) {
  std::printf("%s: %llu MiB, medians of %d runs (per run: MB/s/ratio)\n", label,
              static_cast<unsigned long long>(size >> 20), kRepeats);
  print_line("baseline (plain loopback, 512000-byte chunks)", size, r.baseline, nullptr);
  print_line("host push (SendFile.Manager)", size, r.push, &r.baseline);
  print_line("host pull (GetFile.Manager)", size, r.pull, &r.baseline);
  std::printf("  processor time of both ends, share of the baseline's: push %.2f, pull %.2f\n",
              r.push.median_cpu_share(r.baseline), r.pull.median_cpu_share(r.baseline));
  double pull_ratio = r.pull.median_ratio(r.baseline);
  double pull_share = r.pull.median_cpu_share(r.baseline);
  bool met = pull_ratio >= kPullSpeedTarget && pull_share <= kPullCpuTarget;
  std::printf("  pull target: speed ratio at least %.1f and processor-time share at most %.1f: %s\n",
              kPullSpeedTarget, kPullCpuTarget, met ? "met" : "MISSED");
  std::printf("  round trips byte-identical: %s\n", r.identical ? "yes" : "NO");
  std::printf("  peak RSS so far: %.1f MiB\n", static_cast<double>(r.rss_kib) / 1024.0);
  std::fflush(stdout);
}

// Memory-backed when possible, so the disk's write-back does not decide the figures.
std::string work_folder() {
  const char* chosen = std::getenv("BENCH_DIR");
  if (chosen && *chosen) return chosen;
#ifdef _WIN32
  return std::filesystem::temp_directory_path().generic_string();
#else
  if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
#endif
}

} // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  uint64_t size_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  if (size_mib == 0) size_mib = 1024;
  const bool phone_agent = argc > 2 && std::string(argv[2]) == "--agent";
#ifndef _WIN32
  // (On Windows the run script gives the whole run a network namespace where it can.)
  if (!testsupport::enter_private_network())
    std::fprintf(stderr, "bench_transfer: no private network; using the shared loopback (ports 12301, 12302)\n");
#endif

  std::string dir = make_work_folder(work_folder());
  if (dir.empty()) {
    std::fprintf(stderr, "bench_transfer: no folder could be made in %s\n", work_folder().c_str());
    return 1;
  }
  std::string storage = agent_storage(dir);
  if (storage.empty()) {
    std::fprintf(stderr, "bench_transfer: no storage folder for the agent (on Windows: BENCH_AGENT_STORAGE)\n");
    std::filesystem::remove_all(dir);
    return 1;
  }
  int rc = 0;
  {
    agent_process agent(storage, phone_agent);
    const char* name = phone_agent ? "mobrevist-agent" : "agent-sim";
    if (!agent.ready()) {
      std::fprintf(stderr, "bench_transfer: %s did not start\n", name);
      std::filesystem::remove_all(dir);
      return 1;
    }
    std::printf("agent: %s, resident while idle: %.1f MiB\n", name, rss_kib_of(agent.pid(), "VmRSS") / 1024.0);
    host_transfers host;
    round_result warm = run_round(host, agent.pid(), dir, storage, 64ull << 20);
    print_round("warm-up", 64ull << 20, warm);
    round_result big = run_round(host, agent.pid(), dir, storage, size_mib << 20);
    print_round("measured", size_mib << 20, big);
    double growth = static_cast<double>(big.rss_kib - warm.rss_kib) / 1024.0;
    std::printf("peak RSS growth from the %llu MiB round to the %llu MiB round: %.1f MiB\n", 64ull,
                static_cast<unsigned long long>(size_mib), growth);
    std::printf("agent's peak resident memory: %.1f MiB\n", rss_kib_of(agent.pid(), "VmHWM") / 1024.0);
    std::printf("files in %s\n", dir.c_str());
    if (big.push.median() < 0 || big.pull.median() < 0 || big.baseline.median() < 0 || !big.identical) rc = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return ec ? 1 : rc;
}
