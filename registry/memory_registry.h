// A registry held in memory, with the behaviour of the Windows registry as
// its nine calls show it (see TreeRegistry): the five predefined roots, each
// an empty tree at the start, that live as long as the object.
//
// Not thread-safe: one thread at a time.
#pragma once

#include <array>
#include <memory>

#include "registry/key_tree.h"
#include "registry/predefined_roots.h"
#include "registry/tree_registry.h"

namespace quillprobe::registry {

class MemoryRegistry final : public TreeRegistry {
 public:
  MemoryRegistry();

  // The tree under a predefined root; null for any other handle.
  Key* RootKey(HKey root) const;

 private:
  Status ReadHive(std::size_t hive, Key** root) override;
  Status BeginChange(std::size_t hive, Key** root) override;
  Status EndChange(std::size_t hive, const TreeChange* change) override;
  std::uint64_t Generation(std::size_t hive) const override;
  bool Writable(std::size_t hive) const override;

  std::array<std::shared_ptr<Key>, kRootCount> roots_;
};

}  // namespace quillprobe::registry
