// The whole program, `quillprobe 0001`, as a child process on a hive that
// holds only the product record and on one that also holds 200,000 keys and
// 1,000,000 values: its time and its peak resident memory (the child's
// maximum resident set size, from wait4).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "bench/bench_hives.h"

namespace quillprobe::bench {
namespace {

// Runs the program on `prefix`; its exit status, or -1 when it could not be
// run. *peak_kib receives the child's peak resident set size.
int RunProgram(const std::string& prefix_setting, long* peak_kib) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    char* const argv[] = {const_cast<char*>("quillprobe"),
                          const_cast<char*>("0001"), nullptr};
    char* const envp[] = {const_cast<char*>(prefix_setting.c_str()), nullptr};
    execve(QUILLPROBE_BENCH_PROGRAM, argv, envp);
    _exit(127);
  }
  int wait_status = 0;
  rusage usage{};
  if (wait4(child, &wait_status, 0, &usage) != child) return -1;
  *peak_kib = usage.ru_maxrss;
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

void BM_Program(benchmark::State& state) {
  const bool large = state.range(0) != 0;
  const std::string setting =
      "QUILLPROBE_PREFIX=" + ProgramPrefix(large).string();
  long peak_kib = 0;
  for (auto _ : state) {
    long run_peak = 0;
    if (const int code = RunProgram(setting, &run_peak); code != 0) {
      state.SkipWithError(
          ("quillprobe 0001 ended with " + std::to_string(code)).c_str());
      break;
    }
    peak_kib = std::max(peak_kib, run_peak);
  }
  state.counters["peak_kib"] = static_cast<double>(peak_kib);
}
// Arg 0: the hive holding only the record; 1: the large hive.
BENCHMARK(BM_Program)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillprobe::bench
