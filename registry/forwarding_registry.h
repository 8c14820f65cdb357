// A registry that passes every call on to another one. Derive from it to
// change single calls (record them, make them fail) and leave the rest to the
// target.
#pragma once

#include "registry/registry_api.h"

namespace quillprobe::registry {

class ForwardingRegistry : public RegistryApi {
 public:
  // `target` must outlive this registry.
  explicit ForwardingRegistry(RegistryApi& target) : target_(target) {}

  RegistryApi& target() const { return target_; }

  Status OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                   std::uint32_t access, HKey* result) override {
    return target_.OpenKeyEx(key, sub_key, options, access, result);
  }
  Status CreateKeyEx(HKey key, std::string_view sub_key,
                     std::string_view class_name, std::uint32_t options,
                     std::uint32_t access, const SecurityAttributes* security,
                     HKey* result, std::uint32_t* disposition) override {
    return target_.CreateKeyEx(key, sub_key, class_name, options, access,
                               security, result, disposition);
  }
  Status CloseKey(HKey key) override { return target_.CloseKey(key); }
  Status QueryInfoKey(HKey key, char* class_name, std::uint32_t* class_length,
                      KeyInfo* info) override {
    return target_.QueryInfoKey(key, class_name, class_length, info);
  }
  Status EnumValue(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* data_length) override {
    return target_.EnumValue(key, index, name, name_length, type, data,
                             data_length);
  }
  Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, char* class_name,
                   std::uint32_t* class_length,
                   std::uint64_t* last_write_time) override {
    return target_.EnumKeyEx(key, index, name, name_length, class_name,
                             class_length, last_write_time);
  }
  Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data) override {
    return target_.SetValueEx(key, name, type, data);
  }
  Status DeleteValue(HKey key, std::string_view name) override {
    return target_.DeleteValue(key, name);
  }
  Status DeleteKey(HKey key, std::string_view sub_key) override {
    return target_.DeleteKey(key, sub_key);
  }

 private:
  RegistryApi& target_;
};

}  // namespace quillprobe::registry
