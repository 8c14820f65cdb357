// A hive file of the local registry on disk, and the file operations the
// store needs on it: what the file is now, reading it whole, an exclusive
// lock between processes, and replacing it atomically. One implementation
// per platform (hive_file_posix.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "registry/registry_api.h"

namespace quillprobe::registry {

// What identifies one content of a hive file. The store replaces the file
// with a new one on every write, so the file's identity (device, inode)
// changes; size and modification time catch edits made in place.
struct HiveFileStamp {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;

  bool operator==(const HiveFileStamp&) const = default;
};

class HiveFile {
 public:
  explicit HiveFile(std::filesystem::path path);
  // Releases the lock and the file held open.
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;
  HiveFile(HiveFile&& other) noexcept;
  HiveFile& operator=(HiveFile&&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // The stamp of the file as it is now; a missing file (or directory) has
  // exists false. *read_only is true for a file without any write
  // permission bit. 5 when the file cannot be looked at for lack of rights,
  // 1009 on any other failure (see last_error()).
  Status Stat(HiveFileStamp* stamp, bool* read_only);

  // Reads the whole file and its stamp; a missing file reads as empty with
  // exists false. The file stays open until the next Read or Replace, so
  // that no later file can take its identity while its content is in use.
  // 5 without the right to read it, 1009 when it is not a regular file or
  // cannot be read (see last_error()).
  Status Read(std::string* bytes, HiveFileStamp* stamp);

  // Opens the file and holds it as Read does, reading nothing; *stamp is
  // the stamp of the held file. The same statuses as Read.
  Status Open(HiveFileStamp* stamp);

  // Reads up to `length` bytes at `offset` of the file that Open or Read
  // holds, fewer at its end, into *bytes. False when the read fails or no
  // file is held.
  bool ReadAt(std::uint64_t offset, std::size_t length, std::string* bytes);

  // Takes the exclusive lock of the hive, waiting for other processes to
  // release it: a lock on the file <hive>.lock, created (with the directory)
  // when missing. The lock file's existence means nothing; the system
  // releases the lock when its holder dies. 5 without rights, 1016 on other
  // failures.
  Status Lock();
  void Unlock();

  // Replaces the file with `bytes` so that readers see the old or the new
  // content whole, and the new content survives a crash once this returns:
  // writes <hive>.tmp (with the permission bits of the file it replaces),
  // syncs it, renames it over the hive and syncs the directory. Call it
  // holding the lock. The new file is then held as Read holds it, and its
  // stamp is returned. 5 without rights, 1016 on other failures; the hive
  // is then unchanged.
  Status Replace(std::string_view bytes, HiveFileStamp* stamp);

  // Appends `bytes` at `offset` of the hive file, cutting off what lies
  // beyond `offset` first, and syncs the file, so that the bytes survive a
  // crash once this returns. Call it holding the lock. The file must still
  // be the one `expected` describes (device and inode) and hold at least
  // `offset` bytes; 1016 otherwise. *stamp is the new stamp. 5 without
  // rights, 1016 on other failures; the file then holds no more than
  // `offset` bytes of what it held, or a torn tail that readers drop.
  Status Append(std::uint64_t offset, std::string_view bytes,
                const HiveFileStamp& expected, HiveFileStamp* stamp);

  // Waits until no other process holds the lock, for a reader that must not
  // look at a change while it is being made. Returns at once when the lock
  // file does not exist or cannot be opened.
  void WaitForWriter();

  // Why the last call failed, for messages.
  const std::string& last_error() const { return last_error_; }

 private:
  void Hold(int fd);

  std::filesystem::path path_;
  int held_fd_ = -1;
  int lock_fd_ = -1;
  std::string last_error_;
};

}  // namespace quillprobe::registry
