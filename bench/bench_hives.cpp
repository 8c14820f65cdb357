#include "bench/bench_hives.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "registry/local_registry.h"
#include "tests/support/pe_builder.h"

namespace quillprobe::bench {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr std::size_t kVendors = 200;
constexpr std::size_t kKeysPerVendor = 1000;
constexpr std::size_t kValuesPerKey = 5;

std::string Padded(std::size_t number, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*zu", width, number);
  return text;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

fs::path CacheDirectory() {
  if (const char* dir = std::getenv("QUILLPROBE_BENCH_CACHE")) return dir;
  return QUILLPROBE_BENCH_CACHE;
}

// The sections of the generated hive, in the writer's depth-first order:
// SOFTWARE\Bench\V000\K0000 ... sort before SOFTWARE\Quillmere Software.
void AppendGeneratedKeys(std::string& text) {
  const std::string value_text =
      "\"=\"C:\\\\Program Files\\\\Generated Vendor\\\\Component\\\\"
      "data file.dat\"\n";
  text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench]\n\n";
  for (std::size_t vendor = 0; vendor < kVendors; ++vendor) {
    const std::string vendor_path =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\V" + Padded(vendor, 3);
    text += vendor_path + "]\n\n";
    for (std::size_t key = 0; key < kKeysPerVendor; ++key) {
      text += vendor_path + "\\K" + Padded(key, 4) + "]\n";
      for (std::size_t value = 0; value < kValuesPerKey; ++value) {
        text += "\"Setting ";
        text += Padded(value, 2);
        text += value_text;
      }
      text += '\n';
    }
  }
}

std::string ProgramHiveText(bool large, const fs::path& exe_directory) {
  std::string text(kHeader);
  text += "[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n";
  if (large) AppendGeneratedKeys(text);
  std::string directory;
  for (const char c : exe_directory.string() + "/") {
    if (c == '\\' || c == '"') directory += '\\';
    directory += c;
  }
  text +=
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software]\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick]\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path]\n"
      "\"EXE Path\"=\"" +
      directory + "\"\n\n";
  return text;
}

}  // namespace

ScratchPrefix::ScratchPrefix() {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ =
      fs::temp_directory_path() / ("quillprobe-bench-" + std::to_string(now) +
                                   "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

ScratchPrefix::~ScratchPrefix() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string RowName(std::size_t row) { return "Value " + Padded(row, 5); }

void WriteValueTableHive(const fs::path& prefix, std::size_t rows) {
  std::string text(kHeader);
  text +=
      "[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\SOFTWARE]\n\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Bench]\n";
  for (std::size_t row = 0; row < rows; ++row) {
    text += '"';
    text += RowName(row);
    text += "\"=\"data of row ";
    text += Padded(row, 5);
    text += " with some text\"\n";
  }
  text += '\n';
  WriteFile(prefix / "registry" / "HKEY_CURRENT_USER.reg", text);
}

fs::path ProgramPrefix(bool large) {
  const fs::path prefix = CacheDirectory() / (large ? "large" : "small");
  const fs::path hive = prefix / "registry" / "HKEY_LOCAL_MACHINE.reg";
  const fs::path done = prefix / "complete-2";
  if (fs::exists(done)) return prefix;
  const fs::path exe_directory = prefix / "drive_c" / "Tarnwick";
  const test::FileVersion version{0x00010002, 0x00030004, 0x00010002,
                                  0x00030004};
  fs::create_directories(exe_directory);
  test::WriteBinaryFile(
      exe_directory / "tarn.exe",
      test::BuildPeImageWithVersion(test::PeKind::kPe32,
                                    test::WideVersionBlock(version))
          .bytes);
  WriteFile(hive, ProgramHiveText(large, exe_directory));
  // Written once more by the local registry itself, the hive is in the
  // canonical form and known to be.
  registry::LocalRegistry api(prefix);
  registry::HKey key = registry::kNoKey;
  const std::string marker = "generated";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(marker.c_str());
  if (api.OpenKeyEx(registry::roots::kLocalMachine, kRecordKey, 0,
                    registry::access::kAllAccess,
                    &key) != registry::status::kSuccess ||
      api.SetValueEx(key, "Generated By", registry::value_type::kSz,
                     {bytes, marker.size() + 1}) !=
          registry::status::kSuccess) {
    throw std::runtime_error("cannot write " + hive.string());
  }
  api.CloseKey(key);
  WriteFile(done, "");
  return prefix;
}

void CopyHives(const fs::path& from, const fs::path& to) {
  fs::create_directories(to / "registry");
  for (const auto& entry : fs::directory_iterator(from / "registry")) {
    if (entry.path().extension() != ".reg") continue;
    fs::copy_file(entry.path(), to / "registry" / entry.path().filename(),
                  fs::copy_options::overwrite_existing);
  }
}

}  // namespace quillprobe::bench
