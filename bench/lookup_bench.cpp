// Reading one key of the local registry: a snapshot against the bare
// enumeration that any snapshot must do, and lookups by name against the
// same lookups in a small table.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_hives.h"
#include "registry/cregistry.h"
#include "registry/local_registry.h"

namespace quillprobe::bench {
namespace {

using registry::HKey;
namespace status = registry::status;

constexpr const char* kTableKey = "SOFTWARE\\Bench";

class SilentBox final : public registry::MessageBoxSink {
 public:
  void Show(std::string_view, std::optional<std::string_view>) override {}
};

// The floor of any snapshot: open the key, ask its sizes, enumerate every
// value with its data and every subkey through the registry interface.
void BM_EnumerateValues(benchmark::State& state) {
  ScratchPrefix prefix;
  const auto rows = static_cast<std::size_t>(state.range(0));
  WriteValueTableHive(prefix.path(), rows);
  registry::LocalRegistry api(prefix.path());
  for (auto _ : state) {
    HKey key = registry::kNoKey;
    if (api.OpenKeyEx(registry::roots::kCurrentUser, kTableKey, 0,
                      registry::access::kRead, &key) != status::kSuccess) {
      state.SkipWithError("open failed");
      break;
    }
    registry::KeyInfo info;
    api.QueryInfoKey(key, nullptr, nullptr, &info);
    std::vector<char> name(info.max_value_name_length + 1u);
    std::vector<std::uint8_t> data(info.max_value_data_length);
    std::size_t seen = 0;
    for (std::uint32_t index = 0;; ++index) {
      auto name_length = static_cast<std::uint32_t>(name.size());
      auto data_length = static_cast<std::uint32_t>(data.size());
      std::uint32_t type = 0;
      if (api.EnumValue(key, index, name.data(), &name_length, &type,
                        data.data(), &data_length) != status::kSuccess) {
        break;
      }
      ++seen;
    }
    std::vector<char> subkey(info.max_subkey_name_length + 1u);
    for (std::uint32_t index = 0;; ++index) {
      auto length = static_cast<std::uint32_t>(subkey.size());
      if (api.EnumKeyEx(key, index, subkey.data(), &length, nullptr, nullptr,
                        nullptr) != status::kSuccess) {
        break;
      }
    }
    api.CloseKey(key);
    if (seen != rows) state.SkipWithError("enumeration stopped early");
    benchmark::DoNotOptimize(seen);
  }
}
BENCHMARK(BM_EnumerateValues)->Arg(32767)->Unit(benchmark::kMillisecond);

// A snapshot: CRegistry's key property on the same key.
void BM_Snapshot(benchmark::State& state) {
  ScratchPrefix prefix;
  const auto rows = static_cast<std::size_t>(state.range(0));
  WriteValueTableHive(prefix.path(), rows);
  registry::LocalRegistry api(prefix.path());
  SilentBox box;
  registry::CRegistry object(api, box);
  object.root(registry::kHkeyCurrentUser);
  for (auto _ : state) {
    object.key(kTableKey);
    if (static_cast<std::size_t>(object.ValueCount()) != rows) {
      state.SkipWithError("snapshot incomplete");
      break;
    }
  }
}
BENCHMARK(BM_Snapshot)->Arg(32767)->Unit(benchmark::kMillisecond);

// GetValue by name on a table of state.range(0) rows: the last row's name
// (a hit) or a name that no row has (a miss). A miss on a full table of
// 32,767 rows ends in the row counter's overflow, which is the contract;
// the misses are measured on 32,766 rows, where a lookup ends normally.
void GetValueBench(benchmark::State& state, bool hit) {
  ScratchPrefix prefix;
  const auto rows = static_cast<std::size_t>(state.range(0));
  WriteValueTableHive(prefix.path(), rows);
  registry::LocalRegistry api(prefix.path());
  SilentBox box;
  registry::CRegistry object(api, box);
  object.root(registry::kHkeyCurrentUser);
  object.key(kTableKey);
  const std::string name = hit ? RowName(rows - 1) : "No Such Value";
  const registry::VariantRequest request(name);
  // The first lookup after a snapshot may build an index; that is part of
  // the snapshot's cost, not of a lookup.
  benchmark::DoNotOptimize(object.GetValue(request, "default"));
  for (auto _ : state) {
    std::string data = object.GetValue(request, "default");
    benchmark::DoNotOptimize(data);
  }
  if (hit != (object.GetValue(request, "default") != "default")) {
    state.SkipWithError("unexpected lookup result");
  }
}
void BM_GetValueHit(benchmark::State& state) { GetValueBench(state, true); }
void BM_GetValueMiss(benchmark::State& state) { GetValueBench(state, false); }
BENCHMARK(BM_GetValueHit)->Arg(10)->Arg(32767);
BENCHMARK(BM_GetValueMiss)->Arg(10)->Arg(32766);

}  // namespace
}  // namespace quillprobe::bench
