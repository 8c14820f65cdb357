// Helpers that prepare keys and values through the registry interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_api.h"

namespace quillprobe::test {

// Creates `path` under `root` (and the keys above it).
void SeedKey(registry::RegistryApi& api, registry::HKey root,
             std::string_view path);

// Stores a value of any type, byte for byte, creating the key when needed.
void SeedValue(registry::RegistryApi& api, registry::HKey root,
               std::string_view path, std::string_view name, std::uint32_t type,
               std::vector<std::uint8_t> data);

// Stores a REG_SZ value with its terminating NUL.
void SeedString(registry::RegistryApi& api, registry::HKey root,
                std::string_view path, std::string_view name,
                std::string_view text);

// True when `path` can be opened under `root`.
bool KeyExists(registry::RegistryApi& api, registry::HKey root,
               std::string_view path);

// The type and data of a value, or status on failure.
struct StoredValue {
  registry::Status status = 0;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};
StoredValue ReadValue(registry::RegistryApi& api, registry::HKey root,
                      std::string_view path, std::string_view name);

}  // namespace quillprobe::test
