#include "registry/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "registry/key_path.h"

namespace quillprobe::registry {
namespace {

constexpr std::array<HKey, 5> kRoots = {
    roots::kClassesRoot, roots::kCurrentUser, roots::kLocalMachine,
    roots::kUsers, roots::kCurrentConfig};
constexpr std::array<std::string_view, 5> kRootNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
    "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

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

// Walks `components` down from `from`; null when one is missing.
Key* Walk(Key& from, const std::vector<std::string_view>& components) {
  Key* key = &from;
  for (const std::string_view component : components) {
    key = key->FindSubkey(component);
    if (key == nullptr) return nullptr;
  }
  return key;
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (std::size_t i = 0; i < roots_.size(); ++i) {
    roots_[i] = Key::NewRoot(kRootNames[i]);
  }
}

Key* MemoryRegistry::RootKey(HKey root) const {
  const auto found = std::find(kRoots.begin(), kRoots.end(), root);
  if (found == kRoots.end()) return nullptr;
  return roots_[static_cast<std::size_t>(found - kRoots.begin())].get();
}

MemoryRegistry::Lookup MemoryRegistry::Find(HKey key,
                                            std::uint32_t required) const {
  if (Key* root = RootKey(key)) {
    return {status::kSuccess, root, access::kAllAccess};
  }
  const auto found = handles_.find(static_cast<std::uint32_t>(key));
  if (found == handles_.end()) return {status::kInvalidHandle, nullptr, 0};
  const Handle& handle = found->second;
  if ((handle.access & required) != required) {
    return {status::kAccessDenied, nullptr, 0};
  }
  if (handle.key->deleted()) return {status::kKeyDeleted, nullptr, 0};
  return {status::kSuccess, handle.key.get(), handle.access};
}

HKey MemoryRegistry::AddHandle(Key& key, std::uint32_t access) {
  // Handles are small numbers, never 0 and never a predefined root's.
  while (next_handle_ == 0 || RootKey(HKey{next_handle_}) != nullptr ||
         handles_.contains(next_handle_)) {
    ++next_handle_;
  }
  const std::uint32_t number = next_handle_++;
  handles_.emplace(number,
                   Handle{key.shared_from_this(), GrantedAccess(access)});
  return HKey{number};
}

Status MemoryRegistry::OpenKeyEx(HKey key, std::string_view sub_key,
                                 std::uint32_t /*options*/,
                                 std::uint32_t access, HKey* result) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  const Lookup from = Find(key, 0);
  if (from.status != status::kSuccess) return from.status;
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }
  Key* const target = Walk(*from.key, components);
  if (target == nullptr) return status::kFileNotFound;
  *result = AddHandle(*target, access);
  return status::kSuccess;
}

Status MemoryRegistry::CreateKeyEx(HKey key, std::string_view sub_key,
                                   std::string_view class_name,
                                   std::uint32_t /*options*/,
                                   std::uint32_t access,
                                   const SecurityAttributes* /*security*/,
                                   HKey* result, std::uint32_t* disposition) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  const Lookup from = Find(key, 0);
  if (from.status != status::kSuccess) return from.status;
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }

  // The part of the path that exists.
  Key* target = from.key;
  std::size_t existing = 0;
  for (; existing < components.size(); ++existing) {
    Key* const next = target->FindSubkey(components[existing]);
    if (next == nullptr) break;
    target = next;
  }
  const bool creates = existing < components.size();
  if (creates && (from.access & access::kCreateSubKey) == 0) {
    return status::kAccessDenied;
  }
  const std::string_view cls = UpToNul(class_name);
  for (std::size_t i = existing; i < components.size(); ++i) {
    target = &target->AddSubkey(components[i], cls);
  }
  *result = AddHandle(*target, access);
  if (disposition != nullptr) {
    *disposition =
        creates ? disposition::kCreatedNewKey : disposition::kOpenedExistingKey;
  }
  return status::kSuccess;
}

Status MemoryRegistry::CloseKey(HKey key) {
  if (RootKey(key) != nullptr) return status::kSuccess;
  return handles_.erase(static_cast<std::uint32_t>(key)) == 1
             ? status::kSuccess
             : status::kInvalidHandle;
}

Status MemoryRegistry::QueryInfoKey(HKey key, char* class_name,
                                    std::uint32_t* class_length,
                                    KeyInfo* info) {
  const Lookup found = Find(key, access::kQueryValue);
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

Status MemoryRegistry::EnumValue(HKey key, std::uint32_t index, char* name,
                                 std::uint32_t* name_length,
                                 std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* data_length) {
  const Lookup found = Find(key, access::kQueryValue);
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

Status MemoryRegistry::EnumKeyEx(HKey key, std::uint32_t index, char* name,
                                 std::uint32_t* name_length, char* class_name,
                                 std::uint32_t* class_length,
                                 std::uint64_t* last_write_time) {
  const Lookup found = Find(key, access::kEnumerateSubKeys);
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

Status MemoryRegistry::SetValueEx(HKey key, std::string_view name,
                                  std::uint32_t type,
                                  std::span<const std::uint8_t> data) {
  const Lookup found = Find(key, access::kSetValue);
  if (found.status != status::kSuccess) return found.status;
  const std::string_view value_name = UpToNul(name);
  if (NameLength(value_name) > kMaxValueNameLength) {
    return status::kInvalidParameter;
  }
  found.key->SetValue(value_name, type, data);
  return status::kSuccess;
}

Status MemoryRegistry::DeleteValue(HKey key, std::string_view name) {
  const Lookup found = Find(key, access::kSetValue);
  if (found.status != status::kSuccess) return found.status;
  return found.key->DeleteValue(UpToNul(name)) ? status::kSuccess
                                               : status::kFileNotFound;
}

Status MemoryRegistry::DeleteKey(HKey key, std::string_view sub_key) {
  const Lookup from = Find(key, 0);
  if (from.status != status::kSuccess) return from.status;
  std::vector<std::string_view> components;
  if (const Status parsed = SplitKeyPath(UpToNul(sub_key), components);
      parsed != status::kSuccess) {
    return parsed;
  }
  Key* const target = Walk(*from.key, components);
  if (target == nullptr) return status::kFileNotFound;
  return target->Delete();
}

}  // namespace quillprobe::registry
