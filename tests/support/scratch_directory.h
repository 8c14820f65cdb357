// A fresh, empty directory under the system's temporary directory, removed
// with everything in it when the object goes away.
#pragma once

#include <filesystem>

namespace quillprobe::test {

class ScratchDirectory {
 public:
  ScratchDirectory();
  // A scratch directory under `base` instead.
  explicit ScratchDirectory(const std::filesystem::path& base);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Where tests that write files many times put their scratch directories: a
// file system in memory when the system has one (/dev/shm), where syncing
// costs nothing while renames and locks behave as on disk; else the
// temporary directory.
std::filesystem::path MemoryBackedTempDirectory();

}  // namespace quillprobe::test
