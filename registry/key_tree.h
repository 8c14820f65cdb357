// A tree of registry keys with the semantics of the Windows registry, apart
// from handles: names compare case-insensitively (CompareIgnoreCase) and keep
// the case they were created with; values keep their insertion order and
// subkeys their case-insensitive name order.
//
// A key is shared: its parent owns it, and whoever holds a handle to it keeps
// it alive. A deleted key leaves the tree, is marked deleted and drops its
// contents; its holders can still see that it was deleted.
//
// Lookups of a value by name take constant time on average, lookups of a
// subkey logarithmic time, and the value or subkey at a position constant
// time. Nothing here copies a tree. Not thread-safe: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/registry_api.h"
#include "registry/unicode_case.h"

namespace quillprobe::registry {

struct Value {
  std::string name;
  std::uint32_t type = value_type::kNone;
  std::vector<std::uint8_t> data;
};

// The current time as a FILETIME (100 ns intervals since 1601).
std::uint64_t FileTimeNow();

class Key : public std::enable_shared_from_this<Key> {
 public:
  // A key without a parent, the top of a tree: a predefined root.
  static std::shared_ptr<Key> NewRoot(std::string_view name);

  // Releases the subtree without recursion, so that no depth of keys can
  // exhaust the stack. Subkeys that outlive it (held by a handle) are left
  // without a parent.
  ~Key();

  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  const std::string& name() const { return name_; }
  const std::string& class_name() const { return class_name_; }
  // Null for a root and for a deleted key.
  Key* parent() const { return parent_; }
  bool deleted() const { return deleted_; }
  // Whether the key's values and subkeys are still to be read from where its
  // tree is stored, in a tree read as far as it is walked. A new key has
  // nothing to read.
  bool unread() const { return unread_; }
  void set_unread(bool unread) { unread_ = unread; }
  // When the key, its values or its list of subkeys last changed.
  std::uint64_t last_write_time() const { return last_write_time_; }

  // The values in insertion order.
  std::span<const Value> values() const { return values_; }
  // Stores a value. A value that exists keeps its place and its name's case
  // and takes the new type and data; a new one goes last.
  void SetValue(std::string_view name, std::uint32_t type,
                std::span<const std::uint8_t> data);
  // False when there is no value of that name.
  bool DeleteValue(std::string_view name);

  // The subkeys in case-insensitive name order.
  std::span<const std::shared_ptr<Key>> subkeys() const { return subkeys_; }
  // The subkey of that name, or null.
  Key* FindSubkey(std::string_view name) const;
  // The subkey of that name, created (with `class_name`) when it is missing.
  // `created` (may be null) tells which happened.
  Key& AddSubkey(std::string_view name, std::string_view class_name,
                 bool* created = nullptr);
  // Removes a key of the tree from its parent and marks it deleted.
  // 5 (kAccessDenied) for a key that has subkeys and for a root.
  Status Delete();

  // The longest value name and data, and the longest subkey name and class,
  // in bytes.
  std::size_t MaxValueNameLength() const;
  std::size_t MaxValueDataLength() const;
  std::size_t MaxSubkeyNameLength() const;
  std::size_t MaxSubkeyClassLength() const;

 private:
  struct PrivateTag {};

 public:
  // Use NewRoot or AddSubkey.
  Key(PrivateTag, std::string_view name, std::string_view class_name,
      Key* parent);

 private:
  // Longest lengths, computed when first asked for after a change that can
  // have shortened them, and kept up to date by changes that only lengthen.
  struct Maxima {
    bool valid = true;
    std::size_t first = 0;
    std::size_t second = 0;
  };

  void Touch() { last_write_time_ = FileTimeNow(); }
  void RemoveSubkey(const Key& child);
  std::vector<std::shared_ptr<Key>>::const_iterator LowerBound(
      std::string_view name) const;
  const Maxima& ValueMaxima() const;
  const Maxima& SubkeyMaxima() const;

  std::string name_;
  std::string class_name_;
  Key* parent_;
  bool deleted_ = false;
  bool unread_ = false;
  std::uint64_t last_write_time_;

  std::vector<Value> values_;
  // Value name -> position in values_.
  std::unordered_map<std::string, std::size_t, CaseInsensitiveHash,
                     CaseInsensitiveEqual>
      value_index_;
  std::vector<std::shared_ptr<Key>> subkeys_;

  mutable Maxima value_maxima_;   // name, data
  mutable Maxima subkey_maxima_;  // name, class
};

}  // namespace quillprobe::registry
