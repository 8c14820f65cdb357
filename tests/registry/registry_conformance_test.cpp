// The conformance suite of the registry interface (see
// registry_conformance.h). The expected results are the Windows registry's.
#include "tests/registry/registry_conformance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <random>
#include <sstream>

namespace quillprobe::registry {

using Names = std::vector<std::string>;

namespace {

constexpr std::string_view kTestsKey = "Software\\quillprobe-tests";
constexpr std::uint32_t kGenericRead = 0x80000000u;

// Skips the test on a target that is known to miss the behaviour.
#define SKIP_IF_DEPARTS(flag)                                            \
  if (departures().flag) {                                               \
    GTEST_SKIP() << GetParam().name << " is known to miss this: " #flag; \
  }

std::string UniqueSuffix() {
  std::random_device device;
  std::uniform_int_distribution<std::uint64_t> distribution;
  std::ostringstream out;
  out << std::hex << distribution(device);
  return out.str();
}

// A name of `count` copies of `unit`.
std::string Repeat(std::string_view unit, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += unit;
  return text;
}

}  // namespace

std::string ConformanceTargetName(
    const ::testing::TestParamInfo<ConformanceTarget>& info) {
  return info.param.name;
}

void PrintTo(const ConformanceTarget& target, std::ostream* out) {
  *out << target.name;
}

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << "{\"" << value.name << "\", type " << value.type << ", "
       << ::testing::PrintToString(value.data) << "}";
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

void RegistryConformanceTest::SetUp() {
  registry_ = GetParam().make();
  ASSERT_NE(registry_, nullptr);
  std::string test =
      ::testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : test) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '-';
  }
  scratch_path_ = std::string(kTestsKey) + "\\" + test + "-" + UniqueSuffix();
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry_->CreateKeyEx(roots::kCurrentUser, scratch_path_, "", 0,
                                   access::kAllAccess, nullptr, &scratch_,
                                   &disposition),
            status::kSuccess);
  ASSERT_EQ(disposition, disposition::kCreatedNewKey);
}

void RegistryConformanceTest::TearDown() {
  if (registry_ == nullptr) return;
  for (const HKey key : open_handles_) registry_->CloseKey(key);
  open_handles_.clear();
  if (scratch_ != kNoKey) registry_->CloseKey(scratch_);
  DeleteTree(roots::kCurrentUser, scratch_path_);
  // Fails, harmlessly, while other tests still have scratch keys.
  registry_->DeleteKey(roots::kCurrentUser, kTestsKey);
}

void RegistryConformanceTest::DeleteTree(HKey parent, const std::string& path) {
  HKey key = kNoKey;
  if (registry_->OpenKeyEx(parent, path, 0, access::kAllAccess, &key) !=
      status::kSuccess) {
    return;
  }
  for (const std::string& child : SubkeyNames(key)) DeleteTree(key, child);
  registry_->CloseKey(key);
  EXPECT_EQ(registry_->DeleteKey(parent, path), status::kSuccess) << path;
}

HKey RegistryConformanceTest::Create(std::string_view path,
                                     std::uint32_t access, HKey parent) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  const Status result =
      registry_->CreateKeyEx(parent == kNoKey ? scratch_ : parent, path, "", 0,
                             access, nullptr, &key, &disposition);
  EXPECT_EQ(result, status::kSuccess) << "creating " << path;
  if (result != status::kSuccess) return kNoKey;
  open_handles_.push_back(key);
  return key;
}

HKey RegistryConformanceTest::Open(std::string_view path,
                                   std::uint32_t access) {
  HKey key = kNoKey;
  const Status result = registry_->OpenKeyEx(scratch_, path, 0, access, &key);
  EXPECT_EQ(result, status::kSuccess) << "opening " << path;
  if (result != status::kSuccess) return kNoKey;
  open_handles_.push_back(key);
  return key;
}

void RegistryConformanceTest::Close(HKey key) {
  std::erase(open_handles_, key);
  EXPECT_EQ(registry_->CloseKey(key), status::kSuccess);
}

void RegistryConformanceTest::SetValue(HKey key, std::string_view name,
                                       std::uint32_t type,
                                       std::vector<std::uint8_t> data) {
  EXPECT_EQ(registry_->SetValueEx(key, name, type, data), status::kSuccess)
      << "setting " << name;
}

void RegistryConformanceTest::SetString(HKey key, std::string_view name,
                                        std::string_view text) {
  std::vector<std::uint8_t> data = Bytes(text);
  data.push_back(0);
  SetValue(key, name, value_type::kSz, std::move(data));
}

std::vector<StoredValue> RegistryConformanceTest::Values(HKey key) {
  std::vector<StoredValue> values;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t name_length = 0;
    std::uint32_t type = 0;
    std::uint32_t data_length = 0;
    char probe[1];
    Status result = registry_->EnumValue(key, index, probe, &name_length, &type,
                                         nullptr, &data_length);
    if (result == status::kNoMoreItems) break;
    std::string name(kMaxValueNameLength * 3 + 1, '\0');
    std::vector<std::uint8_t> data(data_length);
    name_length = static_cast<std::uint32_t>(name.size());
    result = registry_->EnumValue(key, index, name.data(), &name_length, &type,
                                  data.data(), &data_length);
    EXPECT_EQ(result, status::kSuccess) << "value " << index;
    if (result != status::kSuccess) break;
    name.resize(name_length);
    data.resize(data_length);
    values.push_back({std::move(name), type, std::move(data)});
  }
  return values;
}

std::vector<std::string> RegistryConformanceTest::SubkeyNames(HKey key) {
  std::vector<std::string> names;
  for (std::uint32_t index = 0;; ++index) {
    char name[kMaxKeyNameLength * 3 + 1];
    std::uint32_t name_length = sizeof name;
    const Status result = registry_->EnumKeyEx(key, index, name, &name_length,
                                               nullptr, nullptr, nullptr);
    if (result == status::kNoMoreItems) break;
    EXPECT_EQ(result, status::kSuccess) << "subkey " << index;
    if (result != status::kSuccess) break;
    names.emplace_back(name, name_length);
  }
  return names;
}

namespace {

// ---------------------------------------------------------------------------
// Creating and opening keys

TEST_P(RegistryConformanceTest, CreateReportsCreatedThenOpened) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry().CreateKeyEx(scratch(), "One\\Two\\Three", "", 0,
                             access::kAllAccess, nullptr, &key, &disposition),
      status::kSuccess);
  EXPECT_EQ(disposition, disposition::kCreatedNewKey);
  EXPECT_NE(key, kNoKey);
  registry().CloseKey(key);

  ASSERT_EQ(
      registry().CreateKeyEx(scratch(), "one\\TWO\\three", "", 0,
                             access::kAllAccess, nullptr, &key, &disposition),
      status::kSuccess);
  EXPECT_EQ(disposition, disposition::kOpenedExistingKey);
  registry().CloseKey(key);

  // The keys on the way were created too.
  EXPECT_EQ(SubkeyNames(Open("One", access::kRead)), (Names{"Two"}));
}

TEST_P(RegistryConformanceTest, CreateOfEmptyPathOpensTheKeyItself) {
  SKIP_IF_DEPARTS(create_of_empty_path_reports_created);
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry().CreateKeyEx(scratch(), "", "", 0, access::kAllAccess,
                                   nullptr, &key, &disposition),
            status::kSuccess);
  EXPECT_EQ(disposition, disposition::kOpenedExistingKey);
  SetString(key, "through the new handle", "x");
  registry().CloseKey(key);
  EXPECT_EQ(Values(scratch()).size(), 1u);
}

TEST_P(RegistryConformanceTest, OpenOfMissingKeyFindsNothing) {
  Create("Present");
  for (const std::string_view path :
       {"Absent", "Absent\\Deeper", "Present\\Absent"}) {
    HKey key{12345};
    EXPECT_EQ(registry().OpenKeyEx(scratch(), path, 0, access::kRead, &key),
              status::kFileNotFound)
        << path;
    EXPECT_EQ(key, kNoKey) << path;
  }
}

TEST_P(RegistryConformanceTest, OpenOfEmptyPathGivesANewHandle) {
  const HKey first = Create("Key");
  const HKey second = Open("Key", access::kAllAccess);
  HKey third = kNoKey;
  ASSERT_EQ(registry().OpenKeyEx(first, "", 0, access::kAllAccess, &third),
            status::kSuccess);
  EXPECT_NE(third, first);
  Close(first);
  SetString(third, "value", "x");
  EXPECT_EQ(Values(second).size(), 1u);
  EXPECT_EQ(registry().CloseKey(third), status::kSuccess);
}

TEST_P(RegistryConformanceTest, PathsSkipEmptyComponentsButNotALeadingOne) {
  Create("A\\B");
  HKey key = kNoKey;
  for (const std::string_view path : {"A\\B\\", "A\\\\B", "A\\\\\\B\\\\"}) {
    EXPECT_EQ(registry().OpenKeyEx(scratch(), path, 0, access::kRead, &key),
              status::kSuccess)
        << path;
    registry().CloseKey(key);
  }
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry().CreateKeyEx(scratch(), "C\\\\D\\", "", 0, access::kAllAccess,
                             nullptr, &key, &disposition),
      status::kSuccess);
  registry().CloseKey(key);
  EXPECT_EQ(SubkeyNames(Open("C", access::kRead)), (Names{"D"}));

  for (const std::string_view path : {"\\A", "\\"}) {
    EXPECT_EQ(registry().OpenKeyEx(scratch(), path, 0, access::kRead, &key),
              status::kBadPathname)
        << path;
    EXPECT_EQ(registry().CreateKeyEx(scratch(), path, "", 0, access::kAllAccess,
                                     nullptr, &key, &disposition),
              status::kBadPathname)
        << path;
    EXPECT_EQ(registry().DeleteKey(scratch(), path), status::kBadPathname)
        << path;
  }
  EXPECT_EQ(registry().DeleteKey(scratch(), "A\\\\B\\"), status::kSuccess);
  EXPECT_EQ(SubkeyNames(scratch()), (Names{"A", "C"}));
}

TEST_P(RegistryConformanceTest, NamesIgnoreCaseAndKeepIt) {
  Create("CaseKey\\MiXed");
  const HKey key = Open("casekey\\MIXED", access::kAllAccess);
  EXPECT_EQ(SubkeyNames(Open("CASEKEY", access::kRead)), (Names{"MiXed"}));

  SetString(key, "Value", "first");
  SetValue(key, "VALUE", value_type::kBinary, {1, 2});
  EXPECT_EQ(Values(key), (std::vector<StoredValue>{StoredValue{
                             "Value", value_type::kBinary, {1, 2}}}));
  EXPECT_EQ(registry().DeleteValue(key, "vALUE"), status::kSuccess);
  EXPECT_TRUE(Values(key).empty());
}

// ---------------------------------------------------------------------------
// Handles

TEST_P(RegistryConformanceTest, ZeroAndClosedHandlesAreInvalid) {
  const HKey closed = Create("Closed");
  Close(closed);
  for (const HKey bad : {kNoKey, closed}) {
    HKey key = kNoKey;
    std::uint32_t disposition = 0;
    std::uint32_t length = 8;
    char name[8];
    KeyInfo info;
    EXPECT_EQ(registry().OpenKeyEx(bad, "x", 0, access::kRead, &key),
              status::kInvalidHandle);
    EXPECT_EQ(registry().CreateKeyEx(bad, "x", "", 0, access::kAllAccess,
                                     nullptr, &key, &disposition),
              status::kInvalidHandle);
    EXPECT_EQ(registry().QueryInfoKey(bad, nullptr, nullptr, &info),
              status::kInvalidHandle);
    EXPECT_EQ(
        registry().EnumValue(bad, 0, name, &length, nullptr, nullptr, nullptr),
        status::kInvalidHandle);
    EXPECT_EQ(
        registry().EnumKeyEx(bad, 0, name, &length, nullptr, nullptr, nullptr),
        status::kInvalidHandle);
    EXPECT_EQ(registry().SetValueEx(bad, "x", value_type::kBinary, {}),
              status::kInvalidHandle);
    EXPECT_EQ(registry().DeleteValue(bad, "x"), status::kInvalidHandle);
    EXPECT_EQ(registry().DeleteKey(bad, "x"), status::kInvalidHandle);
    EXPECT_EQ(registry().CloseKey(bad), status::kInvalidHandle);
  }
  EXPECT_EQ(registry().CloseKey(roots::kCurrentUser), status::kSuccess);
}

TEST_P(RegistryConformanceTest, HandlesToADeletedKeyAnswerKeyDeleted) {
  const HKey doomed = Create("Doomed");
  const HKey other = Open("Doomed", access::kRead);
  ASSERT_EQ(registry().DeleteKey(scratch(), "Doomed"), status::kSuccess);

  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  std::uint32_t length = 8;
  char name[8];
  KeyInfo info;
  EXPECT_EQ(registry().OpenKeyEx(doomed, "", 0, access::kRead, &key),
            status::kKeyDeleted);
  EXPECT_EQ(registry().OpenKeyEx(doomed, "x", 0, access::kRead, &key),
            status::kKeyDeleted);
  EXPECT_EQ(registry().CreateKeyEx(doomed, "x", "", 0, access::kAllAccess,
                                   nullptr, &key, &disposition),
            status::kKeyDeleted);
  EXPECT_EQ(registry().QueryInfoKey(doomed, nullptr, nullptr, &info),
            status::kKeyDeleted);
  EXPECT_EQ(
      registry().EnumValue(doomed, 0, name, &length, nullptr, nullptr, nullptr),
      status::kKeyDeleted);
  EXPECT_EQ(
      registry().EnumKeyEx(doomed, 0, name, &length, nullptr, nullptr, nullptr),
      status::kKeyDeleted);
  EXPECT_EQ(registry().SetValueEx(doomed, "x", value_type::kBinary, {}),
            status::kKeyDeleted);
  EXPECT_EQ(registry().DeleteValue(doomed, "x"), status::kKeyDeleted);
  EXPECT_EQ(registry().DeleteKey(doomed, "x"), status::kKeyDeleted);
  EXPECT_EQ(registry().DeleteKey(doomed, ""), status::kKeyDeleted);

  // A key made again at the same path is a different key.
  std::uint32_t recreated = 0;
  ASSERT_EQ(
      registry().CreateKeyEx(scratch(), "Doomed", "", 0, access::kAllAccess,
                             nullptr, &key, &recreated),
      status::kSuccess);
  registry().CloseKey(key);
  EXPECT_EQ(recreated, disposition::kCreatedNewKey);
  EXPECT_EQ(registry().QueryInfoKey(other, nullptr, nullptr, &info),
            status::kKeyDeleted);
  Close(doomed);
  Close(other);
}

// ---------------------------------------------------------------------------
// Access rights of a handle

enum class Operation {
  kQueryInfo,
  kEnumValue,
  kEnumKey,
  kSetValue,
  kDeleteValue,
  kCreateSubkey,
  kOpenSubkey,
  kDeleteSubkey,
};

struct AccessCase {
  std::uint32_t access;
  Operation operation;
  Status expected;
  // The case rests on the checks of QueryInfoKey and of creation.
  bool query_or_create_check = false;
};

Status Perform(RegistryApi& registry, HKey key, Operation operation) {
  char name[64];
  std::uint32_t length = sizeof name;
  HKey opened = kNoKey;
  std::uint32_t disposition = 0;
  Status result = status::kSuccess;
  switch (operation) {
    case Operation::kQueryInfo: {
      KeyInfo info;
      return registry.QueryInfoKey(key, nullptr, nullptr, &info);
    }
    case Operation::kEnumValue:
      return registry.EnumValue(key, 0, name, &length, nullptr, nullptr,
                                nullptr);
    case Operation::kEnumKey:
      return registry.EnumKeyEx(key, 0, name, &length, nullptr, nullptr,
                                nullptr);
    case Operation::kSetValue:
      return registry.SetValueEx(key, "New", value_type::kBinary,
                                 std::vector<std::uint8_t>{1});
    case Operation::kDeleteValue:
      return registry.DeleteValue(key, "Value");
    case Operation::kCreateSubkey:
      result = registry.CreateKeyEx(key, "NewChild", "", 0, access::kRead,
                                    nullptr, &opened, &disposition);
      break;
    case Operation::kOpenSubkey:
      result = registry.OpenKeyEx(key, "Child", 0, access::kRead, &opened);
      break;
    case Operation::kDeleteSubkey:
      return registry.DeleteKey(key, "Child");
  }
  if (result == status::kSuccess) registry.CloseKey(opened);
  return result;
}

TEST_P(RegistryConformanceTest, HandlesAllowWhatTheirRightsAllow) {
  using enum Operation;
  constexpr Status kDenied = status::kAccessDenied;
  constexpr Status kOk = status::kSuccess;
  const std::vector<AccessCase> cases = {
      {access::kSetValue, kQueryInfo, kDenied, true},
      {access::kSetValue, kEnumValue, kDenied},
      {access::kSetValue, kEnumKey, kDenied},
      {access::kSetValue, kCreateSubkey, kDenied, true},
      {access::kSetValue, kSetValue, kOk},
      {access::kSetValue, kDeleteValue, kOk},
      {access::kQueryValue, kQueryInfo, kOk},
      {access::kQueryValue, kEnumValue, kOk},
      {access::kQueryValue, kEnumKey, kDenied},
      {access::kQueryValue, kSetValue, kDenied},
      {access::kQueryValue, kDeleteValue, kDenied},
      {access::kEnumerateSubKeys, kEnumKey, kOk},
      {access::kEnumerateSubKeys, kEnumValue, kDenied},
      {access::kCreateSubKey, kCreateSubkey, kOk},
      {access::kRead, kCreateSubkey, kDenied, true},
      {access::kRead, kSetValue, kDenied},
      {kGenericRead, kEnumValue, kOk},
      {kGenericRead, kSetValue, kDenied},
      // Opening and deleting a subkey need no rights on the parent.
      {0, kOpenSubkey, kOk},
      {0, kDeleteSubkey, kOk},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const AccessCase& c = cases[i];
    if (c.query_or_create_check &&
        departures().no_access_checks_for_query_and_create) {
      continue;
    }
    const std::string path = "Target" + std::to_string(i);
    const HKey full = Create(path + "\\Child");
    SetString(Create(path), "Value", "x");
    const HKey limited = Open(path, c.access);
    EXPECT_EQ(Perform(registry(), limited, c.operation), c.expected)
        << "case " << i << ": access 0x" << std::hex << c.access;
    Close(limited);
    Close(full);
  }
}

// ---------------------------------------------------------------------------
// Deleting

TEST_P(RegistryConformanceTest, DeleteKeyRefusesParentsAndMissingKeys) {
  Create("Parent\\Child\\Grandchild");
  EXPECT_EQ(registry().DeleteKey(scratch(), "Parent"), status::kAccessDenied);
  EXPECT_EQ(registry().DeleteKey(scratch(), "Parent\\Child"),
            status::kAccessDenied);
  EXPECT_EQ(registry().DeleteKey(scratch(), "Missing"), status::kFileNotFound);
  EXPECT_EQ(registry().DeleteKey(scratch(), "Parent\\Missing"),
            status::kFileNotFound);
  EXPECT_EQ(registry().DeleteKey(scratch(), "parent\\child\\GRANDCHILD"),
            status::kSuccess);
  EXPECT_EQ(registry().DeleteKey(scratch(), "Parent\\Child"), status::kSuccess);
  EXPECT_EQ(SubkeyNames(Open("Parent", access::kRead)), (Names{}));
}

TEST_P(RegistryConformanceTest, DeleteKeyOfEmptyPathDeletesTheKeyItself) {
  const HKey key = Create("Self");
  EXPECT_EQ(registry().DeleteKey(key, ""), status::kSuccess);
  EXPECT_EQ(SubkeyNames(scratch()), (Names{}));
  KeyInfo info;
  EXPECT_EQ(registry().QueryInfoKey(key, nullptr, nullptr, &info),
            status::kKeyDeleted);
}

TEST_P(RegistryConformanceTest, DeleteValueOfMissingValueFindsNothing) {
  SetString(scratch(), "Present", "x");
  EXPECT_EQ(registry().DeleteValue(scratch(), "Absent"), status::kFileNotFound);
  EXPECT_EQ(registry().DeleteValue(scratch(), "Present"), status::kSuccess);
  EXPECT_EQ(registry().DeleteValue(scratch(), "Present"),
            status::kFileNotFound);
}

// ---------------------------------------------------------------------------
// Order of enumeration

TEST_P(RegistryConformanceTest, ValuesEnumerateInTheOrderTheyWereAdded) {
  SKIP_IF_DEPARTS(values_in_name_order);
  const HKey key = scratch();
  for (const std::string_view name :
       {"delta", "Bravo", "", "alpha", "Charlie"}) {
    SetValue(key, name, value_type::kBinary, {1});
  }
  // Writing a value again keeps its place; one added again goes last.
  SetValue(key, "BRAVO", value_type::kBinary, {2});
  EXPECT_EQ(registry().DeleteValue(key, "Alpha"), status::kSuccess);
  SetValue(key, "ALPHA", value_type::kBinary, {3});
  // Values after a deleted one are still found by name.
  EXPECT_EQ(registry().DeleteValue(key, "charlie"), status::kSuccess);

  std::vector<std::string> names;
  for (const StoredValue& value : Values(key)) names.push_back(value.name);
  EXPECT_EQ(names, (Names{"delta", "Bravo", "", "ALPHA"}));
  EXPECT_EQ(Values(key)[1].data, std::vector<std::uint8_t>{2});
}

TEST_P(RegistryConformanceTest, SubkeysEnumerateInCaseInsensitiveOrder) {
  for (const std::string_view name :
       {"gamma2", "delta", "Alpha", "GAMMA10", "beta", "alpha1", "9"}) {
    Create(name);
  }
  EXPECT_EQ(SubkeyNames(scratch()), (Names{"9", "Alpha", "alpha1", "beta",
                                           "delta", "GAMMA10", "gamma2"}));
}

TEST_P(RegistryConformanceTest, SubkeysSortByUpperCasedNames) {
  SKIP_IF_DEPARTS(subkeys_in_lower_case_order);
  // Upper-cased, 'Z' (0x5A) comes before '_' (0x5F); lower-cased, after it.
  for (const std::string_view name : {"a_b", "az", "A^"}) Create(name);
  EXPECT_EQ(SubkeyNames(scratch()), (Names{"az", "A^", "a_b"}));
}

// ---------------------------------------------------------------------------
// Data

TEST_P(RegistryConformanceTest, DataIsKeptByteForByte) {
  std::vector<StoredValue> values = {
      {"terminated", value_type::kSz, Bytes(std::string_view("red\0", 4))},
      {"empty string", value_type::kSz, {}},
      {"one NUL", value_type::kSz, {0}},
      {"expand", value_type::kExpandSz, Bytes(std::string_view("%P%\0", 4))},
      {"multi", value_type::kMultiSz, Bytes(std::string_view("a\0b\0\0", 5))},
      {"binary", value_type::kBinary, {0, 255, 0, 7}},
      {"no bytes", value_type::kBinary, {}},
      {"dword", value_type::kDword, {1, 0, 0, 0}},
      {"short dword", value_type::kDword, {1, 2}},
      {"qword", value_type::kQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"none", value_type::kNone, {9}},
  };
  if (!departures().strings_gain_a_nul) {
    values.push_back({"unterminated", value_type::kSz, Bytes("red")});
  }
  for (const StoredValue& value : values) {
    SetValue(scratch(), value.name, value.type, value.data);
  }
  std::vector<StoredValue> read = Values(scratch());
  // The order is another test's concern.
  const auto by_name = [](const StoredValue& a, const StoredValue& b) {
    return a.name < b.name;
  };
  std::vector<StoredValue> expected = values;
  std::sort(read.begin(), read.end(), by_name);
  std::sort(expected.begin(), expected.end(), by_name);
  EXPECT_EQ(read, expected);
}

// ---------------------------------------------------------------------------
// EnumValue and EnumKeyEx buffers

struct ProbeCase {
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

TEST_P(RegistryConformanceTest,
       EnumValueWithNoRoomForTheNameStillGivesTypeAndLength) {
  const std::vector<ProbeCase> cases = {
      {value_type::kSz, Bytes(std::string_view("text\0", 5))},
      {value_type::kDword, {1, 0, 0, 0}},
      {value_type::kBinary, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SetValue(scratch(), "v" + std::to_string(i), cases[i].type, cases[i].data);
  }
  for (std::uint32_t i = 0; i < cases.size(); ++i) {
    char name[1] = {'0'};
    std::uint32_t name_length = 0;
    std::uint32_t type = 99;
    std::uint32_t data_length = 12345;
    EXPECT_EQ(registry().EnumValue(scratch(), i, name, &name_length, &type,
                                   nullptr, &data_length),
              status::kMoreData);
    EXPECT_EQ(type, cases[i].type) << i;
    EXPECT_EQ(data_length, cases[i].data.size()) << i;
  }
  char name[1];
  std::uint32_t name_length = 0;
  EXPECT_EQ(registry().EnumValue(scratch(), 3, name, &name_length, nullptr,
                                 nullptr, nullptr),
            status::kNoMoreItems);
}

TEST_P(RegistryConformanceTest, EnumValueNeedsRoomForNameNulAndData) {
  SetValue(scratch(), "Name", value_type::kBinary, {1, 2, 3});
  char name[16];
  std::uint8_t data[16] = {};
  std::uint32_t name_length = 4;  // no room for the NUL
  std::uint32_t type = 0;
  std::uint32_t data_length = sizeof data;
  EXPECT_EQ(registry().EnumValue(scratch(), 0, name, &name_length, &type, data,
                                 &data_length),
            status::kMoreData);
  EXPECT_EQ(type, value_type::kBinary);
  EXPECT_EQ(data_length, 3u);

  // No data buffer: the length only.
  name_length = 5;
  data_length = 0;
  ASSERT_EQ(registry().EnumValue(scratch(), 0, name, &name_length, &type,
                                 nullptr, &data_length),
            status::kSuccess);
  EXPECT_EQ(std::string(name, name_length), "Name");
  EXPECT_EQ(data_length, 3u);

  // Data that does not fit: the size it needs.
  name_length = sizeof name;
  data_length = 2;
  EXPECT_EQ(registry().EnumValue(scratch(), 0, name, &name_length, &type, data,
                                 &data_length),
            status::kMoreData);
  EXPECT_EQ(data_length, 3u);

  // Exactly enough.
  name_length = 5;
  data_length = 3;
  ASSERT_EQ(registry().EnumValue(scratch(), 0, name, &name_length, &type, data,
                                 &data_length),
            status::kSuccess);
  EXPECT_EQ(name_length, 4u);
  EXPECT_EQ(std::string(name, 5), std::string("Name\0", 5));
  EXPECT_EQ(data_length, 3u);
  EXPECT_EQ(std::vector<std::uint8_t>(data, data + 3),
            (std::vector<std::uint8_t>{1, 2, 3}));

  name_length = sizeof name;
  data_length = sizeof data;
  EXPECT_EQ(registry().EnumValue(scratch(), 1, name, &name_length, &type, data,
                                 &data_length),
            status::kNoMoreItems);
}

TEST_P(RegistryConformanceTest, KeyNamesHoldUpTo255Characters) {
  const std::string longest = Repeat("k", kMaxKeyNameLength);
  const std::string wide = Repeat("\xC3\xA9", kMaxKeyNameLength);  // é
  // Characters above U+FFFF count twice, as Windows stores them.
  const std::string astral =
      Repeat("\xF0\x9F\x98\x80", kMaxKeyNameLength / 2) + "k";
  Create(longest);
  Create(wide);
  Create(astral);
  EXPECT_EQ(SubkeyNames(scratch()), (Names{longest, wide, astral}));

  char name[2 * kMaxKeyNameLength + 1];
  std::uint32_t name_length = kMaxKeyNameLength;  // no room for the NUL
  EXPECT_EQ(registry().EnumKeyEx(scratch(), 0, name, &name_length, nullptr,
                                 nullptr, nullptr),
            status::kMoreData);
  name_length = kMaxKeyNameLength + 1;
  ASSERT_EQ(registry().EnumKeyEx(scratch(), 0, name, &name_length, nullptr,
                                 nullptr, nullptr),
            status::kSuccess);
  EXPECT_EQ(name_length, kMaxKeyNameLength);
  name_length = 0;
  EXPECT_EQ(registry().EnumKeyEx(scratch(), 0, name, &name_length, nullptr,
                                 nullptr, nullptr),
            status::kMoreData);
  name_length = sizeof name;
  EXPECT_EQ(registry().EnumKeyEx(scratch(), 3, name, &name_length, nullptr,
                                 nullptr, nullptr),
            status::kNoMoreItems);
}

TEST_P(RegistryConformanceTest, LongerKeyNamesAreRefused) {
  SKIP_IF_DEPARTS(no_key_name_limit);
  for (const std::string& too_long :
       {Repeat("k", kMaxKeyNameLength + 1),
        Repeat("\xC3\xA9", kMaxKeyNameLength + 1),
        Repeat("\xF0\x9F\x98\x80", kMaxKeyNameLength / 2 + 1),
        "Fine\\" + Repeat("k", kMaxKeyNameLength + 1) + "\\Fine"}) {
    HKey key{12345};
    std::uint32_t disposition = 0;
    EXPECT_EQ(
        registry().CreateKeyEx(scratch(), too_long, "", 0, access::kAllAccess,
                               nullptr, &key, &disposition),
        status::kInvalidParameter);
    EXPECT_EQ(key, kNoKey);
    EXPECT_NE(registry().OpenKeyEx(scratch(), too_long, 0, access::kRead, &key),
              status::kSuccess);
  }
  EXPECT_EQ(SubkeyNames(scratch()), (Names{}));
}

TEST_P(RegistryConformanceTest, ValueNamesHoldUpTo16383Characters) {
  const std::string longest = Repeat("v", kMaxValueNameLength);
  SetValue(scratch(), longest, value_type::kBinary, {1});
  std::string name(kMaxValueNameLength + 1, '\0');
  std::uint32_t name_length = kMaxValueNameLength;
  EXPECT_EQ(registry().EnumValue(scratch(), 0, name.data(), &name_length,
                                 nullptr, nullptr, nullptr),
            status::kMoreData);
  name_length = kMaxValueNameLength + 1;
  ASSERT_EQ(registry().EnumValue(scratch(), 0, name.data(), &name_length,
                                 nullptr, nullptr, nullptr),
            status::kSuccess);
  EXPECT_EQ(name_length, kMaxValueNameLength);

  EXPECT_EQ(registry().SetValueEx(scratch(), longest + "v", value_type::kBinary,
                                  std::vector<std::uint8_t>{1}),
            status::kInvalidParameter);
  EXPECT_EQ(Values(scratch()).size(), 1u);
}

// ---------------------------------------------------------------------------
// QueryInfoKey

TEST_P(RegistryConformanceTest, QueryInfoKeyGivesCountsAndLongestLengths) {
  const HKey key = Create("Info");
  SetValue(key, "a", value_type::kBinary, std::vector<std::uint8_t>(10));
  SetValue(key, "longest name", value_type::kDword, {1, 0, 0, 0});
  SetValue(key, "", value_type::kBinary, {});
  HKey child = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry().CreateKeyEx(key, "Sub", "Classy", 0, access::kAllAccess,
                                   nullptr, &child, &disposition),
            status::kSuccess);
  registry().CloseKey(child);
  Create("Longer Sub", access::kAllAccess, key);

  KeyInfo info;
  ASSERT_EQ(registry().QueryInfoKey(key, nullptr, nullptr, &info),
            status::kSuccess);
  EXPECT_EQ(info.subkey_count, 2u);
  EXPECT_EQ(info.max_subkey_name_length, 10u);
  EXPECT_EQ(info.max_class_length, 6u);
  EXPECT_EQ(info.value_count, 3u);
  EXPECT_EQ(info.max_value_name_length, 12u);
  EXPECT_EQ(info.max_value_data_length, 10u);

  KeyInfo empty;
  ASSERT_EQ(registry().QueryInfoKey(Create("Empty"), nullptr, nullptr, &empty),
            status::kSuccess);
  EXPECT_EQ(empty.subkey_count, 0u);
  EXPECT_EQ(empty.value_count, 0u);
  EXPECT_EQ(empty.max_value_name_length, 0u);
  EXPECT_EQ(empty.max_value_data_length, 0u);
}

TEST_P(RegistryConformanceTest, KeysKeepTheClassTheyWereCreatedWith) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry().CreateKeyEx(scratch(), "Classy", "MyClass", 0,
                             access::kAllAccess, nullptr, &key, &disposition),
      status::kSuccess);
  Close(key);
  if (!departures().create_replaces_class) {
    // Opening the key through CreateKeyEx leaves its class as it was.
    ASSERT_EQ(
        registry().CreateKeyEx(scratch(), "Classy", "Other", 0,
                               access::kAllAccess, nullptr, &key, &disposition),
        status::kSuccess);
    Close(key);
  }
  key = Open("Classy", access::kRead);
  char class_name[25];
  std::uint32_t class_length = sizeof class_name;
  ASSERT_EQ(registry().QueryInfoKey(key, class_name, &class_length, nullptr),
            status::kSuccess);
  EXPECT_EQ(std::string(class_name, class_length), "MyClass");

  class_length = 7;  // no room for the NUL
  EXPECT_EQ(registry().QueryInfoKey(key, class_name, &class_length, nullptr),
            status::kMoreData);
  if (!departures().class_overflow_reports_copied_length) {
    EXPECT_EQ(class_length, 7u);
  }

  char name[16];
  std::uint32_t name_length = sizeof name;
  class_length = sizeof class_name;
  ASSERT_EQ(registry().EnumKeyEx(scratch(), 0, name, &name_length, class_name,
                                 &class_length, nullptr),
            status::kSuccess);
  EXPECT_EQ(std::string(class_name, class_length), "MyClass");
}

}  // namespace
}  // namespace quillprobe::registry
