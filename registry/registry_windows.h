// The registry of Windows, through advapi32's wide functions.
//
// The system's UTF-8 text is converted to UTF-16 on the way in and back on
// the way out, so that the calls answer exactly as the ANSI functions would
// under a UTF-8 code page: names and their capacities are counted in bytes
// of UTF-8, string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) travels as
// UTF-8 with exactly the characters stored (a terminating NUL only when one
// is stored), and other data byte for byte. Text arguments end at their first
// NUL, as a C string would.
#pragma once

#include "registry/registry_api.h"

namespace quillprobe::registry {

class WindowsRegistry final : public RegistryApi {
 public:
  Status OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                   std::uint32_t access, HKey* result) override;
  Status CreateKeyEx(HKey key, std::string_view sub_key,
                     std::string_view class_name, std::uint32_t options,
                     std::uint32_t access, const SecurityAttributes* security,
                     HKey* result, std::uint32_t* disposition) override;
  Status CloseKey(HKey key) override;
  Status QueryInfoKey(HKey key, char* class_name, std::uint32_t* class_length,
                      KeyInfo* info) override;
  Status EnumValue(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* data_length) override;
  Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, char* class_name,
                   std::uint32_t* class_length,
                   std::uint64_t* last_write_time) override;
  Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data) override;
  Status DeleteValue(HKey key, std::string_view name) override;
  Status DeleteKey(HKey key, std::string_view sub_key) override;
};

}  // namespace quillprobe::registry
