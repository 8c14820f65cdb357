#include "registry/tree_registry.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "registry/key_path.h"
#include "registry/predefined_roots.h"

namespace quillprobe::registry {
namespace {

constexpr std::uint32_t kDelete = 0x00010000u;
constexpr std::uint32_t kWriteDac = 0x00040000u;
constexpr std::uint32_t kWriteOwner = 0x00080000u;

// The rights that change a key or what is below it.
constexpr std::uint32_t kWriteRights =
    access::kSetValue | access::kCreateSubKey | access::kCreateLink | kDelete |
    kWriteDac | kWriteOwner;

// The rights a handle gets for the rights asked for.
std::uint32_t GrantedAccess(std::uint32_t requested) {
  constexpr std::uint32_t kGenericRead = 0x80000000u;
  constexpr std::uint32_t kGenericWrite = 0x40000000u;
  constexpr std::uint32_t kGenericExecute = 0x20000000u;
  constexpr std::uint32_t kGenericAll = 0x10000000u;
  constexpr std::uint32_t kMaximumAllowed = 0x02000000u;
  std::uint32_t granted =
      requested & ~(kGenericRead | kGenericWrite | kGenericExecute |
                    kGenericAll | kMaximumAllowed);
  if ((requested & (kGenericRead | kGenericExecute)) != 0) {
    granted |= access::kRead;
  }
  if ((requested & kGenericWrite) != 0) granted |= access::kWrite;
  if ((requested & (kGenericAll | kMaximumAllowed)) != 0) {
    granted |= access::kAllAccess;
  }
  return granted;
}

std::uint32_t Clamp32(std::size_t n) {
  return static_cast<std::uint32_t>(
      std::min<std::size_t>(n, std::numeric_limits<std::uint32_t>::max()));
}

// True when `text` and its NUL fit in `capacity` bytes.
bool FitsWithNul(std::string_view text, std::uint32_t capacity) {
  return text.size() < capacity;
}

void CopyWithNul(std::string_view text, char* buffer) {
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

// Walks `components` down from `from` with `find` (a key and a name to the
// subkey or null); null when one is missing.
template <typename Find>
Key* Walk(Key& from, const std::vector<std::string_view>& components,
          Find find) {
  Key* key = &from;
  for (const std::string_view component : components) {
    key = find(*key, component);
    if (key == nullptr) return nullptr;
  }
  return key;
}

// Walks down from `from` as far as `components` exist; *existing tells how
// many did.
template <typename Find>
Key& WalkExisting(Key& from, const std::vector<std::string_view>& components,
                  std::size_t* existing, Find find) {
  Key* key = &from;
  std::size_t count = 0;
  for (; count < components.size(); ++count) {
    Key* const next = find(*key, components[count]);
    if (next == nullptr) break;
    key = next;
  }
  *existing = count;
  return *key;
}

// The names of the keys from below the root down to `key`.
std::vector<std::string> PathOf(const Key& key) {
  std::vector<std::string> path;
  for (const Key* k = &key; k->parent() != nullptr; k = k->parent()) {
    path.push_back(k->name());
  }
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace

// Ends a change begun by Find(..., for_change = true): unchanged unless
// committed.
class TreeRegistry::ChangeScope {
 public:
  ChangeScope(TreeRegistry& registry, const Lookup& lookup)
      : registry_(registry),
        hive_(lookup.hive),
        open_(lookup.status == status::kSuccess) {}
  ~ChangeScope() {
    if (open_) registry_.EndChange(hive_, nullptr);
  }
  ChangeScope(const ChangeScope&) = delete;
  ChangeScope& operator=(const ChangeScope&) = delete;

  Status Commit(const TreeChange& change) {
    open_ = false;
    return registry_.EndChange(hive_, &change);
  }

 private:
  TreeRegistry& registry_;
  std::size_t hive_;
  bool open_;
};

TreeRegistry::Lookup TreeRegistry::Find(HKey key, std::uint32_t required,
                                        bool for_change) {
  Handle* handle = nullptr;
  std::size_t hive = 0;
  std::uint32_t access = access::kAllAccess;
  if (const auto root_index = RootIndex(key)) {
    hive = *root_index;
  } else {
    const auto found = handles_.find(static_cast<std::uint32_t>(key));
    if (found == handles_.end()) return {status::kInvalidHandle, 0, nullptr, 0};
    handle = &found->second;
    if ((handle->access & required) != required) {
      return {status::kAccessDenied, 0, nullptr, 0};
    }
    hive = handle->hive;
    access = handle->access;
  }
  Key* root = nullptr;
  const Status opened =
      for_change ? BeginChange(hive, &root) : ReadHive(hive, &root);
  if (opened != status::kSuccess) return {opened, hive, nullptr, 0};
  Key* const target = handle != nullptr ? Resolve(*handle, *root) : root;
  if (target == nullptr) {
    if (for_change) EndChange(hive, nullptr);
    return {status::kKeyDeleted, hive, nullptr, 0};
  }
  return {status::kSuccess, hive, target, access};
}

Key* TreeRegistry::Resolve(Handle& handle, Key& root) {
  if (handle.key == nullptr) return nullptr;
  if (handle.key->deleted()) {
    handle.key.reset();
    return nullptr;
  }
  const std::uint64_t generation = Generation(handle.hive);
  if (handle.generation == generation) return handle.key.get();
  Key* key = &root;
  for (const std::string& name : handle.path) {
    key = FindSubkey(handle.hive, *key, name);
    if (key == nullptr) {
      handle.key.reset();
      return nullptr;
    }
  }
  handle.key = key->shared_from_this();
  handle.generation = generation;
  return key;
}

HKey TreeRegistry::AddHandle(std::size_t hive, Key& key, std::uint32_t access) {
  // Handles are small numbers, never 0 and never a predefined root's.
  while (next_handle_ == 0 || RootIndex(HKey{next_handle_}) ||
         handles_.contains(next_handle_)) {
    ++next_handle_;
  }
  const std::uint32_t number = next_handle_++;
  handles_.emplace(number, Handle{hive, PathOf(key), key.shared_from_this(),
                                  Generation(hive), GrantedAccess(access)});
  return HKey{number};
}

Status TreeRegistry::OpenKeyEx(HKey key, std::string_view sub_key,
                               std::uint32_t /*options*/, std::uint32_t access,
                               HKey* result) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  const Lookup from = Find(key, 0, false);
  if (from.status != status::kSuccess) return from.status;
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }
  Key* const target = Walk(*from.key, components, Finder(from.hive));
  if (target == nullptr) return status::kFileNotFound;
  if (!Writable(from.hive) && (GrantedAccess(access) & kWriteRights) != 0) {
    return status::kAccessDenied;
  }
  *result = AddHandle(from.hive, *target, access);
  return status::kSuccess;
}

Status TreeRegistry::CreateKeyEx(HKey key, std::string_view sub_key,
                                 std::string_view class_name,
                                 std::uint32_t /*options*/,
                                 std::uint32_t access,
                                 const SecurityAttributes* /*security*/,
                                 HKey* result, std::uint32_t* disposition) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  const Lookup from = Find(key, 0, false);
  if (from.status != status::kSuccess) return from.status;
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }

  std::size_t existing = 0;
  Key* target =
      &WalkExisting(*from.key, components, &existing, Finder(from.hive));
  const bool creates = existing < components.size();
  if (!Writable(from.hive) &&
      (creates || (GrantedAccess(access) & kWriteRights) != 0)) {
    return status::kAccessDenied;
  }
  if (creates && (from.access & access::kCreateSubKey) == 0) {
    return status::kAccessDenied;
  }
  bool created = false;
  if (creates) {
    // The tree may change on the way into the change; find the way again.
    const Lookup change = Find(key, 0, true);
    if (change.status != status::kSuccess) return change.status;
    ChangeScope scope(*this, change);
    target =
        &WalkExisting(*change.key, components, &existing, Finder(change.hive));
    const std::string_view cls = UpToNul(class_name);
    for (std::size_t i = existing; i < components.size(); ++i) {
      target = &target->AddSubkey(components[i], cls);
      created = true;
    }
    if (created) {
      if (const Status saved = scope.Commit(
              TreeChange::OfKey(TreeChange::Kind::kCreateKey, PathOf(*target)));
          saved != status::kSuccess) {
        return saved;
      }
    }
  }
  *result = AddHandle(from.hive, *target, access);
  if (disposition != nullptr) {
    *disposition =
        created ? disposition::kCreatedNewKey : disposition::kOpenedExistingKey;
  }
  return status::kSuccess;
}

Status TreeRegistry::CloseKey(HKey key) {
  if (RootIndex(key)) return status::kSuccess;
  return handles_.erase(static_cast<std::uint32_t>(key)) == 1
             ? status::kSuccess
             : status::kInvalidHandle;
}

Status TreeRegistry::QueryInfoKey(HKey key, char* class_name,
                                  std::uint32_t* class_length, KeyInfo* info) {
  const Lookup found = Find(key, access::kQueryValue, false);
  if (found.status != status::kSuccess) return found.status;
  if (class_name != nullptr && class_length == nullptr) {
    return status::kInvalidParameter;
  }
  const Key& k = *found.key;
  if (info != nullptr) {
    info->subkey_count = Clamp32(k.subkeys().size());
    info->max_subkey_name_length = Clamp32(k.MaxSubkeyNameLength());
    info->max_class_length = Clamp32(k.MaxSubkeyClassLength());
    info->value_count = Clamp32(k.values().size());
    info->max_value_name_length = Clamp32(k.MaxValueNameLength());
    info->max_value_data_length = Clamp32(k.MaxValueDataLength());
    info->security_descriptor_length = 0;
    info->last_write_time = k.last_write_time();
  }
  if (class_length == nullptr) return status::kSuccess;
  const std::string& cls = k.class_name();
  const std::uint32_t capacity = *class_length;
  *class_length = Clamp32(cls.size());
  if (class_name == nullptr) return status::kSuccess;
  if (cls.empty() && capacity == 0) return status::kSuccess;
  if (!FitsWithNul(cls, capacity)) return status::kMoreData;
  CopyWithNul(cls, class_name);
  return status::kSuccess;
}

Status TreeRegistry::EnumValue(HKey key, std::uint32_t index, char* name,
                               std::uint32_t* name_length, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t* data_length) {
  const Lookup found = Find(key, access::kQueryValue, false);
  if (found.status != status::kSuccess) return found.status;
  if (name == nullptr || name_length == nullptr ||
      (data != nullptr && data_length == nullptr)) {
    return status::kInvalidParameter;
  }
  const auto values = found.key->values();
  if (index >= values.size()) return status::kNoMoreItems;
  const Value& value = values[index];

  const std::uint32_t data_capacity = data_length ? *data_length : 0;
  if (type != nullptr) *type = value.type;
  if (data_length != nullptr) *data_length = Clamp32(value.data.size());
  if (!FitsWithNul(value.name, *name_length)) return status::kMoreData;
  if (data != nullptr) {
    if (value.data.size() > data_capacity) return status::kMoreData;
    std::copy(value.data.begin(), value.data.end(), data);
  }
  CopyWithNul(value.name, name);
  *name_length = Clamp32(value.name.size());
  return status::kSuccess;
}

Status TreeRegistry::EnumKeyEx(HKey key, std::uint32_t index, char* name,
                               std::uint32_t* name_length, char* class_name,
                               std::uint32_t* class_length,
                               std::uint64_t* last_write_time) {
  const Lookup found = Find(key, access::kEnumerateSubKeys, false);
  if (found.status != status::kSuccess) return found.status;
  if (name == nullptr || name_length == nullptr ||
      (class_name != nullptr && class_length == nullptr)) {
    return status::kInvalidParameter;
  }
  const auto subkeys = found.key->subkeys();
  if (index >= subkeys.size()) return status::kNoMoreItems;
  const Key& subkey = *subkeys[index];

  if (!FitsWithNul(subkey.name(), *name_length)) return status::kMoreData;
  if (class_name != nullptr &&
      !FitsWithNul(subkey.class_name(), *class_length)) {
    return status::kMoreData;
  }
  CopyWithNul(subkey.name(), name);
  *name_length = Clamp32(subkey.name().size());
  if (class_name != nullptr) {
    CopyWithNul(subkey.class_name(), class_name);
    *class_length = Clamp32(subkey.class_name().size());
  }
  if (last_write_time != nullptr) *last_write_time = subkey.last_write_time();
  return status::kSuccess;
}

Status TreeRegistry::SetValueEx(HKey key, std::string_view name,
                                std::uint32_t type,
                                std::span<const std::uint8_t> data) {
  const Lookup found = Find(key, access::kSetValue, true);
  if (found.status != status::kSuccess) return found.status;
  ChangeScope scope(*this, found);
  const std::string_view value_name = UpToNul(name);
  if (NameLength(value_name) > kMaxValueNameLength) {
    return status::kInvalidParameter;
  }
  found.key->SetValue(value_name, type, data);
  return scope.Commit(TreeChange::OfValue(
      TreeChange::Kind::kSetValue, PathOf(*found.key), value_name, type, data));
}

Status TreeRegistry::DeleteValue(HKey key, std::string_view name) {
  const Lookup found = Find(key, access::kSetValue, true);
  if (found.status != status::kSuccess) return found.status;
  ChangeScope scope(*this, found);
  const std::string_view value_name = UpToNul(name);
  if (!found.key->DeleteValue(value_name)) return status::kFileNotFound;
  return scope.Commit(TreeChange::OfValue(TreeChange::Kind::kDeleteValue,
                                          PathOf(*found.key), value_name));
}

Status TreeRegistry::DeleteKey(HKey key, std::string_view sub_key) {
  const Lookup from = Find(key, 0, true);
  if (from.status != status::kSuccess) return from.status;
  ChangeScope scope(*this, from);
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }
  Key* const target = Walk(*from.key, components, Finder(from.hive));
  if (target == nullptr) return status::kFileNotFound;
  const TreeChange change =
      TreeChange::OfKey(TreeChange::Kind::kDeleteKey, PathOf(*target));
  if (const Status deleted = target->Delete(); deleted != status::kSuccess) {
    return deleted;
  }
  return scope.Commit(change);
}

}  // namespace quillprobe::registry
