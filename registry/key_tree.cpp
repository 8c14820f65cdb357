#include "registry/key_tree.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "registry/unicode_case.h"

namespace quillprobe::registry {

std::uint64_t FileTimeNow() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
  // The Unix epoch in 100 ns intervals since 1601-01-01.
  constexpr std::int64_t kUnixEpoch = 116444736000000000;
  const std::int64_t ticks =
      std::chrono::duration_cast<Ticks>(
          std::chrono::system_clock::now().time_since_epoch())
          .count();
  return ticks < -kUnixEpoch ? 0
                             : static_cast<std::uint64_t>(ticks + kUnixEpoch);
}

std::shared_ptr<Key> Key::NewRoot(std::string_view name) {
  return std::make_shared<Key>(PrivateTag{}, name, std::string_view{}, nullptr);
}

Key::Key(PrivateTag, std::string_view name, std::string_view class_name,
         Key* parent)
    : name_(name),
      class_name_(class_name),
      parent_(parent),
      last_write_time_(FileTimeNow()) {}

Key::~Key() {
  std::vector<std::shared_ptr<Key>> pending = std::move(subkeys_);
  while (!pending.empty()) {
    const std::shared_ptr<Key> key = std::move(pending.back());
    pending.pop_back();
    key->parent_ = nullptr;
    if (key.use_count() == 1) {
      for (auto& subkey : key->subkeys_) pending.push_back(std::move(subkey));
      key->subkeys_.clear();
    }
  }
}

void Key::SetValue(std::string_view name, std::uint32_t type,
                   std::span<const std::uint8_t> data) {
  Touch();
  // One hash for a new name, the common case when a hive is loaded.
  const auto [slot, added] =
      value_index_.emplace(std::string(name), values_.size());
  if (added) values_.push_back(Value{std::string(name), type, {}});
  Value& value = values_[slot->second];
  if (data.size() < value.data.size()) value_maxima_.valid = false;
  value.type = type;
  value.data.assign(data.begin(), data.end());
  if (value_maxima_.valid) {
    value_maxima_.first = std::max(value_maxima_.first, value.name.size());
    value_maxima_.second = std::max(value_maxima_.second, value.data.size());
  }
}

bool Key::DeleteValue(std::string_view name) {
  const auto found = value_index_.find(name);
  if (found == value_index_.end()) return false;
  Touch();
  const std::size_t position = found->second;
  value_index_.erase(found);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& entry : value_index_) {
    if (entry.second > position) --entry.second;
  }
  value_maxima_.valid = false;
  return true;
}

std::vector<std::shared_ptr<Key>>::const_iterator Key::LowerBound(
    std::string_view name) const {
  return std::lower_bound(
      subkeys_.begin(), subkeys_.end(), name,
      [](const std::shared_ptr<Key>& key, std::string_view wanted) {
        return CompareIgnoreCase(key->name_, wanted) < 0;
      });
}

Key* Key::FindSubkey(std::string_view name) const {
  const auto found = LowerBound(name);
  if (found == subkeys_.end() || CompareIgnoreCase((*found)->name_, name) != 0)
    return nullptr;
  return found->get();
}

Key& Key::AddSubkey(std::string_view name, std::string_view class_name,
                    bool* created) {
  const auto found = LowerBound(name);
  const bool exists =
      found != subkeys_.end() && CompareIgnoreCase((*found)->name_, name) == 0;
  if (created != nullptr) *created = !exists;
  if (exists) return **found;
  Touch();
  const auto added = subkeys_.insert(
      found, std::make_shared<Key>(PrivateTag{}, name, class_name, this));
  if (subkey_maxima_.valid) {
    subkey_maxima_.first = std::max(subkey_maxima_.first, name.size());
    subkey_maxima_.second = std::max(subkey_maxima_.second, class_name.size());
  }
  return **added;
}

Status Key::Delete() {
  if (parent_ == nullptr || !subkeys_.empty()) return status::kAccessDenied;
  // Keeps this key alive while its parent lets go of it.
  const std::shared_ptr<Key> self = shared_from_this();
  parent_->RemoveSubkey(*this);
  parent_ = nullptr;
  deleted_ = true;
  values_ = {};
  value_index_ = {};
  value_maxima_ = {};
  return status::kSuccess;
}

void Key::RemoveSubkey(const Key& child) {
  const auto found = LowerBound(child.name_);
  if (found == subkeys_.end() || found->get() != &child) return;
  Touch();
  subkeys_.erase(found);
  subkey_maxima_.valid = false;
}

const Key::Maxima& Key::ValueMaxima() const {
  if (!value_maxima_.valid) {
    value_maxima_ = {};
    for (const Value& value : values_) {
      value_maxima_.first = std::max(value_maxima_.first, value.name.size());
      value_maxima_.second = std::max(value_maxima_.second, value.data.size());
    }
  }
  return value_maxima_;
}

const Key::Maxima& Key::SubkeyMaxima() const {
  if (!subkey_maxima_.valid) {
    subkey_maxima_ = {};
    for (const auto& subkey : subkeys_) {
      subkey_maxima_.first =
          std::max(subkey_maxima_.first, subkey->name_.size());
      subkey_maxima_.second =
          std::max(subkey_maxima_.second, subkey->class_name_.size());
    }
  }
  return subkey_maxima_;
}

std::size_t Key::MaxValueNameLength() const { return ValueMaxima().first; }
std::size_t Key::MaxValueDataLength() const { return ValueMaxima().second; }
std::size_t Key::MaxSubkeyNameLength() const { return SubkeyMaxima().first; }
std::size_t Key::MaxSubkeyClassLength() const { return SubkeyMaxima().second; }

}  // namespace quillprobe::registry
