#include "registry/local_registry.h"

#include <string>

#include "registry/predefined_roots.h"

namespace quillprobe::registry {

LocalRegistry::LocalRegistry(const std::filesystem::path& prefix) {
  hives_.reserve(kRootCount);
  for (const std::string_view name : kRootNames) {
    hives_.emplace_back(prefix / "registry" / (std::string(name) + ".reg"),
                        std::string(name));
  }
}

std::filesystem::path LocalRegistry::HivePath(HKey root) const {
  const auto index = RootIndex(root);
  return index ? hives_[*index].path() : std::filesystem::path();
}

std::optional<ParseError> LocalRegistry::CheckHive(HKey root) {
  const auto index = RootIndex(root);
  if (!index) return std::nullopt;
  Hive& hive = hives_[*index];
  if (hive.Refresh() == status::kSuccess) return std::nullopt;
  return hive.error();
}

Status LocalRegistry::ReadHive(std::size_t hive, Key** root) {
  const Status fresh = hives_[hive].Refresh();
  if (fresh == status::kSuccess) *root = &hives_[hive].tree();
  return fresh;
}

Status LocalRegistry::BeginChange(std::size_t hive, Key** root) {
  const Status begun = hives_[hive].BeginChange();
  if (begun == status::kSuccess) *root = &hives_[hive].tree();
  return begun;
}

Status LocalRegistry::EndChange(std::size_t hive, const TreeChange* change) {
  return hives_[hive].EndChange(change);
}

std::uint64_t LocalRegistry::Generation(std::size_t hive) const {
  return hives_[hive].generation();
}

Key* LocalRegistry::FindSubkey(std::size_t hive, Key& parent,
                               std::string_view name) {
  return hives_[hive].FindSubkey(parent, name);
}

bool LocalRegistry::Writable(std::size_t hive) const {
  return !hives_[hive].read_only();
}

}  // namespace quillprobe::registry
