// Throughput of the local registry's store on a hive of about 10 MB: loading
// the hive file into a registry, and writing one value, which saves the
// whole hive (temporary file, fsync, rename, directory fsync). The codec's
// share of each is measured on its own, in memory. Bytes per second are
// bytes of the hive file, over wall-clock time (a write waits for the disk).
//
// The hive lives in the system's temporary directory ($TMPDIR), so the
// write figures include the cost of syncing that file system.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "registry/local_registry.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace quillprobe::registry {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kTargetBytes = 10 * 1000 * 1000;

std::vector<std::uint8_t> Text(const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

// A hive shaped like a machine's software keys: vendors, products,
// versions, each key with a handful of values of the usual types, until
// its file holds about kTargetBytes.
std::shared_ptr<Key> MakeHive() {
  auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
  Key& software = root->AddSubkey("SOFTWARE", "");
  std::mt19937 random(42);
  std::size_t bytes = 0;
  for (int vendor = 0; bytes < kTargetBytes; ++vendor) {
    Key& v = software.AddSubkey("Vendor " + std::to_string(vendor), "");
    for (int product = 0; product < 10 && bytes < kTargetBytes; ++product) {
      Key& p = v.AddSubkey("Product " + std::to_string(product), "");
      for (int version = 0; version < 5; ++version) {
        Key& k = p.AddSubkey("Version " + std::to_string(version) + ".0", "");
        const std::string dir = "C:\\Program Files\\Vendor " +
                                std::to_string(vendor) + "\\Product " +
                                std::to_string(product) + "\\";
        k.SetValue("InstallDir", value_type::kSz, Text(dir));
        k.SetValue("DisplayName", value_type::kSz,
                   Text("Product " + std::to_string(product) + " of vendor " +
                        std::to_string(vendor)));
        k.SetValue("DataPath", value_type::kExpandSz,
                   Text("%ProgramData%\\Vendor\\" + std::to_string(product)));
        const auto number = static_cast<std::uint32_t>(random());
        k.SetValue(
            "Build", value_type::kDword,
            std::vector<std::uint8_t>{static_cast<std::uint8_t>(number),
                                      static_cast<std::uint8_t>(number >> 8),
                                      static_cast<std::uint8_t>(number >> 16),
                                      static_cast<std::uint8_t>(number >> 24)});
        std::vector<std::uint8_t> blob(24);
        for (auto& byte : blob) byte = static_cast<std::uint8_t>(random());
        k.SetValue("Signature", value_type::kBinary, blob);
        bytes += 420;  // about what these lines take in the file
      }
    }
  }
  return root;
}

// A prefix in the temporary directory holding the 10 MB hive, made once.
class HiveOnDisk {
 public:
  static HiveOnDisk& Get() {
    static HiveOnDisk hive;
    return hive;
  }

  const fs::path& prefix() const { return prefix_; }
  const fs::path& file() const { return file_; }
  const std::string& text() const { return text_; }

  ~HiveOnDisk() {
    std::error_code error;
    fs::remove_all(prefix_, error);
  }

 private:
  HiveOnDisk()
      : prefix_(fs::temp_directory_path() /
                ("quillprobe-bench-" + std::to_string(std::random_device{}()))),
        file_(prefix_ / "registry" / "HKEY_LOCAL_MACHINE.reg"),
        text_(WriteRegFile(*MakeHive())) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << text_;
  }

  fs::path prefix_;
  fs::path file_;
  std::string text_;
};

void SetBytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
  state.counters["hive_MB"] = static_cast<double>(bytes) / 1e6;
}

// A new registry (a new process) reading the hive for the first time.
void BM_LoadHiveFile(benchmark::State& state) {
  const HiveOnDisk& hive = HiveOnDisk::Get();
  for (auto _ : state) {
    LocalRegistry registry(hive.prefix());
    KeyInfo info;
    if (registry.QueryInfoKey(roots::kLocalMachine, nullptr, nullptr, &info) !=
        status::kSuccess) {
      state.SkipWithError("the hive does not load");
      break;
    }
    benchmark::DoNotOptimize(info);
  }
  SetBytes(state, hive.text().size());
}
BENCHMARK(BM_LoadHiveFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Setting one value: the whole hive is written again and synced.
void BM_WriteValueToHive(benchmark::State& state) {
  const HiveOnDisk& hive = HiveOnDisk::Get();
  LocalRegistry registry(hive.prefix());
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  if (registry.CreateKeyEx(roots::kLocalMachine, "SOFTWARE\\Vendor 0", "", 0,
                           access::kAllAccess, nullptr, &key,
                           &disposition) != status::kSuccess) {
    state.SkipWithError("the hive does not load");
    return;
  }
  std::uint32_t counter = 0;
  for (auto _ : state) {
    ++counter;
    const std::uint8_t data[4] = {static_cast<std::uint8_t>(counter),
                                  static_cast<std::uint8_t>(counter >> 8), 0,
                                  0};
    if (registry.SetValueEx(key, "Counter", value_type::kDword, data) !=
        status::kSuccess) {
      state.SkipWithError("the write failed");
      break;
    }
  }
  registry.CloseKey(key);
  SetBytes(state, hive.text().size());
}
BENCHMARK(BM_WriteValueToHive)->Unit(benchmark::kMillisecond)->UseRealTime();

// The codec alone: text in memory to a tree.
void BM_ParseHiveText(benchmark::State& state) {
  const HiveOnDisk& hive = HiveOnDisk::Get();
  for (auto _ : state) {
    auto loaded = LoadHiveText(hive.text(), "HKEY_LOCAL_MACHINE", "bench");
    if (std::holds_alternative<ParseError>(loaded)) {
      state.SkipWithError("the hive does not parse");
      break;
    }
    benchmark::DoNotOptimize(loaded);
  }
  SetBytes(state, hive.text().size());
}
BENCHMARK(BM_ParseHiveText)->Unit(benchmark::kMillisecond)->UseRealTime();

// The codec alone: a tree to text in memory.
void BM_FormatHiveText(benchmark::State& state) {
  const HiveOnDisk& hive = HiveOnDisk::Get();
  const auto loaded = LoadHiveText(hive.text(), "HKEY_LOCAL_MACHINE", "bench");
  const auto* root = std::get_if<std::shared_ptr<Key>>(&loaded);
  if (root == nullptr) {
    state.SkipWithError("the hive does not parse");
    return;
  }
  for (auto _ : state) {
    std::string text = WriteRegFile(**root, hive.text().size());
    benchmark::DoNotOptimize(text);
  }
  SetBytes(state, hive.text().size());
}
BENCHMARK(BM_FormatHiveText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillprobe::registry
