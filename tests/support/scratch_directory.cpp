#include "tests/support/scratch_directory.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quillprobe::test {

ScratchDirectory::ScratchDirectory() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
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

}  // namespace quillprobe::test
