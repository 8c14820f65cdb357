// What the memory registry does beyond the conformance suite: where Windows
// gives no answer to check against, or where checking it would touch the
// live registry.
#include "registry/memory_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillprobe::registry {
namespace {

constexpr std::array<HKey, 5> kRoots = {
    roots::kClassesRoot, roots::kCurrentUser, roots::kLocalMachine,
    roots::kUsers, roots::kCurrentConfig};

class MemoryRegistryTest : public ::testing::Test {
 protected:
  HKey Create(HKey parent, std::string_view path,
              std::uint32_t access = access::kAllAccess) {
    HKey key = kNoKey;
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry_.CreateKeyEx(parent, path, "", 0, access, nullptr, &key,
                                    &disposition),
              status::kSuccess)
        << path;
    return key;
  }
  KeyInfo Info(HKey key) {
    KeyInfo info;
    EXPECT_EQ(registry_.QueryInfoKey(key, nullptr, nullptr, &info),
              status::kSuccess);
    return info;
  }

  MemoryRegistry registry_;
};

TEST_F(MemoryRegistryTest, RootsAreSeparateEmptyTrees) {
  for (const HKey root : kRoots) {
    const KeyInfo info = Info(root);
    EXPECT_EQ(info.subkey_count, 0u);
    EXPECT_EQ(info.value_count, 0u);
    ASSERT_NE(registry_.RootKey(root), nullptr);
  }
  registry_.CloseKey(Create(roots::kCurrentUser, "Software"));
  EXPECT_EQ(Info(roots::kCurrentUser).subkey_count, 1u);
  EXPECT_EQ(Info(roots::kLocalMachine).subkey_count, 0u);
  EXPECT_EQ(registry_.RootKey(HKey{0x80000004u}), nullptr);
}

TEST_F(MemoryRegistryTest, RootsCannotBeDeleted) {
  for (const HKey root : kRoots) {
    EXPECT_EQ(registry_.DeleteKey(root, ""), status::kAccessDenied);
    HKey handle = kNoKey;
    ASSERT_EQ(registry_.OpenKeyEx(root, "", 0, access::kAllAccess, &handle),
              status::kSuccess);
    EXPECT_EQ(registry_.DeleteKey(handle, ""), status::kAccessDenied);
    EXPECT_EQ(registry_.CloseKey(handle), status::kSuccess);
  }
}

TEST_F(MemoryRegistryTest, HandlesLiveUntilClosedOnce) {
  const HKey first = Create(roots::kUsers, "A");
  const HKey second = Create(roots::kUsers, "A");
  EXPECT_NE(first, second);
  for (const HKey handle : {first, second}) {
    EXPECT_NE(handle, kNoKey);
    EXPECT_FALSE(IsPredefinedRoot(handle));
  }
  EXPECT_EQ(registry_.OpenHandleCount(), 2u);
  EXPECT_EQ(registry_.CloseKey(first), status::kSuccess);
  EXPECT_EQ(registry_.CloseKey(first), status::kInvalidHandle);
  EXPECT_EQ(registry_.CloseKey(second), status::kSuccess);
  EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}

TEST_F(MemoryRegistryTest, TooLongComponentsAreInvalidOnEveryPath) {
  const std::string too_long(kMaxKeyNameLength + 1, 'k');
  HKey key = kNoKey;
  EXPECT_EQ(
      registry_.OpenKeyEx(roots::kUsers, too_long, 0, access::kRead, &key),
      status::kInvalidParameter);
  EXPECT_EQ(registry_.DeleteKey(roots::kUsers, "A\\" + too_long),
            status::kInvalidParameter);
}

TEST_F(MemoryRegistryTest, NamesEndAtANul) {
  using std::string_view_literals::operator""sv;
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry_.CreateKeyEx(roots::kUsers, "Key\0Ignored"sv, "Class\0Ignored"sv,
                            0, access::kAllAccess, nullptr, &key, &disposition),
      status::kSuccess);
  ASSERT_EQ(registry_.SetValueEx(key, "Value\0Ignored"sv, value_type::kBinary,
                                 std::vector<std::uint8_t>{1}),
            status::kSuccess);
  char name[32];
  std::uint32_t name_length = sizeof name;
  char class_name[32];
  std::uint32_t class_length = sizeof class_name;
  ASSERT_EQ(registry_.EnumKeyEx(roots::kUsers, 0, name, &name_length,
                                class_name, &class_length, nullptr),
            status::kSuccess);
  EXPECT_EQ(std::string(name, name_length), "Key");
  EXPECT_EQ(std::string(class_name, class_length), "Class");
  name_length = sizeof name;
  ASSERT_EQ(registry_.EnumValue(key, 0, name, &name_length, nullptr, nullptr,
                                nullptr),
            status::kSuccess);
  EXPECT_EQ(std::string(name, name_length), "Value");
  registry_.CloseKey(key);
}

TEST_F(MemoryRegistryTest, MissingOutputPointersAreInvalidParameters) {
  const HKey key = Create(roots::kUsers, "A\\B");
  ASSERT_EQ(registry_.SetValueEx(key, "v", value_type::kBinary,
                                 std::vector<std::uint8_t>{1}),
            status::kSuccess);
  std::uint32_t disposition = 0;
  EXPECT_EQ(registry_.OpenKeyEx(roots::kUsers, "A", 0, access::kRead, nullptr),
            status::kInvalidParameter);
  EXPECT_EQ(registry_.CreateKeyEx(roots::kUsers, "A", "", 0, access::kRead,
                                  nullptr, nullptr, &disposition),
            status::kInvalidParameter);
  char text[8];
  std::uint8_t data[8];
  std::uint32_t length = sizeof text;
  EXPECT_EQ(
      registry_.EnumValue(key, 0, text, nullptr, nullptr, nullptr, nullptr),
      status::kInvalidParameter);
  EXPECT_EQ(registry_.EnumValue(key, 0, text, &length, nullptr, data, nullptr),
            status::kInvalidParameter);
  EXPECT_EQ(registry_.EnumKeyEx(roots::kUsers, 0, text, &length, text, nullptr,
                                nullptr),
            status::kInvalidParameter);
  EXPECT_EQ(registry_.QueryInfoKey(key, text, nullptr, nullptr),
            status::kInvalidParameter);
  registry_.CloseKey(key);
  EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}

TEST_F(MemoryRegistryTest, LongestLengthsFollowDeletionsAndShorterData) {
  const HKey key = Create(roots::kUsers, "Key");
  registry_.SetValueEx(key, "longest name", value_type::kBinary,
                       std::vector<std::uint8_t>(3));
  registry_.SetValueEx(key, "v", value_type::kBinary,
                       std::vector<std::uint8_t>(20));
  registry_.CloseKey(Create(key, "Longest subkey"));
  registry_.CloseKey(Create(key, "Sub"));
  EXPECT_EQ(Info(key).max_value_name_length, 12u);
  EXPECT_EQ(Info(key).max_value_data_length, 20u);
  EXPECT_EQ(Info(key).max_subkey_name_length, 14u);

  registry_.SetValueEx(key, "V", value_type::kBinary,
                       std::vector<std::uint8_t>(5));
  EXPECT_EQ(Info(key).max_value_data_length, 5u);
  ASSERT_EQ(registry_.DeleteValue(key, "longest name"), status::kSuccess);
  ASSERT_EQ(registry_.DeleteKey(key, "longest subkey"), status::kSuccess);
  const KeyInfo info = Info(key);
  EXPECT_EQ(info.max_value_name_length, 1u);
  EXPECT_EQ(info.max_value_data_length, 5u);
  EXPECT_EQ(info.max_subkey_name_length, 3u);
  EXPECT_EQ(info.value_count, 1u);
  EXPECT_EQ(info.subkey_count, 1u);

  // Growing again after a recount.
  registry_.SetValueEx(key, "v", value_type::kBinary,
                       std::vector<std::uint8_t>(30));
  EXPECT_EQ(Info(key).max_value_data_length, 30u);
  registry_.CloseKey(key);
}

TEST_F(MemoryRegistryTest, CreateWithoutCreateRightOpensButNeverCreates) {
  registry_.CloseKey(Create(roots::kUsers, "Parent\\Existing"));
  const HKey parent = Create(roots::kUsers, "Parent", access::kRead);
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry_.CreateKeyEx(parent, "existing", "", 0, access::kRead,
                                  nullptr, &key, &disposition),
            status::kSuccess);
  EXPECT_EQ(disposition, disposition::kOpenedExistingKey);
  registry_.CloseKey(key);
  // Keys on the way are not created either.
  EXPECT_EQ(registry_.CreateKeyEx(parent, "Existing\\New\\Newer", "", 0,
                                  access::kRead, nullptr, &key, &disposition),
            status::kAccessDenied);
  EXPECT_EQ(key, kNoKey);
  EXPECT_EQ(Info(roots::kUsers).subkey_count, 1u);
  HKey existing = kNoKey;
  ASSERT_EQ(
      registry_.OpenKeyEx(parent, "Existing", 0, access::kRead, &existing),
      status::kSuccess);
  EXPECT_EQ(Info(existing).subkey_count, 0u);
  registry_.CloseKey(existing);
  registry_.CloseKey(parent);
}

TEST_F(MemoryRegistryTest, ClassBuffersNeedRoomForTheNul) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry_.CreateKeyEx(roots::kUsers, "Classy", "1", 0, access::kAllAccess,
                            nullptr, &key, &disposition),
      status::kSuccess);
  registry_.CloseKey(Create(roots::kUsers, "Plain"));
  char name[16];
  char class_name[4] = "0";
  for (std::uint32_t index : {0u, 1u}) {
    std::uint32_t name_length = sizeof name;
    std::uint32_t class_length = 0;
    EXPECT_EQ(registry_.EnumKeyEx(roots::kUsers, index, name, &name_length,
                                  class_name, &class_length, nullptr),
              status::kMoreData)
        << index;
    EXPECT_EQ(name_length, sizeof name) << index;
    // Without a class buffer the class is not wanted.
    EXPECT_EQ(registry_.EnumKeyEx(roots::kUsers, index, name, &name_length,
                                  nullptr, &class_length, nullptr),
              status::kSuccess)
        << index;
  }
  std::uint32_t class_length = 1;
  EXPECT_EQ(registry_.QueryInfoKey(key, class_name, &class_length, nullptr),
            status::kMoreData);
  EXPECT_EQ(class_length, 1u);
  class_length = 0;
  EXPECT_EQ(
      registry_.QueryInfoKey(roots::kUsers, class_name, &class_length, nullptr),
      status::kSuccess);
  EXPECT_EQ(class_length, 0u);
  registry_.CloseKey(key);
}

}  // namespace
}  // namespace quillprobe::registry
