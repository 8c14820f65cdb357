#include "registry/memory_registry.h"

namespace quillprobe::registry {

MemoryRegistry::MemoryRegistry() {
  for (std::size_t i = 0; i < roots_.size(); ++i) {
    roots_[i] = Key::NewRoot(kRootNames[i]);
  }
}

Key* MemoryRegistry::RootKey(HKey root) const {
  const auto index = RootIndex(root);
  return index ? roots_[*index].get() : nullptr;
}

Status MemoryRegistry::ReadHive(std::size_t hive, Key** root) {
  *root = roots_[hive].get();
  return status::kSuccess;
}

Status MemoryRegistry::BeginChange(std::size_t hive, Key** root) {
  return ReadHive(hive, root);
}

Status MemoryRegistry::EndChange(std::size_t /*hive*/,
                                 const TreeChange* /*change*/) {
  return status::kSuccess;
}

std::uint64_t MemoryRegistry::Generation(std::size_t /*hive*/) const {
  return 0;
}

bool MemoryRegistry::Writable(std::size_t /*hive*/) const { return true; }

}  // namespace quillprobe::registry
