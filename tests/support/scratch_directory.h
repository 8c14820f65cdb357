// A fresh, empty directory under the system's temporary directory, removed
// with everything in it when the object goes away.
#pragma once

#include <filesystem>

namespace quillprobe::test {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace quillprobe::test
