// A registry held in memory, with the behaviour of the Windows registry as
// its nine calls show it: the five predefined roots, each an empty tree at
// the start; key handles with the access rights they were opened with; the
// status codes Windows gives.
//
// Not thread-safe: one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "registry/key_tree.h"
#include "registry/registry_api.h"

namespace quillprobe::registry {

class MemoryRegistry final : public RegistryApi {
 public:
  MemoryRegistry();

  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // The tree under a predefined root; null for any other handle.
  Key* RootKey(HKey root) const;

  // Handles handed out and not yet closed.
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // Access rights: the rights asked for are granted, with the generic rights
  // and MAXIMUM_ALLOWED mapped to key rights; the predefined roots have all
  // rights. Opening a key needs no right on the key it is opened from.
  //
  // Every call but CloseKey answers 1018 (kKeyDeleted) for a handle whose key
  // was deleted, once the handle's rights allow the call. Names are cut at a
  // NUL, as C strings; key name components longer than 255 characters give
  // 87 on every path argument.

  // An empty sub_key opens a new handle to `key` itself.
  Status OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                   std::uint32_t access, HKey* result) override;

  // Creating a key needs KEY_CREATE_SUB_KEY on `key` (5 otherwise); opening
  // one that exists does not. Keys created on the way to `sub_key` get the
  // same class. An empty sub_key opens `key` itself (disposition 2).
  // `options` and `security` are accepted and have no effect.
  Status CreateKeyEx(HKey key, std::string_view sub_key,
                     std::string_view class_name, std::uint32_t options,
                     std::uint32_t access, const SecurityAttributes* security,
                     HKey* result, std::uint32_t* disposition) override;

  Status CloseKey(HKey key) override;

  // Needs KEY_QUERY_VALUE. A class that does not fit (with its NUL) gives 234
  // with *class_length set to the class length; the other outputs are filled
  // in all the same. An empty class fits a capacity of 0.
  Status QueryInfoKey(HKey key, char* class_name, std::uint32_t* class_length,
                      KeyInfo* info) override;

  // Needs KEY_QUERY_VALUE. On 234 the name is not written and *name_length is
  // left as it was, while *type and *data_length are filled in.
  Status EnumValue(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* data_length) override;

  // Needs KEY_ENUMERATE_SUB_KEYS. A class buffer, when given, must hold the
  // class and its NUL, like the name buffer (234 otherwise, also for a
  // capacity of 0); on 234 nothing is written.
  Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, char* class_name,
                   std::uint32_t* class_length,
                   std::uint64_t* last_write_time) override;

  // Needs KEY_SET_VALUE. A name longer than 16,383 characters gives 87.
  Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data) override;

  // Needs KEY_SET_VALUE.
  Status DeleteValue(HKey key, std::string_view name) override;

  // Needs no right on `key`. An empty sub_key deletes `key` itself; a
  // predefined root cannot be deleted (5).
  Status DeleteKey(HKey key, std::string_view sub_key) override;

 private:
  struct Handle {
    std::shared_ptr<Key> key;
    std::uint32_t access;
  };
  // A handle looked up, and whether it has `required` rights: status 6 for
  // an unknown handle, 5 for missing rights, 1018 for a deleted key.
  struct Lookup {
    Status status;
    Key* key;
    std::uint32_t access;
  };

  Lookup Find(HKey key, std::uint32_t required) const;
  HKey AddHandle(Key& key, std::uint32_t access);

  std::array<std::shared_ptr<Key>, 5> roots_;
  std::unordered_map<std::uint32_t, Handle> handles_;
  std::uint32_t next_handle_ = 1;
};

}  // namespace quillprobe::registry
