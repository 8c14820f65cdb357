#include "tools/quillreg/registry_access.h"

#include <algorithm>

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
namespace access = registry::access;
using registry::Status;

// Reads may race with writers of the same key; a buffer that turned out too
// small is grown and the read tried again this many times.
constexpr int kAttempts = 8;

// A capacity in bytes for a name of `length` bytes and its NUL, with room
// for the name to have grown a little.
std::uint32_t NameCapacity(std::uint32_t length) {
  return std::max<std::uint32_t>(length + 1, 256);
}

}  // namespace

Status OpenKey::Open(registry::HKey root, std::string_view path,
                     std::uint32_t access_mask) {
  Close();
  return api_->OpenKeyEx(root, path, 0, access_mask, &handle_);
}

Status OpenKey::Create(registry::HKey root, std::string_view path,
                       std::uint32_t access_mask) {
  Close();
  std::uint32_t disposition = 0;
  return api_->CreateKeyEx(root, path, "", 0, access_mask, nullptr, &handle_,
                           &disposition);
}

void OpenKey::Close() {
  if (handle_ != registry::kNoKey) api_->CloseKey(handle_);
  handle_ = registry::kNoKey;
}

Status ReadValues(registry::RegistryApi& api, registry::HKey key,
                  std::vector<ValueEntry>* values) {
  values->clear();
  registry::KeyInfo info;
  if (const Status queried = api.QueryInfoKey(key, nullptr, nullptr, &info);
      queried != status::kSuccess) {
    return queried;
  }
  std::vector<char> name(NameCapacity(info.max_value_name_length));
  std::vector<std::uint8_t> data(
      std::max<std::uint32_t>(info.max_value_data_length, 1));
  for (std::uint32_t index = 0;; ++index) {
    Status result = status::kMoreData;
    ValueEntry entry;
    for (int attempt = 0; attempt < kAttempts && result == status::kMoreData;
         ++attempt) {
      auto name_length = static_cast<std::uint32_t>(name.size());
      auto data_length = static_cast<std::uint32_t>(data.size());
      result = api.EnumValue(key, index, name.data(), &name_length, &entry.type,
                             data.data(), &data_length);
      if (result == status::kMoreData) {
        // data_length holds the size the data needs; when that fits, it was
        // the name that did not.
        if (data_length > data.size()) {
          data.resize(data_length);
        } else {
          name.resize(name.size() * 2);
        }
        continue;
      }
      if (result == status::kSuccess) {
        entry.name.assign(name.data(), name_length);
        entry.data.assign(data.begin(), data.begin() + data_length);
      }
    }
    if (result == status::kNoMoreItems) return status::kSuccess;
    if (result != status::kSuccess) return result;
    values->push_back(std::move(entry));
  }
}

Status ReadSubkeyNames(registry::RegistryApi& api, registry::HKey key,
                       std::vector<std::string>* names) {
  names->clear();
  // A key name has at most 255 UTF-16 units, at most 765 bytes of UTF-8.
  std::vector<char> name(1024);
  for (std::uint32_t index = 0;; ++index) {
    Status result = status::kMoreData;
    for (int attempt = 0; attempt < kAttempts && result == status::kMoreData;
         ++attempt) {
      auto name_length = static_cast<std::uint32_t>(name.size());
      result = api.EnumKeyEx(key, index, name.data(), &name_length, nullptr,
                             nullptr, nullptr);
      if (result == status::kMoreData) {
        name.resize(name.size() * 2);
      } else if (result == status::kSuccess) {
        names->emplace_back(name.data(), name_length);
      }
    }
    if (result == status::kNoMoreItems) return status::kSuccess;
    if (result != status::kSuccess) return result;
  }
}

Status WalkTree(registry::RegistryApi& api, registry::HKey root,
                const std::string& path, const KeyVisitor& visit,
                std::string* failed_path) {
  std::vector<std::string> pending{path};
  std::vector<std::string> subkeys;
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    OpenKey key(api);
    Status result = key.Open(root, current, access::kRead);
    if (result == status::kSuccess) {
      result = ReadSubkeyNames(api, key.handle(), &subkeys);
    }
    if (result == status::kSuccess) result = visit(current, key.handle());
    if (result != status::kSuccess) {
      *failed_path = current;
      return result;
    }
    for (auto name = subkeys.rbegin(); name != subkeys.rend(); ++name) {
      pending.push_back(JoinPath(current, *name));
    }
  }
  return status::kSuccess;
}

Status DeleteTree(registry::RegistryApi& api, registry::HKey root,
                  const std::string& path, std::string* failed_path) {
  std::vector<std::string> keys;
  const auto list = [&keys](const std::string& key_path, registry::HKey) {
    keys.push_back(key_path);
    return status::kSuccess;
  };
  if (const Status listed = WalkTree(api, root, path, list, failed_path);
      listed != status::kSuccess) {
    return listed;
  }
  // Every key comes after its parent in the list, so the reverse order
  // deletes each key after all of its subkeys.
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    if (const Status deleted = api.DeleteKey(root, *key);
        deleted != status::kSuccess) {
      *failed_path = *key;
      return deleted;
    }
  }
  return status::kSuccess;
}

std::string JoinPath(std::string_view path, std::string_view name) {
  if (path.empty()) return std::string(name);
  std::string joined;
  joined.reserve(path.size() + 1 + name.size());
  joined.append(path).append(1, '\\').append(name);
  return joined;
}

}  // namespace quillprobe::quillreg
