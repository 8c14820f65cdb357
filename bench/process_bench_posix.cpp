// The whole program, `quillprobe 0001`, as a child process on a hive that
// holds only the product record and on one that also holds 200,000 keys and
// 1,000,000 values: its time and its peak resident memory (the child's
// maximum resident set size, from wait4).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

// ProgramPrefix(large), made in a child process when it is not made yet: a
// child's peak memory counts what its parent had resident when it forked,
// so the benchmark's own process must stay small.
std::string PrefixSetting(bool large) {
  const pid_t child = fork();
  if (child == 0) {
    ProgramPrefix(large);
    _exit(0);
  }
  if (child > 0) waitpid(child, nullptr, 0);
  return "QUILLPROBE_PREFIX=" + ProgramPrefix(large).string();
}

// The peak resident memory of one run, in KiB, as /usr/bin/time reports
// it: its child's figure is not inflated by a large parent as ours is.
long PeakOfOneRun(const std::string& prefix_setting) {
  const std::string command = "env '" + prefix_setting +
                              "' /usr/bin/time -f %M -o /dev/stdout '" +
                              QUILLPROBE_BENCH_PROGRAM + "' 0001";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  long kib = 0;
  if (std::fscanf(pipe, "%ld", &kib) != 1) kib = 0;
  pclose(pipe);
  return kib;
}

void BM_Program(benchmark::State& state) {
  const bool large = state.range(0) != 0;
  const std::string setting = PrefixSetting(large);
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
  // Without /usr/bin/time, the children's own figure (an upper bound).
  const long measured = PeakOfOneRun(setting);
  state.counters["peak_kib"] =
      static_cast<double>(measured > 0 ? measured : peak_kib);
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
