#include "tests/support/recording_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/memory_registry.h"

namespace quillprobe::registry {
namespace {

class RecordingRegistryTest : public ::testing::Test {
 protected:
  Status Create(std::string_view path) {
    HKey key = kNoKey;
    std::uint32_t disposition = 0;
    const Status result =
        recording_.CreateKeyEx(roots::kUsers, path, "", 0, access::kAllAccess,
                               nullptr, &key, &disposition);
    if (result == status::kSuccess) recording_.CloseKey(key);
    return result;
  }
  std::uint32_t SubkeyCount() {
    KeyInfo info;
    EXPECT_EQ(memory_.QueryInfoKey(roots::kUsers, nullptr, nullptr, &info),
              status::kSuccess);
    return info.subkey_count;
  }

  MemoryRegistry memory_;
  RecordingRegistry recording_{memory_};
};

TEST_F(RecordingRegistryTest, InjectsIntoTheNthMatchingCallOnly) {
  for (const char* name : {"A", "B", "C", "D"}) Create(name);
  recording_.Inject(RegistryCall::kDeleteKey, status::kAccessDenied).OnNth(3);
  std::vector<Status> results;
  for (const char* name : {"A", "B", "C", "D"}) {
    results.push_back(recording_.DeleteKey(roots::kUsers, name));
  }
  EXPECT_EQ(results, (std::vector<Status>{0, 0, 5, 0}));
  // The failed call never reached the registry: C is still there.
  EXPECT_EQ(SubkeyCount(), 1u);
}

TEST_F(RecordingRegistryTest, EveryRuleCountsItsOwnMatchesAndTheFirstWins) {
  recording_.Inject(RegistryCall::kCreateKeyEx, status::kFileNotFound).OnNth(2);
  recording_.Inject(RegistryCall::kCreateKeyEx, status::kBadKey)
      .ForName("b")
      .OnNth(1);
  recording_.Inject(RegistryCall::kCreateKeyEx, status::kAccessDenied).OnNth(3);
  EXPECT_EQ(Create("A"), status::kSuccess);
  EXPECT_EQ(Create("B"), status::kFileNotFound);  // the first two fire
  EXPECT_EQ(Create("B"), status::kAccessDenied);  // the third rule's 3rd
  EXPECT_EQ(Create("B"), status::kSuccess);
  EXPECT_EQ(SubkeyCount(), 2u);
}

TEST_F(RecordingRegistryTest, InjectsByPathAndHandle) {
  ASSERT_EQ(Create("A\\B"), status::kSuccess);
  recording_.Inject(RegistryCall::kOpenKeyEx, status::kFileNotFound)
      .ForName("a\\b");
  recording_.Inject(RegistryCall::kSetValueEx, status::kAccessDenied)
      .ForKey(roots::kUsers);

  HKey key{77};
  EXPECT_EQ(recording_.OpenKeyEx(roots::kUsers, "A\\B", 0, access::kRead, &key),
            status::kFileNotFound);
  EXPECT_EQ(key, kNoKey);
  EXPECT_EQ(memory_.OpenHandleCount(), 0u);
  ASSERT_EQ(
      recording_.OpenKeyEx(roots::kUsers, "A", 0, access::kAllAccess, &key),
      status::kSuccess);
  const std::vector<std::uint8_t> data = {1};
  EXPECT_EQ(
      recording_.SetValueEx(roots::kUsers, "v", value_type::kBinary, data),
      status::kAccessDenied);
  EXPECT_EQ(recording_.SetValueEx(key, "v", value_type::kBinary, data),
            status::kSuccess);
  recording_.CloseKey(key);
}

TEST_F(RecordingRegistryTest, RecordsCallsInOrderWithWhatTheyReturned) {
  recording_.Inject(RegistryCall::kDeleteValue, status::kFileNotFound);
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  recording_.CreateKeyEx(roots::kUsers, "K", "Class", 0, access::kWrite,
                         nullptr, &key, &disposition);
  const std::vector<std::uint8_t> data = {'r', 'e', 'd', 0};
  recording_.SetValueEx(key, "Name", value_type::kSz, data);
  recording_.DeleteValue(key, "Name");
  char name[8];
  std::uint32_t name_length = 0;
  recording_.EnumValue(key, 4, name, &name_length, nullptr, nullptr, nullptr);
  recording_.CloseKey(key);

  const std::vector<RecordedCall>& calls = recording_.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].call, RegistryCall::kCreateKeyEx);
  EXPECT_EQ(calls[0].key, roots::kUsers);
  EXPECT_EQ(calls[0].name, "K");
  EXPECT_EQ(calls[0].class_name, "Class");
  EXPECT_EQ(calls[0].access, access::kWrite);
  EXPECT_EQ(calls[0].opened, key);
  EXPECT_EQ(calls[1].call, RegistryCall::kSetValueEx);
  EXPECT_EQ(calls[1].key, key);
  EXPECT_EQ(calls[1].type, value_type::kSz);
  EXPECT_EQ(calls[1].data, data);
  EXPECT_EQ(calls[2].call, RegistryCall::kDeleteValue);
  EXPECT_EQ(calls[2].status, status::kFileNotFound);
  EXPECT_TRUE(calls[2].injected);
  EXPECT_EQ(calls[3].call, RegistryCall::kEnumValue);
  EXPECT_EQ(calls[3].index, 4u);
  // The handle lacks KEY_QUERY_VALUE.
  EXPECT_EQ(calls[3].status, status::kAccessDenied);
  EXPECT_FALSE(calls[3].injected);
  EXPECT_EQ(calls[4].call, RegistryCall::kCloseKey);
  EXPECT_EQ(recording_.Count(RegistryCall::kCloseKey), 1u);
  EXPECT_EQ(recording_.CallsOf(RegistryCall::kSetValueEx).size(), 1u);
}

}  // namespace
}  // namespace quillprobe::registry
