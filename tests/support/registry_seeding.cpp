#include "tests/support/registry_seeding.h"

#include <gtest/gtest.h>

namespace quillprobe::test {

using registry::HKey;
using registry::kNoKey;
using registry::Status;

void SeedKey(registry::RegistryApi& api, HKey root, std::string_view path) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(api.CreateKeyEx(root, path, "", 0, registry::access::kAllAccess,
                            nullptr, &key, &disposition),
            0)
      << path;
  api.CloseKey(key);
}

void SeedValue(registry::RegistryApi& api, HKey root, std::string_view path,
               std::string_view name, std::uint32_t type,
               std::vector<std::uint8_t> data) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(api.CreateKeyEx(root, path, "", 0, registry::access::kAllAccess,
                            nullptr, &key, &disposition),
            0)
      << path;
  EXPECT_EQ(api.SetValueEx(key, name, type, data), 0) << name;
  api.CloseKey(key);
}

void SeedString(registry::RegistryApi& api, HKey root, std::string_view path,
                std::string_view name, std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SeedValue(api, root, path, name, registry::value_type::kSz, std::move(data));
}

bool KeyExists(registry::RegistryApi& api, HKey root, std::string_view path) {
  HKey key = kNoKey;
  if (api.OpenKeyEx(root, path, 0, registry::access::kQueryValue, &key) != 0) {
    return false;
  }
  api.CloseKey(key);
  return true;
}

StoredValue ReadValue(registry::RegistryApi& api, HKey root,
                      std::string_view path, std::string_view name) {
  StoredValue result;
  HKey key = kNoKey;
  result.status =
      api.OpenKeyEx(root, path, 0, registry::access::kQueryValue, &key);
  if (result.status != 0) return result;
  result.status = 2;
  for (std::uint32_t index = 0;; ++index) {
    char buffer[registry::kMaxValueNameLength + 1];
    std::uint32_t name_length = sizeof buffer;
    std::uint32_t type = 0;
    std::uint32_t data_length = 0;
    const Status listed = api.EnumValue(key, index, buffer, &name_length, &type,
                                        nullptr, &data_length);
    if (listed != 0) break;
    if (std::string_view(buffer, name_length) != name) continue;
    result.data.resize(data_length);
    name_length = sizeof buffer;
    result.status =
        api.EnumValue(key, index, buffer, &name_length, &result.type,
                      result.data.data(), &data_length);
    break;
  }
  api.CloseKey(key);
  return result;
}

}  // namespace quillprobe::test
