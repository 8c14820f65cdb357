// One change made to a tree of keys, as TreeRegistry reports it to the store
// that keeps the tree, so that a store can record the change alone instead of
// the whole tree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillprobe::registry {

struct TreeChange {
  enum class Kind {
    kCreateKey,    // the key at `path` and the keys above it now exist
    kSetValue,     // `value_name` of the key at `path` holds type and data
    kDeleteValue,  // `value_name` of the key at `path` is gone
    kDeleteKey,    // the key at `path` is gone (it had no subkeys)
  };
  Kind kind = Kind::kCreateKey;
  // The names of the keys from below the root down to the key.
  std::vector<std::string> path;
  std::string_view value_name;
  std::uint32_t type = 0;
  std::span<const std::uint8_t> data;

  static TreeChange OfKey(Kind kind, std::vector<std::string> path) {
    TreeChange change;
    change.kind = kind;
    change.path = std::move(path);
    return change;
  }
  static TreeChange OfValue(Kind kind, std::vector<std::string> path,
                            std::string_view value_name, std::uint32_t type = 0,
                            std::span<const std::uint8_t> data = {}) {
    TreeChange change = OfKey(kind, std::move(path));
    change.value_name = value_name;
    change.type = type;
    change.data = data;
    return change;
  }
};

}  // namespace quillprobe::registry
