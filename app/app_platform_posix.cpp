// The program's platform calls on POSIX systems: the arguments as the shell
// split them, files found through the local prefix, version information read
// out of the PE image.
#include "app/app_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "app/path_resolver.h"
#include "app/pe_version_reader.h"
#include "registry/local_prefix.h"
#include "registry/unicode_case.h"

namespace quillprobe::app {
namespace {

// An open regular file, read with pread so that only the pieces the PE reader
// asks for are read.
class FileImage final : public ImageSource {
 public:
  // Opens the file that `path` resolves to; not open() when it is not a
  // readable regular file. O_NONBLOCK keeps a FIFO from blocking the open.
  explicit FileImage(std::string_view path) {
    const auto resolved = ResolvePath(path, registry::LocalPrefix());
    if (!resolved) return;
    fd_ = ::open(resolved->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~FileImage() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;

  bool open() const { return fd_ >= 0; }

  std::uint64_t Size() const override { return size_; }

  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    while (!out.empty()) {
      const ssize_t got =
          ::pread(fd_, out.data(), out.size(), static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file shrank
      const auto count = static_cast<std::size_t>(got);
      out = out.subspan(count);
      offset += count;
    }
    return true;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

std::optional<std::vector<std::uint8_t>> VersionBlockOf(std::string_view path) {
  FileImage image(path);
  if (!image.open()) return std::nullopt;
  return ReadVersionResource(image);
}

class PosixAppPlatform final : public AppPlatform {
 public:
  PosixAppPlatform(int argc, char** argv) {
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
      if (i > 1) argument_text_ += ' ';
      argument_text_ += argv[i];
    }
  }

  std::string ArgumentText() override { return argument_text_; }

  std::optional<std::uint64_t> FileLength(std::string_view path) override {
    const auto resolved = ResolvePath(path, registry::LocalPrefix());
    if (!resolved) return std::nullopt;
    struct stat info {};
    if (::stat(resolved->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
  }

  std::uint32_t GetFileVersionInfoSize(std::string_view path,
                                       std::uint32_t* handle) override {
    if (handle != nullptr) *handle = 0;
    const auto block = VersionBlockOf(path);
    if (!block || block->size() > UINT32_MAX) return 0;
    return static_cast<std::uint32_t>(block->size());
  }

  // Like the Windows call, a block smaller than the resource receives its
  // head; bytes beyond the resource are left as they are.
  bool GetFileVersionInfo(std::string_view path, std::uint32_t /*handle*/,
                          std::span<std::uint8_t> block) override {
    const auto resource = VersionBlockOf(path);
    if (!resource) return false;
    const std::size_t count = std::min(block.size(), resource->size());
    std::copy_n(resource->begin(), count, block.begin());
    return true;
  }

  std::string ToUpper(std::string_view text) override {
    return registry::ToUpper(text);
  }

 private:
  std::string argument_text_;
};

}  // namespace

std::unique_ptr<AppPlatform> MakePlatformApp(int argc, char** argv) {
  return std::make_unique<PosixAppPlatform>(argc, argv);
}

}  // namespace quillprobe::app
