#include "tests/support/scratch_directory.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quillprobe::test {

ScratchDirectory::ScratchDirectory()
    : ScratchDirectory(std::filesystem::temp_directory_path()) {}

ScratchDirectory::ScratchDirectory(const std::filesystem::path& base) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("quillprobe-test-" + std::to_string(random()) +
                             "-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory in " +
                           base.string());
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::filesystem::path MemoryBackedTempDirectory() {
  const std::filesystem::path shm = "/dev/shm";
  std::error_code error;
  if (std::filesystem::is_directory(shm, error)) {
    try {
      ScratchDirectory probe(shm);
      return shm;
    } catch (const std::runtime_error&) {
      // Not writable: fall back.
    }
  }
  return std::filesystem::temp_directory_path();
}

}  // namespace quillprobe::test
