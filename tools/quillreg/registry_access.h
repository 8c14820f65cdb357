// The registry reads and writes the commands share, over RegistryApi: an
// open key that closes itself, a key's values and subkeys read whole, the
// keys of a tree in order, and the deletion of a tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_api.h"

namespace quillprobe::quillreg {

// A key handle that closes itself.
class OpenKey {
 public:
  OpenKey() = default;
  explicit OpenKey(registry::RegistryApi& api) : api_(&api) {}
  ~OpenKey() { Close(); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  // Opens `path` under `root` (an empty path: the root itself).
  registry::Status Open(registry::HKey root, std::string_view path,
                        std::uint32_t access);
  // Opens `path` under `root`, creating it and any missing keys above it.
  registry::Status Create(registry::HKey root, std::string_view path,
                          std::uint32_t access);
  void Close();

  registry::HKey handle() const { return handle_; }

 private:
  registry::RegistryApi* api_ = nullptr;
  registry::HKey handle_ = registry::kNoKey;
};

struct ValueEntry {
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// Every value of `key` in enumeration order (needs KEY_QUERY_VALUE).
registry::Status ReadValues(registry::RegistryApi& api, registry::HKey key,
                            std::vector<ValueEntry>* values);

// The names of the subkeys of `key` in enumeration order (needs
// KEY_ENUMERATE_SUB_KEYS).
registry::Status ReadSubkeyNames(registry::RegistryApi& api, registry::HKey key,
                                 std::vector<std::string>* names);

// Visits `path` under `root` and every key below it, each before its
// subkeys and the subkeys of a key in enumeration order. `visit` gets the
// key's path relative to `root` and a handle with KEY_READ rights; a status
// other than success from it ends the walk. Walks without recursion, so any
// depth is fine. A key that cannot be opened or enumerated ends the walk with
// its status, and *failed_path names it.
using KeyVisitor =
    std::function<registry::Status(const std::string& path, registry::HKey)>;
registry::Status WalkTree(registry::RegistryApi& api, registry::HKey root,
                          const std::string& path, const KeyVisitor& visit,
                          std::string* failed_path);

// Deletes `path` under `root` with everything below it, deepest keys first.
// The whole tree is listed before anything is deleted, so a key that cannot
// be listed leaves the tree untouched.
registry::Status DeleteTree(registry::RegistryApi& api, registry::HKey root,
                            const std::string& path, std::string* failed_path);

// `path` and `name` joined by a backslash (just `name` for an empty path).
std::string JoinPath(std::string_view path, std::string_view name);

}  // namespace quillprobe::quillreg
