// Hives and prefixes that the benchmarks run on: written as .reg text
// straight into a prefix, so that building a table of 32,767 values or a
// hive of a million values costs one file write, not a write per value.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace quillprobe::bench {

// The key of product 0001's record under HKEY_LOCAL_MACHINE.
inline constexpr const char* kRecordKey =
    "SOFTWARE\\Quillmere Software\\Tarnwick\\Path";

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchPrefix {
 public:
  ScratchPrefix();
  ~ScratchPrefix();
  ScratchPrefix(const ScratchPrefix&) = delete;
  ScratchPrefix& operator=(const ScratchPrefix&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The name of row `row` of a generated value table ("Value 00042").
std::string RowName(std::size_t row);

// Writes the HKEY_CURRENT_USER hive of `prefix`: the key SOFTWARE\Bench
// holding `rows` string values named RowName(0) to RowName(rows - 1).
void WriteValueTableHive(const std::filesystem::path& prefix, std::size_t rows);

// A prefix whose HKEY_LOCAL_MACHINE hive holds product 0001's record, whose
// "EXE Path" names a directory holding tarn.exe with version information,
// and, when `large`, 200,000 other keys holding 1,000,000 values (about
// 100 MB) in the canonical form of the local registry. Made once under the
// cache directory (QUILLPROBE_BENCH_CACHE, else the build's bench-cache) and
// reused; never written by the benchmarks.
std::filesystem::path ProgramPrefix(bool large);

// Copies the hives of `from` into the registry directory of `to`.
void CopyHives(const std::filesystem::path& from,
               const std::filesystem::path& to);

}  // namespace quillprobe::bench
