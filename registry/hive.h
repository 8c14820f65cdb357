// One hive of the local registry: the tree of keys under a predefined root,
// kept in memory as the cache of its hive file.
//
// Every read checks the file's stamp first and loads the file again when
// another process (or an editor) changed it, so a write is seen as soon as
// the writing call has returned. A change takes the hive's lock, loads the
// file again if it changed, is applied to the tree and is saved whole before
// the lock is released, so concurrent writers never lose each other's
// updates. A file that does not parse is never written: every call fails
// with 1009 until the file is mended.
//
// Loading and saving live here alone, behind Refresh, BeginChange and
// EndChange, so that the way a hive is stored can change without its users.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "registry/hive_file.h"
#include "registry/key_tree.h"
#include "registry/reg_file.h"
#include "registry/registry_api.h"

namespace quillprobe::registry {

class Hive {
 public:
  // The hive of the root named `root_name` (its long name), stored at
  // `path`. Reads nothing yet.
  Hive(std::filesystem::path path, std::string root_name);

  // Brings the tree up to date with the file: a missing file is an empty
  // hive, a file that changed since it was last read or written is loaded
  // again. 1009 when the file does not parse or cannot be read (error()
  // says why), 5 when it may not be read.
  Status Refresh();

  // Begins a change: takes the lock and refreshes. 5 for a read-only hive
  // file (no write permission bit), and the failures of Refresh and of
  // taking the lock. On success EndChange must follow.
  Status BeginChange();

  // Saves the tree when `changed`, then releases the lock. When saving
  // fails, the tree is dropped, to be loaded again from the file.
  Status EndChange(bool changed);

  // The tree; valid after Refresh or BeginChange succeeded.
  Key& tree() { return *tree_; }

  // Grows whenever the tree is replaced by another.
  std::uint64_t generation() const { return generation_; }

  // Whether the file had no write permission bit when last looked at.
  bool read_only() const { return read_only_; }

  // Why the hive could not be loaded the last time it was read (line 0 when
  // the file could not be read at all); nullopt when it loaded.
  const std::optional<ParseError>& error() const { return error_; }

  const std::filesystem::path& path() const { return file_.path(); }

 private:
  Status Load();
  void Drop();

  HiveFile file_;
  std::string root_name_;
  std::shared_ptr<Key> tree_;
  std::optional<ParseError> error_;
  HiveFileStamp stamp_;  // of the content in tree_ (or in error_)
  bool loaded_ = false;
  bool read_only_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace quillprobe::registry
