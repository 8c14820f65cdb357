// One durable SetValue (the change is on disk when the call returns) into
// the product record of the large hive and of the small one.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_hives.h"
#include "registry/local_registry.h"

namespace quillprobe::bench {
namespace {

namespace status = registry::status;

void BM_SetValue(benchmark::State& state) {
  const bool large = state.range(0) != 0;
  ScratchPrefix prefix;
  CopyHives(ProgramPrefix(large), prefix.path());
  registry::LocalRegistry api(prefix.path());
  registry::HKey key = registry::kNoKey;
  if (api.OpenKeyEx(registry::roots::kLocalMachine, kRecordKey, 0,
                    registry::access::kAllAccess, &key) != status::kSuccess) {
    state.SkipWithError("cannot open the record");
    return;
  }
  std::uint64_t round = 0;
  const auto write = [&] {
    const std::string data = "run " + std::to_string(++round);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.c_str());
    return api.SetValueEx(key, "Last Run", registry::value_type::kSz,
                          {bytes, data.size() + 1}) == status::kSuccess;
  };
  // The copy is a file the store did not write: its first change parses it
  // and writes it anew, once, as for any file edited by hand. The writes
  // measured are those into a hive the store keeps.
  if (!write()) {
    state.SkipWithError("SetValueEx failed");
    return;
  }
  for (auto _ : state) {
    if (!write()) {
      state.SkipWithError("SetValueEx failed");
      break;
    }
  }
  api.CloseKey(key);
}
// Arg 0: the hive holding only the record; 1: the large hive.
BENCHMARK(BM_SetValue)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillprobe::bench
