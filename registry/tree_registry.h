// The nine registry calls over trees of keys, one tree per predefined root,
// with handles that carry the rights they were opened with: the behaviour
// that the memory registry and the local registry share. Where the trees
// come from, and where changes go, is up to the class that derives from it.
//
// Access rights: the rights asked for are granted, with the generic rights
// and MAXIMUM_ALLOWED mapped to key rights; the predefined roots have all
// rights. Opening a key needs no right on the key it is opened from. A tree
// that grants no write rights (a read-only hive) refuses, with 5, every open
// or create that asks for one, and every change.
//
// Every call but CloseKey answers 1018 (kKeyDeleted) for a handle whose key
// was deleted, once the handle's rights allow the call. A handle remembers
// its key's path: when a tree is replaced (another process changed the
// hive), it finds its key again by that path, and answers 1018 when the key
// is gone. Names are cut at a NUL, as C strings; key name components longer
// than 255 characters give 87 on every path argument.
//
// Not thread-safe: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/key_tree.h"
#include "registry/registry_api.h"
#include "registry/tree_change.h"

namespace quillprobe::registry {

class TreeRegistry : public RegistryApi {
 public:
  TreeRegistry(const TreeRegistry&) = delete;
  TreeRegistry& operator=(const TreeRegistry&) = delete;

  // Handles handed out and not yet closed.
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // An empty sub_key opens a new handle to `key` itself.
  Status OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                   std::uint32_t access, HKey* result) final;

  // Creating a key needs KEY_CREATE_SUB_KEY on `key` (5 otherwise); opening
  // one that exists does not. Keys created on the way to `sub_key` get the
  // same class. An empty sub_key opens `key` itself (disposition 2).
  // `options` and `security` are accepted and have no effect.
  Status CreateKeyEx(HKey key, std::string_view sub_key,
                     std::string_view class_name, std::uint32_t options,
                     std::uint32_t access, const SecurityAttributes* security,
                     HKey* result, std::uint32_t* disposition) final;

  Status CloseKey(HKey key) final;

  // Needs KEY_QUERY_VALUE. A class that does not fit (with its NUL) gives 234
  // with *class_length set to the class length; the other outputs are filled
  // in all the same. An empty class fits a capacity of 0.
  Status QueryInfoKey(HKey key, char* class_name, std::uint32_t* class_length,
                      KeyInfo* info) final;

  // Needs KEY_QUERY_VALUE. On 234 the name is not written and *name_length is
  // left as it was, while *type and *data_length are filled in.
  Status EnumValue(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* data_length) final;

  // Needs KEY_ENUMERATE_SUB_KEYS. A class buffer, when given, must hold the
  // class and its NUL, like the name buffer (234 otherwise, also for a
  // capacity of 0); on 234 nothing is written.
  Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, char* class_name,
                   std::uint32_t* class_length,
                   std::uint64_t* last_write_time) final;

  // Needs KEY_SET_VALUE. A name longer than 16,383 characters gives 87.
  Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data) final;

  // Needs KEY_SET_VALUE.
  Status DeleteValue(HKey key, std::string_view name) final;

  // Needs no right on `key`. An empty sub_key deletes `key` itself; a
  // predefined root cannot be deleted (5).
  Status DeleteKey(HKey key, std::string_view sub_key) final;

 protected:
  TreeRegistry() = default;
  ~TreeRegistry() override = default;

  // The trees, by the position of their root in kPredefinedRoots.

  // Brings the tree of `hive` up to date for reading and sets *root to its
  // root key. Any status but success fails the call with it.
  virtual Status ReadHive(std::size_t hive, Key** root) = 0;

  // As ReadHive, for a change: on success the tree is held for this change
  // until EndChange, which the caller always calls.
  virtual Status BeginChange(std::size_t hive, Key** root) = 0;

  // Ends the change that BeginChange began; `change` says what changed in
  // the tree, null when nothing did. A failure fails the call with its
  // status; the change is then not kept.
  virtual Status EndChange(std::size_t hive, const TreeChange* change) = 0;

  // A number that changes whenever the tree of `hive` is replaced, after
  // which handles find their keys again by path.
  virtual std::uint64_t Generation(std::size_t hive) const = 0;

  // The subkey `name` of `parent`, a key of the tree of `hive`, or null.
  // Every walk down a tree goes through here, so that a tree can be read
  // as far as it is walked.
  virtual Key* FindSubkey(std::size_t /*hive*/, Key& parent,
                          std::string_view name) {
    return parent.FindSubkey(name);
  }

  // False when the tree of `hive` grants no write rights. Asked after
  // ReadHive.
  virtual bool Writable(std::size_t hive) const = 0;

 private:
  struct Handle {
    std::size_t hive;
    std::vector<std::string> path;  // from the root
    std::shared_ptr<Key> key;       // null once the key is known to be gone
    std::uint64_t generation;
    std::uint32_t access;
  };
  // A handle looked up: status 6 for an unknown handle, 5 for missing
  // rights, 1018 for a deleted key, or the status of reading the tree.
  struct Lookup {
    Status status;
    std::size_t hive;
    Key* key;
    std::uint32_t access;
  };
  class ChangeScope;

  Lookup Find(HKey key, std::uint32_t required, bool for_change);
  // Subkey lookups in the tree of `hive`, for walks.
  auto Finder(std::size_t hive) {
    return [this, hive](Key& parent, std::string_view name) {
      return FindSubkey(hive, parent, name);
    };
  }
  Key* Resolve(Handle& handle, Key& root);
  HKey AddHandle(std::size_t hive, Key& key, std::uint32_t access);

  std::unordered_map<std::uint32_t, Handle> handles_;
  std::uint32_t next_handle_ = 1;
};

}  // namespace quillprobe::registry
