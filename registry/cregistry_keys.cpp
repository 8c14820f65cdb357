// Creating subkeys and deleting key trees under the bound key.
#include <array>

#include "registry/cregistry.h"
#include "registry/cregistry_internal.h"

namespace quillprobe::registry {

using namespace internal;

bool CRegistry::Create(std::string_view KeyName,
                       const std::optional<VariantRequest>& sKeyName,
                       const std::optional<std::string>& sValue) {
  bool result = false;
  try {
    // The object moves onto the new key, and stays there even when the key
    // cannot be created.
    if (KeyName != sKey_) sKey_ = sKey_ + "\\" + std::string(KeyName);
    if (CreateEx() != 0) {
      // The key exists from here on, whatever happens to its first value.
      result = true;
      if (sKeyName && sValue && !SetValue(*sKeyName, *sValue)) {
        message_box_.Show("Could not set value", std::nullopt);
      }
    }
  } catch (const std::exception&) {
    // Either the key could not be created (false) or its first value could
    // not be named (true); neither is shown.
  }
  CloseKey();
  return result;
}

bool CRegistry::DeleteKey(std::string_view KeyName) {
  const std::string saved_key = sKey_;
  try {
    return DeleteKeyTree(KeyName) == status::kSuccess;
  } catch (const std::exception&) {
    sKey_ = saved_key;
    return false;
  }
}

// Deletes the subkey `sSubKey` of the current key path, depth first: always
// the child at index 0, until none is left, then the key itself from its
// parent. Each level holds one handle of its own; the object's key path
// names the level's parent while a child is processed and is restored after
// each. Returns 0 when the key is gone, -1 when it (or its parent) cannot be
// opened with full access, otherwise the status of the step that failed. A
// child that cannot be removed ends the loop, since index 0 would name it
// again.
std::int32_t CRegistry::DeleteKeyTree(std::string_view sSubKey) {
  const std::string saved_key = sKey_;
  const std::string path = sKey_ + "\\" + std::string(sSubKey);
  std::int32_t result = -1;

  HKey key = kNoKey;
  if (api_.OpenKeyEx(RootKey(), path, 0, kAccessAll, &key) !=
      status::kSuccess) {
    return -1;
  }
  // Room for the longest key name and its terminator.
  std::array<char, kMaxKeyNameLength + 1> name{};
  for (;;) {
    auto length = static_cast<std::uint32_t>(name.size());
    const Status listed =
        api_.EnumKeyEx(key, 0, name.data(), &length, nullptr, nullptr, nullptr);
    if (listed == status::kNoMoreItems) {
      api_.CloseKey(key);
      key = kNoKey;
      result = -1;
      if (api_.OpenKeyEx(RootKey(), sKey_, 0, kAccessAll, &key) ==
          status::kSuccess) {
        result = api_.DeleteKey(key, sSubKey);
      } else {
        key = kNoKey;
      }
      break;
    }
    if (listed != status::kSuccess) {
      result = listed;
      break;
    }
    const std::string child(name.data(),
                            std::min<std::size_t>(length, name.size()));
    sKey_ = path;
    result = DeleteKeyTree(child);
    sKey_ = saved_key;
    if (result != status::kSuccess) break;
  }
  if (key != kNoKey) api_.CloseKey(key);
  return result;
}

}  // namespace quillprobe::registry
