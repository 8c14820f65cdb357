// The local registry: a persistent registry with the semantics of the
// Windows registry (see TreeRegistry), for systems that have none, stored as
// .reg files that a person can read, edit and keep under version control.
//
// Each predefined root is one hive file, <prefix>/registry/<ROOT>.reg (for
// instance HKEY_LOCAL_MACHINE.reg), written in the canonical form of
// reg_file_writer.h, with later changes appended to it as journal records
// (hive_journal.h) until they are folded in. A missing file is an empty hive;
// reading never creates a file, the first change creates the directory and the
// file. See Hive for how changes are shared between processes and made durable.
//
// A hive file that does not parse fails every call that touches its hive
// with 1009 (kBadDb) and is never written; CheckHive tells why. A hive file
// without any write permission bit is read-only, whoever the user is:
// opening or creating a key of it with a write right, and every change,
// gives 5.
//
// Key classes are not stored in .reg files: they last as long as the
// process that set them does not load the hive again.
//
// Not thread-safe: one thread at a time; any number of processes.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "registry/hive.h"
#include "registry/reg_file.h"
#include "registry/tree_registry.h"

namespace quillprobe::registry {

class LocalRegistry final : public TreeRegistry {
 public:
  // The registry whose hive files live under `prefix` (see LocalPrefix()).
  // Reads nothing yet.
  explicit LocalRegistry(const std::filesystem::path& prefix);

  // The hive file of a predefined root; empty for any other handle.
  std::filesystem::path HivePath(HKey root) const;

  // Loads the hive of `root` when its file changed, and returns why it does
  // not load (the file, the line and the reason), or nullopt when it does.
  std::optional<ParseError> CheckHive(HKey root);

 private:
  Status ReadHive(std::size_t hive, Key** root) override;
  Status BeginChange(std::size_t hive, Key** root) override;
  Status EndChange(std::size_t hive, const TreeChange* change) override;
  std::uint64_t Generation(std::size_t hive) const override;
  bool Writable(std::size_t hive) const override;
  Key* FindSubkey(std::size_t hive, Key& parent,
                  std::string_view name) override;

  std::vector<Hive> hives_;  // in the order of kPredefinedRoots
};

}  // namespace quillprobe::registry
