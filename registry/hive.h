// One hive of the local registry: the tree of keys under a predefined root,
// kept in memory as the cache of its hive file.
//
// Every read checks the file's stamp first and loads the file again when
// another process (or an editor) changed it, so a write is seen as soon as
// the writing call has returned. A change takes the hive's lock, loads the
// file again if it changed, is applied to the tree and is made durable
// before the lock is released, so concurrent writers never lose each other's
// updates. A file that does not parse is never written: every call fails
// with 1009 until the file is mended.
//
// A file that this system wrote and nobody changed since is known by the
// record <hive>.canonical, written beside it after each change: the file's
// stamp and the length of its canonical text (reg_file_writer.h), which
// parses and is sorted. Such a file is read lazily, one key at a time as the
// keys are reached (see canonical_hive.h), and a change to it is appended to
// it as a journal record (see hive_journal.h) instead of rewriting it; when
// the records outgrow the canonical text (at least 64 KiB of them, at most
// 512 KiB), the next change folds them in, writing the whole file anew. Any
// other file is parsed whole on every load, and a change rewrites it in the
// canonical form. A whole file is written to <hive>.tmp, synced and renamed
// over the hive, so readers see the old or the new file whole; a record is
// appended and synced, and readers drop a record still being written.
//
// Loading and saving live here alone, behind Refresh, BeginChange and
// EndChange, so that the way a hive is stored can change without its users.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "registry/hive_file.h"
#include "registry/key_tree.h"
#include "registry/reg_file.h"
#include "registry/registry_api.h"
#include "registry/tree_change.h"

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

  // The subkey `name` of `parent`, a key of tree(), or null. In a tree read
  // lazily, the subkey's values and subkey names are read first.
  Key* FindSubkey(Key& parent, std::string_view name);

  // Begins a change: takes the lock and refreshes. 5 for a read-only hive
  // file (no write permission bit), and the failures of Refresh and of
  // taking the lock. On success EndChange must follow.
  Status BeginChange();

  // Makes `change` (null when nothing changed), already applied to the tree,
  // durable, then releases the lock. When that fails, the tree is dropped,
  // to be loaded again from the file.
  Status EndChange(const TreeChange* change);

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
  Status Update(bool locked);
  std::optional<Status> LoadLazily(bool locked);
  std::optional<Status> ReadLazily(const HiveFileStamp& stamp,
                                   std::uint64_t base);
  Status Load();
  bool ReadKey(Key& key);
  Status Append(const TreeChange& change);
  void Fold();
  Status Rewrite();
  // Replaces the file with the canonical text of `tree`, which holds the
  // whole hive, and takes the new file as the one the tree is read from.
  Status WriteWhole(const Key& tree);
  std::optional<std::uint64_t> CanonicalBase(const HiveFileStamp& stamp) const;
  void RecordCanonical(const HiveFileStamp& stamp, std::uint64_t base) const;
  // The tree dropped after the file could not be looked at or read:
  // `failure`, with error() saying why.
  Status FileFailed(Status failure);
  void Drop();

  HiveFile file_;
  std::string root_name_;
  std::shared_ptr<Key> tree_;
  std::optional<ParseError> error_;
  HiveFileStamp stamp_;  // of the content in tree_ (or in error_)
  bool loaded_ = false;
  // Whether the tree is read lazily: keys marked unread have neither their
  // values nor their subkeys yet.
  bool lazy_ = false;
  // When the file is known to be canonical text and journal records: the
  // length of the text, and where the last whole record ends.
  std::optional<std::uint64_t> base_;
  std::uint64_t journal_end_ = 0;
  // A file found not to be what its record claims.
  HiveFileStamp distrusted_;
  bool read_only_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace quillprobe::registry
