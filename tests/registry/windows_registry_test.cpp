// The UTF-8 boundary of WindowsRegistry, checked against what the registry
// holds as seen through the wide functions directly.
#include "registry/registry_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quillprobe::registry {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(std::string_view text) { return {text.begin(), text.end()}; }

Bytes BytesOf(std::wstring_view text) {
  Bytes bytes(text.size() * sizeof(wchar_t));
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

// A key of its own for each test below HKCU, removed afterwards. The test
// works on it through `api` and `key`, and looks behind the API through
// `wide_key`.
class WindowsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = L"Software\\quillprobe-tests\\WindowsRegistry\\";
    for (const char c : std::string_view(info->name())) {
      path_ += (c == '/') ? L'_' : static_cast<wchar_t>(c);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &wide_key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(api.OpenKeyEx(roots::kCurrentUser, Utf8FromWidePath(), 0,
                            access::kAllAccess, &key),
              status::kSuccess);
  }

  void TearDown() override {
    api.CloseKey(key);
    RegCloseKey(wide_key);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }

  std::string Utf8FromWidePath() const {
    return std::string(path_.begin(), path_.end());  // ASCII only
  }

  Bytes StoredData(const wchar_t* name, DWORD* type) const {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(wide_key, name, nullptr, type, nullptr, &size),
              ERROR_SUCCESS);
    Bytes data(size);
    EXPECT_EQ(
        RegQueryValueExW(wide_key, name, nullptr, type, data.data(), &size),
        ERROR_SUCCESS);
    data.resize(size);
    return data;
  }

  // Stores exactly `data`. The registry would take a NUL right after string
  // data for its forgotten terminator, so none may follow it in memory.
  LSTATUS SetStoredData(const wchar_t* name, DWORD type, Bytes data) const {
    const auto size = static_cast<DWORD>(data.size());
    data.insert(data.end(), {0xFF, 0xFF});
    return RegSetValueExW(wide_key, name, 0, type, data.data(), size);
  }

  WindowsRegistry api;
  HKey key = kNoKey;
  HKEY wide_key = nullptr;

 private:
  std::wstring path_;
};

struct DataCase {
  const char* label;
  std::uint32_t type;
  Bytes utf8;    // as the system writes and reads it
  Bytes stored;  // as the registry holds it
};

TEST_F(WindowsRegistryTest, DataCrossesTheBoundaryAsUtf8AndIsStoredAsUtf16) {
  const Bytes binary = {0xFF, 0x00, 0xC3, 0x41, 0x80};
  const DataCase cases[] = {
      {"sz", REG_SZ,
       BytesOf(std::string_view("Gr\xC3\xBC\xC3\x9F"
                                "e",
                                7)),
       BytesOf(std::wstring_view(L"Gr\u00FC\u00DFe", 5))},
      {"sz_with_nul", REG_SZ,
       BytesOf(std::string_view("\xE6\x97\xA5\xE6\x9C\xAC", 7)),
       BytesOf(std::wstring_view(L"\u65E5\u672C", 3))},
      {"sz_empty", REG_SZ, {}, {}},
      {"expand_sz", REG_EXPAND_SZ,
       BytesOf(std::string_view("%TEMP%\\\xC3\xA9", 10)),
       BytesOf(std::wstring_view(L"%TEMP%\\\u00E9", 9))},
      {"multi_sz", REG_MULTI_SZ,
       BytesOf(std::string_view("a\0\xC3\xBC\0\0", 6)),
       BytesOf(std::wstring_view(L"a\0\u00FC\0\0", 5))},
      {"binary", REG_BINARY, binary, binary},
      {"dword", REG_DWORD, {1, 2, 3, 4}, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(api.SetValueEx(key, c.label, c.type, c.utf8), status::kSuccess);

    DWORD stored_type = 0;
    const std::wstring wide_name(c.label, c.label + std::strlen(c.label));
    EXPECT_EQ(StoredData(wide_name.c_str(), &stored_type), c.stored);
    EXPECT_EQ(stored_type, c.type);

    // Written through the wide function, read back through the system's.
    ASSERT_EQ(
        RegSetValueExW(wide_key, wide_name.c_str(), 0, c.type, c.stored.data(),
                       static_cast<DWORD>(c.stored.size())),
        ERROR_SUCCESS);
    std::uint32_t index = 0;
    char name[32];
    std::uint32_t name_length = sizeof name;
    std::uint32_t type = 0;
    Bytes data(64, 0xEE);
    auto data_length = static_cast<std::uint32_t>(data.size());
    for (;; ++index) {
      name_length = sizeof name;
      data_length = static_cast<std::uint32_t>(data.size());
      ASSERT_EQ(api.EnumValue(key, index, name, &name_length, &type,
                              data.data(), &data_length),
                status::kSuccess);
      if (std::string_view(name, name_length) == c.label) break;
    }
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + data_length), c.utf8);
  }
}

TEST_F(WindowsRegistryTest, StringDataOfAnOddByteCountLosesTheHalfCharacter) {
  ASSERT_EQ(SetStoredData(L"odd", REG_SZ, {'a', 0, 'b', 0, 'c'}),
            ERROR_SUCCESS);
  char name[8];
  std::uint32_t name_length = sizeof name;
  std::uint8_t data[8];
  std::uint32_t data_length = sizeof data;
  ASSERT_EQ(
      api.EnumValue(key, 0, name, &name_length, nullptr, data, &data_length),
      status::kSuccess);
  EXPECT_EQ(Bytes(data, data + data_length), BytesOf("ab"));
}

TEST_F(WindowsRegistryTest, ValueNamesAndDataAreMeasuredInUtf8Bytes) {
  // "日本": two UTF-16 units, six bytes of UTF-8; its data "ü" and a NUL.
  ASSERT_EQ(RegSetValueExW(wide_key, L"\u65E5\u672C", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(L"\u00FC"), 4),
            ERROR_SUCCESS);
  char name[16] = "0";
  std::uint32_t type = 0;
  std::uint32_t data_length = 0;

  struct Case {
    std::uint32_t name_capacity;
    bool with_data;
    std::uint32_t data_capacity;
    Status expected;
  } const cases[] = {
      {0, false, 0, status::kMoreData},  // the probe
      {6, false, 0, status::kMoreData},  // no room for the NUL
      {7, false, 0, status::kSuccess},
      {7, true, 2, status::kMoreData},  // data needs 3 bytes
      {7, true, 3, status::kSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.name_capacity << "/" << c.data_capacity);
    std::uint32_t name_length = c.name_capacity;
    std::uint8_t data[8] = {};
    data_length = c.data_capacity;
    type = 0;
    EXPECT_EQ(api.EnumValue(key, 0, name, &name_length, &type,
                            c.with_data ? data : nullptr, &data_length),
              c.expected);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data_length, 3u);
    if (c.expected == status::kSuccess) {
      EXPECT_EQ(name_length, 6u);
      EXPECT_STREQ(name, "\xE6\x97\xA5\xE6\x9C\xAC");
      if (c.with_data) {
        EXPECT_STREQ(reinterpret_cast<char*>(data), "\xC3\xBC");
      }
    } else {
      EXPECT_EQ(name_length, c.name_capacity);
    }
  }
}

TEST_F(WindowsRegistryTest, SubkeyNamesAndClassesAreMeasuredInUtf8Bytes) {
  // "Ärger": five UTF-16 units, six bytes; class "クラス", nine bytes.
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(wide_key, L"\u00C4rger", 0,
                            const_cast<wchar_t*>(L"\u30AF\u30E9\u30B9"), 0,
                            KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);

  char name[16];
  char class_name[16];
  std::uint32_t name_length = 6;
  EXPECT_EQ(
      api.EnumKeyEx(key, 0, name, &name_length, nullptr, nullptr, nullptr),
      status::kMoreData);
  name_length = 7;
  std::uint32_t class_length = 9;
  EXPECT_EQ(api.EnumKeyEx(key, 0, name, &name_length, class_name, &class_length,
                          nullptr),
            status::kMoreData);
  class_length = 10;
  std::uint64_t written = 0;
  ASSERT_EQ(api.EnumKeyEx(key, 0, name, &name_length, class_name, &class_length,
                          &written),
            status::kSuccess);
  EXPECT_EQ(name_length, 6u);
  EXPECT_STREQ(name, "\xC3\x84rger");
  EXPECT_EQ(class_length, 9u);
  EXPECT_STREQ(class_name, "\xE3\x82\xAF\xE3\x83\xA9\xE3\x82\xB9");
  EXPECT_NE(written, 0u);

  // Also through a handle that may query but not enumerate the subkeys.
  for (const std::uint32_t rights : {access::kAllAccess, access::kQueryValue}) {
    HKey handle = kNoKey;
    ASSERT_EQ(api.OpenKeyEx(key, "", 0, rights, &handle), status::kSuccess);
    KeyInfo info;
    ASSERT_EQ(api.QueryInfoKey(handle, nullptr, nullptr, &info),
              status::kSuccess);
    api.CloseKey(handle);
    EXPECT_EQ(info.subkey_count, 1u) << rights;
    EXPECT_EQ(info.max_subkey_name_length, 6u) << rights;
    EXPECT_EQ(info.max_class_length, 9u) << rights;
  }
}

TEST_F(WindowsRegistryTest, QueryInfoKeyReportsTheLongestInUtf8Bytes) {
  const struct {
    const wchar_t* name;
    std::wstring_view data;
  } values[] = {
      {L"\u00C4\u00D6\u00DC", L"abcdef"},                // name 6, data 6
      {L"abcd", std::wstring_view(L"\u65E5\u672C", 3)},  // name 4, data 7
  };
  for (const auto& v : values) {
    ASSERT_EQ(SetStoredData(v.name, REG_SZ, BytesOf(v.data)), ERROR_SUCCESS);
  }
  const Bytes binary(9, 0x7F);
  ASSERT_EQ(SetStoredData(L"b", REG_BINARY, binary), ERROR_SUCCESS);

  KeyInfo info;
  ASSERT_EQ(api.QueryInfoKey(key, nullptr, nullptr, &info), status::kSuccess);
  EXPECT_EQ(info.value_count, 3u);
  EXPECT_EQ(info.max_value_name_length, 6u);
  EXPECT_EQ(info.max_value_data_length, 9u);
  ASSERT_EQ(RegDeleteValueW(wide_key, L"b"), ERROR_SUCCESS);
  ASSERT_EQ(api.QueryInfoKey(key, nullptr, nullptr, &info), status::kSuccess);
  EXPECT_EQ(info.max_value_data_length, 7u);  // not 12, its UTF-16 size
}

TEST_F(WindowsRegistryTest, QueryInfoKeyGivesTheClassInUtf8) {
  HKey child = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(api.CreateKeyEx(key, "child", "\xC3\xA9t\xC3\xA9", 0,
                            access::kAllAccess, nullptr, &child, &disposition),
            status::kSuccess);
  EXPECT_EQ(disposition, disposition::kCreatedNewKey);
  char class_name[8] = {};
  std::uint32_t class_length = 5;
  EXPECT_EQ(api.QueryInfoKey(child, class_name, &class_length, nullptr),
            status::kMoreData);
  EXPECT_EQ(class_length, 5u);
  class_length = 6;
  EXPECT_EQ(api.QueryInfoKey(child, class_name, &class_length, nullptr),
            status::kSuccess);
  EXPECT_EQ(class_length, 5u);
  EXPECT_STREQ(class_name, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(api.CloseKey(child), status::kSuccess);

  wchar_t stored[8];
  DWORD stored_length = 8;
  HKEY wide_child = nullptr;
  ASSERT_EQ(RegOpenKeyExW(wide_key, L"child", 0, KEY_READ, &wide_child),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryInfoKeyW(wide_child, stored, &stored_length, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(wide_child);
  EXPECT_EQ(std::wstring_view(stored, stored_length), L"\u00E9t\u00E9");
}

TEST_F(WindowsRegistryTest, NamesAndPathsEndAtTheirFirstNul) {
  const Bytes data = BytesOf(std::string_view("x", 2));
  ASSERT_EQ(
      api.SetValueEx(key, std::string_view("kept\0lost", 9), REG_SZ, data),
      status::kSuccess);
  EXPECT_EQ(
      RegQueryValueExW(wide_key, L"kept", nullptr, nullptr, nullptr, nullptr),
      ERROR_SUCCESS);
  HKey child = kNoKey;
  ASSERT_EQ(api.CreateKeyEx(key, std::string_view("sub\0more", 8), "", 0,
                            access::kAllAccess, nullptr, &child, nullptr),
            status::kSuccess);
  api.CloseKey(child);
  EXPECT_EQ(api.DeleteKey(key, "sub"), status::kSuccess);
}

TEST_F(WindowsRegistryTest, PredefinedRootsAndHandlesMapToTheirKeys) {
  for (const HKey root : {roots::kClassesRoot, roots::kCurrentUser,
                          roots::kLocalMachine, roots::kUsers}) {
    SCOPED_TRACE(static_cast<std::uint32_t>(root));
    HKey opened = kNoKey;
    ASSERT_EQ(api.OpenKeyEx(root, "", 0, access::kRead, &opened),
              status::kSuccess);
    EXPECT_NE(opened, kNoKey);
    EXPECT_EQ(api.CloseKey(opened), status::kSuccess);
    EXPECT_EQ(api.CloseKey(root), status::kSuccess);
  }
  HKey software = kNoKey;
  ASSERT_EQ(api.OpenKeyEx(roots::kLocalMachine, "SOFTWARE", 0, access::kRead,
                          &software),
            status::kSuccess);
  EXPECT_EQ(api.CloseKey(software), status::kSuccess);
  EXPECT_EQ(api.CloseKey(software), status::kInvalidHandle);

  // A value written through the system's handle is the one the wide handle
  // to the same key sees.
  ASSERT_EQ(api.SetValueEx(key, "v", REG_DWORD, Bytes{7, 0, 0, 0}),
            status::kSuccess);
  DWORD type = 0;
  EXPECT_EQ(StoredData(L"v", &type), (Bytes{7, 0, 0, 0}));

  HKey none = roots::kLocalMachine;
  EXPECT_EQ(api.OpenKeyEx(kNoKey, "SOFTWARE", 0, access::kRead, &none),
            status::kInvalidHandle);
  EXPECT_EQ(none, kNoKey);
}

}  // namespace
}  // namespace quillprobe::registry
