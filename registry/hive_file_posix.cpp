// Hive files on POSIX systems: flock for the lock, rename for atomic
// replacement, fsync of the file and of its directory for durability.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "registry/hive_file.h"

namespace quillprobe::registry {
namespace {

constexpr mode_t kNewFileMode = 0666;  // less the umask

bool IsRightsError(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

HiveFileStamp StampOf(const struct stat& info) {
  return {true, static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_size),
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
              info.st_mtim.tv_nsec};
}

// Writes all of `bytes`, retrying after interruptions and short writes.
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd = -1;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

HiveFile::HiveFile(std::filesystem::path path) : path_(std::move(path)) {}

HiveFile::HiveFile(HiveFile&& other) noexcept
    : path_(std::move(other.path_)),
      held_fd_(std::exchange(other.held_fd_, -1)),
      lock_fd_(std::exchange(other.lock_fd_, -1)),
      last_error_(std::move(other.last_error_)) {}

HiveFile::~HiveFile() {
  if (held_fd_ >= 0) ::close(held_fd_);
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

void HiveFile::Hold(int fd) {
  if (held_fd_ >= 0) ::close(held_fd_);
  held_fd_ = fd;
}

Status HiveFile::Stat(HiveFileStamp* stamp, bool* read_only) {
  struct stat info {};
  *stamp = {};
  *read_only = false;
  if (::stat(path_.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return status::kSuccess;
    last_error_ = path_.string() + ": " + std::strerror(errno);
    return IsRightsError(errno) ? status::kAccessDenied : status::kBadDb;
  }
  *stamp = StampOf(info);
  *read_only = (info.st_mode & 0222) == 0;
  return status::kSuccess;
}

Status HiveFile::Read(std::string* bytes, HiveFileStamp* stamp) {
  bytes->clear();
  *stamp = {};
  const auto fail = [&](const char* what) {
    const int error = errno;
    last_error_ = path_.string() + ": " + what + std::strerror(error);
    return IsRightsError(error) ? status::kAccessDenied : status::kBadDb;
  };
  // O_NONBLOCK: a FIFO in the hive's place must not block the open.
  const int fd = OpenRetrying(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      Hold(-1);
      return status::kSuccess;
    }
    return fail("");
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const Status failed = fail("");
    ::close(fd);
    return failed;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    last_error_ = path_.string() + ": not a regular file";
    return status::kBadDb;
  }
  bytes->resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  for (;;) {
    if (done == bytes->size()) bytes->resize(done + 4096 + done / 2);
    const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const Status failed = fail("");
      ::close(fd);
      return failed;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes->resize(done);
  // The stamp of what was read: a file replaced by rename keeps its content.
  if (::fstat(fd, &info) == 0) *stamp = StampOf(info);
  stamp->exists = true;
  Hold(fd);
  return status::kSuccess;
}

Status HiveFile::Open(HiveFileStamp* stamp) {
  *stamp = {};
  const int fd = OpenRetrying(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (fd < 0 && (error == ENOENT || error == ENOTDIR)) {
      Hold(-1);
      return status::kSuccess;
    }
    last_error_ = path_.string() + ": " + std::strerror(error);
    return IsRightsError(error) ? status::kAccessDenied : status::kBadDb;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    last_error_ = path_.string() + ": not a regular file";
    return status::kBadDb;
  }
  *stamp = StampOf(info);
  Hold(fd);
  return status::kSuccess;
}

bool HiveFile::ReadAt(std::uint64_t offset, std::size_t length,
                      std::string* bytes) {
  bytes->resize(length);
  std::size_t done = 0;
  while (held_fd_ >= 0 && done < length) {
    const ssize_t got = ::pread(held_fd_, bytes->data() + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes->resize(done);
  return held_fd_ >= 0;
}

Status HiveFile::Lock() {
  const auto fail = [&](const std::string& what, int error) {
    last_error_ = what + ": " + std::strerror(error);
    return IsRightsError(error) ? status::kAccessDenied
                                : status::kRegistryIoFailed;
  };
  if (lock_fd_ < 0) {
    std::error_code error;
    std::filesystem::create_directories(path_.parent_path(), error);
    if (error) return fail(path_.parent_path().string(), error.value());
    const std::string lock_path = path_.string() + ".lock";
    lock_fd_ = OpenRetrying(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                            kNewFileMode);
    if (lock_fd_ < 0) return fail(lock_path, errno);
  }
  while (::flock(lock_fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return fail(path_.string() + ".lock", errno);
  }
  return status::kSuccess;
}

void HiveFile::Unlock() {
  if (lock_fd_ >= 0) ::flock(lock_fd_, LOCK_UN);
}

Status HiveFile::Append(std::uint64_t offset, std::string_view bytes,
                        const HiveFileStamp& expected, HiveFileStamp* stamp) {
  const int fd = OpenRetrying(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  const auto fail = [&](const char* what) {
    const int error = errno;
    last_error_ = path_.string() + ": " + what + std::strerror(error);
    if (fd >= 0) ::close(fd);
    return IsRightsError(error) ? status::kAccessDenied
                                : status::kRegistryIoFailed;
  };
  if (fd < 0) return fail("");
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail("");
  const HiveFileStamp now = StampOf(info);
  if (!S_ISREG(info.st_mode) || now.device != expected.device ||
      now.inode != expected.inode || now.size < offset) {
    errno = ESTALE;
    return fail("replaced or cut while being changed: ");
  }
  const auto at = static_cast<off_t>(offset);
  if (now.size > offset && ::ftruncate(fd, at) != 0) return fail("");
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                 at + static_cast<off_t>(done));
    if (put < 0 && errno == EINTR) continue;
    written = put > 0;
    if (written) done += static_cast<std::size_t>(put);
  }
  if (!written || ::fsync(fd) != 0) {
    const int error = errno;
    // Readers drop a torn record in any case; cutting it keeps the file tidy.
    if (::ftruncate(fd, at) == 0) ::fsync(fd);
    errno = error;
    return fail("");
  }
  if (::fstat(fd, &info) == 0) {
    *stamp = StampOf(info);
  } else {
    *stamp = {};  // unknown: the next call reads the file again
  }
  ::close(fd);
  return status::kSuccess;
}

void HiveFile::WaitForWriter() {
  const std::string lock_path = path_.string() + ".lock";
  const int fd = OpenRetrying(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  ::close(fd);  // releases the lock
}

Status HiveFile::Replace(std::string_view bytes, HiveFileStamp* stamp) {
  const std::string temporary = path_.string() + ".tmp";
  const auto fail = [&](const std::string& what, int fd) {
    const int error = errno;
    last_error_ = what + ": " + std::strerror(error);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temporary.c_str());
    }
    return IsRightsError(error) ? status::kAccessDenied
                                : status::kRegistryIoFailed;
  };
  const int fd = OpenRetrying(
      temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return fail(temporary, -1);
  struct stat old {};
  if (::stat(path_.c_str(), &old) == 0 &&
      ::fchmod(fd, old.st_mode & 07777) != 0) {
    return fail(temporary, fd);
  }
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) return fail(temporary, fd);
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    return fail(path_.string(), fd);
  }
  const std::string directory = path_.parent_path().string();
  const int dir_fd =
      OpenRetrying(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    // The new content is in place; only its stamp is unknown, which makes
    // the next call read it again.
    *stamp = {};
  } else {
    *stamp = StampOf(info);
  }
  Hold(fd);
  return status::kSuccess;
}

}  // namespace quillprobe::registry
