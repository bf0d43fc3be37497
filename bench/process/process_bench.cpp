// Starting a short program, and collecting a large output while the program runs.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/process.h"

// A program that does nothing: Windows has no "true", its command interpreter ends at once.
#ifdef _WIN32
static const char* const kShortCommand = "cmd /c exit";
#else
static const char* const kShortCommand = "true";
#endif

static void ShortCommand(benchmark::State& state) {
  for (auto _ : state) {
    kit::platform::process p;
    auto r = p.run(kShortCommand, -1);
    benchmark::DoNotOptimize(r.exit_code);
  }
}
BENCHMARK(ShortCommand)->Unit(benchmark::kMillisecond);

// The output comes from the POSIX tools sh and head.
#ifndef _WIN32
static void LargeOutput(benchmark::State& state) {
  const std::string line = "sh -c \"head -c " + std::to_string(state.range(0)) + " /dev/zero\"";
  for (auto _ : state) {
    kit::platform::process p;
    auto r = p.run(line, -1);
    benchmark::DoNotOptimize(r.output.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(LargeOutput)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
#endif
