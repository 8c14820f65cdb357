#include "registry/registry_windows.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "registry/wide_text_windows.h"

namespace quillprobe::registry {
namespace {

// Predefined roots are negative 32-bit constants, sign-extended to the width
// of a pointer. Every other registry handle is a kernel handle, and those fit
// in 32 bits on 64-bit Windows too.
HKEY ToHkey(HKey key) {
  const auto value = static_cast<std::uint32_t>(key);
  if ((value & 0x80000000u) != 0) {
    return reinterpret_cast<HKEY>(
        static_cast<LONG_PTR>(static_cast<LONG>(value)));
  }
  return static_cast<HKEY>(ULongToHandle(value));
}

HKey FromHkey(HKEY key) { return HKey{HandleToULong(key)}; }

Status ToStatus(LSTATUS result) { return static_cast<Status>(result); }

std::uint64_t FromFiletime(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A name or path as the wide call receives it.
std::wstring WideName(std::string_view text) {
  return WideFromUtf8(UpToFirstNul(text));
}

// String data as the ANSI functions would hand it out: every UTF-16 unit
// stored, embedded and terminating NULs included, converted; an odd last byte
// is no whole character and is dropped. Other types stay as they are.
std::vector<std::uint8_t> DataToUtf8(DWORD type,
                                     const std::vector<BYTE>& stored) {
  if (!IsStringType(type)) return {stored.begin(), stored.end()};
  std::wstring wide(stored.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) {
    std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
  }
  const std::string utf8 = Utf8FromWide(wide);
  return {utf8.begin(), utf8.end()};
}

// The bytes to store, followed by one UTF-16 unit that is not NUL and not
// part of the data. The registry takes a NUL that directly follows string
// data as its forgotten terminator and stores it too; data stored without a
// NUL has to come back without one.
constexpr std::size_t kGuardSize = sizeof(wchar_t);

std::vector<BYTE> DataFromUtf8(DWORD type, std::span<const std::uint8_t> data) {
  std::vector<BYTE> stored;
  if (IsStringType(type)) {
    const std::wstring wide = WideFromUtf8(std::string_view(
        reinterpret_cast<const char*>(data.data()), data.size()));
    stored.resize(wide.size() * sizeof(wchar_t));
    if (!wide.empty()) std::memcpy(stored.data(), wide.data(), stored.size());
  } else {
    stored.assign(data.begin(), data.end());
  }
  stored.insert(stored.end(), kGuardSize, BYTE{0xFF});
  return stored;
}

// Copies `text` and its terminating NUL into a caller's buffer of
// `*capacity` bytes. False, leaving everything untouched, when it does not
// fit.
bool CopyOut(const std::string& text, char* buffer, std::uint32_t* capacity) {
  if (text.size() >= *capacity) return false;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *capacity = static_cast<std::uint32_t>(text.size());
  return true;
}

// A name buffer grows this far at most; beyond it a name is no name of a
// registry the system can handle.
constexpr std::size_t kLongestName = std::size_t{1} << 20;

// Calls made while a key changes under them can keep asking for more room;
// after this many attempts the last answer stands.
constexpr int kAttempts = 8;

// One value as the registry stores it. The data is read only when `with_data`
// says so for the value's type; otherwise only its size is known.
struct StoredValue {
  std::wstring name;
  DWORD type = 0;
  DWORD size = 0;
  std::optional<std::vector<BYTE>> data;
};

template <typename WithData>
LSTATUS ReadValue(HKEY key, DWORD index, WithData with_data,
                  StoredValue* value) {
  std::vector<wchar_t> name(kMaxValueNameLength + 1);
  LSTATUS result = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    auto name_length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = 0;
    result = RegEnumValueW(key, index, name.data(), &name_length, nullptr,
                           &type, nullptr, &size);
    if (result == ERROR_MORE_DATA) {
      // Without a data buffer only the name can be too long.
      if (name.size() >= kLongestName) return result;
      name.resize(name.size() * 2);
      continue;
    }
    if (result != ERROR_SUCCESS) return result;
    value->name.assign(name.data(), name_length);
    value->type = type;
    value->size = size;
    value->data.reset();
    if (!with_data(type)) return ERROR_SUCCESS;
    std::vector<BYTE> data(std::max<DWORD>(size, 1));
    name_length = static_cast<DWORD>(name.size());
    result = RegEnumValueW(key, index, name.data(), &name_length, nullptr,
                           &type, data.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // changed in between
    if (result != ERROR_SUCCESS) return result;
    data.resize(size);
    value->name.assign(name.data(), name_length);
    value->type = type;
    value->size = size;
    value->data = std::move(data);
    return ERROR_SUCCESS;
  }
  return result;
}

// One subkey's name and class as the registry stores them.
struct StoredSubKey {
  std::wstring name;
  std::wstring class_name;
  FILETIME last_write_time{};
};

LSTATUS ReadSubKey(HKEY key, DWORD index, bool with_class,
                   StoredSubKey* subkey) {
  std::vector<wchar_t> name(kMaxKeyNameLength + 1);
  std::vector<wchar_t> class_name(64);
  LSTATUS result = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    auto name_length = static_cast<DWORD>(name.size());
    auto class_length = static_cast<DWORD>(class_name.size());
    result = RegEnumKeyExW(key, index, name.data(), &name_length, nullptr,
                           with_class ? class_name.data() : nullptr,
                           with_class ? &class_length : nullptr,
                           &subkey->last_write_time);
    if (result == ERROR_MORE_DATA) {
      // Either buffer may be the one that is too small.
      if (name.size() >= kLongestName) return result;
      name.resize(name.size() * 2);
      class_name.resize(class_name.size() * 2);
      continue;
    }
    if (result != ERROR_SUCCESS) return result;
    subkey->name.assign(name.data(), name_length);
    if (with_class) subkey->class_name.assign(class_name.data(), class_length);
    return ERROR_SUCCESS;
  }
  return result;
}

std::uint32_t Utf8Length(std::wstring_view text) {
  return static_cast<std::uint32_t>(Utf8FromWide(text).size());
}

// The longest UTF-8 form that `units` UTF-16 units can take.
std::uint32_t Utf8Bound(DWORD units) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::uint64_t{units} * 3, 0xFFFFFFFFu));
}

// The registry reports the longest names and data in UTF-16; the system
// wants them in UTF-8 bytes, which only the names and data themselves can
// tell. When the key changes while it is read, the bounds that UTF-16 lengths
// allow stand in.
void MeasureInUtf8(HKEY key, KeyInfo* info) {
  std::uint32_t longest_subkey = 0;
  std::uint32_t longest_class = 0;
  bool exact = true;
  for (DWORD index = 0; exact && index < info->subkey_count; ++index) {
    StoredSubKey subkey;
    if (ReadSubKey(key, index, true, &subkey) != ERROR_SUCCESS) {
      exact = false;
      break;
    }
    longest_subkey = std::max(longest_subkey, Utf8Length(subkey.name));
    longest_class = std::max(longest_class, Utf8Length(subkey.class_name));
  }
  if (exact) {
    info->max_subkey_name_length = longest_subkey;
    info->max_class_length = longest_class;
  } else {
    info->max_subkey_name_length = Utf8Bound(info->max_subkey_name_length);
    info->max_class_length = Utf8Bound(info->max_class_length);
  }

  std::uint32_t longest_name = 0;
  std::uint32_t longest_data = 0;
  exact = true;
  for (DWORD index = 0; exact && index < info->value_count; ++index) {
    StoredValue value;
    if (ReadValue(key, index, IsStringType, &value) != ERROR_SUCCESS) {
      exact = false;
      break;
    }
    longest_name = std::max(longest_name, Utf8Length(value.name));
    const auto data_length =
        value.data ? DataToUtf8(value.type, *value.data).size() : value.size;
    longest_data =
        std::max(longest_data, static_cast<std::uint32_t>(data_length));
  }
  if (exact) {
    info->max_value_name_length = longest_name;
    info->max_value_data_length = longest_data;
  } else {
    info->max_value_name_length = Utf8Bound(info->max_value_name_length);
    info->max_value_data_length =
        std::max(info->max_value_data_length,
                 Utf8Bound(info->max_value_data_length / sizeof(wchar_t)));
  }
}

}  // namespace

Status WindowsRegistry::OpenKeyEx(HKey key, std::string_view sub_key,
                                  std::uint32_t options, std::uint32_t access,
                                  HKey* result) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  HKEY opened = nullptr;
  const LSTATUS status = RegOpenKeyExW(ToHkey(key), WideName(sub_key).c_str(),
                                       options, access, &opened);
  if (status == ERROR_SUCCESS) *result = FromHkey(opened);
  return ToStatus(status);
}

Status WindowsRegistry::CreateKeyEx(HKey key, std::string_view sub_key,
                                    std::string_view class_name,
                                    std::uint32_t options, std::uint32_t access,
                                    const SecurityAttributes* security,
                                    HKey* result, std::uint32_t* disposition) {
  if (result == nullptr) return status::kInvalidParameter;
  *result = kNoKey;
  SECURITY_ATTRIBUTES attributes{};
  if (security != nullptr) {
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = security->inherit_handle ? TRUE : FALSE;
  }
  std::wstring wide_class = WideName(class_name);
  HKEY created = nullptr;
  DWORD created_or_opened = 0;
  const LSTATUS status = RegCreateKeyExW(
      ToHkey(key), WideName(sub_key).c_str(), 0, wide_class.data(), options,
      access, security != nullptr ? &attributes : nullptr, &created,
      &created_or_opened);
  if (status == ERROR_SUCCESS) {
    *result = FromHkey(created);
    if (disposition != nullptr) *disposition = created_or_opened;
  }
  return ToStatus(status);
}

Status WindowsRegistry::CloseKey(HKey key) {
  return ToStatus(RegCloseKey(ToHkey(key)));
}

Status WindowsRegistry::QueryInfoKey(HKey key, char* class_name,
                                     std::uint32_t* class_length,
                                     KeyInfo* info) {
  if (class_name != nullptr && class_length == nullptr) {
    return status::kInvalidParameter;
  }
  const HKEY handle = ToHkey(key);
  const bool with_class = class_length != nullptr;
  std::vector<wchar_t> wide_class(64);
  DWORD wide_class_length = 0;
  KeyInfo counts;
  DWORD security_length = 0;
  FILETIME last_write{};
  LSTATUS result = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < kAttempts && result == ERROR_MORE_DATA;
       ++attempt) {
    wide_class_length = static_cast<DWORD>(wide_class.size());
    DWORD subkeys = 0, longest_subkey = 0, longest_class = 0;
    DWORD values = 0, longest_name = 0, longest_data = 0;
    result = RegQueryInfoKeyW(handle, with_class ? wide_class.data() : nullptr,
                              with_class ? &wide_class_length : nullptr,
                              nullptr, &subkeys, &longest_subkey,
                              &longest_class, &values, &longest_name,
                              &longest_data, &security_length, &last_write);
    if (result == ERROR_MORE_DATA) {
      if (wide_class.size() >= kLongestName) break;
      wide_class.resize(
          std::max<std::size_t>(wide_class.size() * 2, wide_class_length + 1u));
      continue;
    }
    counts = KeyInfo{subkeys,         longest_subkey,
                     longest_class,   values,
                     longest_name,    longest_data,
                     security_length, FromFiletime(last_write)};
  }
  if (result != ERROR_SUCCESS) return ToStatus(result);

  if (info != nullptr) {
    // The lengths are QueryInfoKey's to report whatever rights the handle
    // has; reading the names behind them takes a handle that may enumerate.
    HKEY reader = nullptr;
    const bool own_reader =
        RegOpenKeyExW(handle, L"", 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                      &reader) == ERROR_SUCCESS;
    MeasureInUtf8(own_reader ? reader : handle, &counts);
    if (own_reader) RegCloseKey(reader);
    *info = counts;
  }
  if (with_class) {
    const std::string utf8_class =
        Utf8FromWide(std::wstring_view(wide_class.data(), wide_class_length));
    if (class_name == nullptr) {
      *class_length = static_cast<std::uint32_t>(utf8_class.size());
    } else if (!CopyOut(utf8_class, class_name, class_length)) {
      *class_length = static_cast<std::uint32_t>(utf8_class.size());
      return status::kMoreData;
    }
  }
  return status::kSuccess;
}

Status WindowsRegistry::EnumValue(HKey key, std::uint32_t index, char* name,
                                  std::uint32_t* name_length,
                                  std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* data_length) {
  if (name == nullptr || name_length == nullptr ||
      (data != nullptr && data_length == nullptr)) {
    return status::kInvalidParameter;
  }
  // String data has to be read to tell its length in UTF-8.
  const auto with_data = [&](DWORD stored_type) {
    return data != nullptr ||
           (data_length != nullptr && IsStringType(stored_type));
  };
  StoredValue value;
  const LSTATUS result = ReadValue(ToHkey(key), index, with_data, &value);
  if (result != ERROR_SUCCESS) return ToStatus(result);

  std::vector<std::uint8_t> utf8_data;
  if (value.data) utf8_data = DataToUtf8(value.type, *value.data);
  const auto needed = value.data ? static_cast<std::uint32_t>(utf8_data.size())
                                 : static_cast<std::uint32_t>(value.size);
  if (type != nullptr) *type = value.type;

  const std::string utf8_name = Utf8FromWide(value.name);
  if (utf8_name.size() >= *name_length ||
      (data != nullptr && needed > *data_length)) {
    if (data_length != nullptr) *data_length = needed;
    return status::kMoreData;
  }
  if (data != nullptr && !utf8_data.empty()) {
    std::memcpy(data, utf8_data.data(), utf8_data.size());
  }
  if (data_length != nullptr) *data_length = needed;
  CopyOut(utf8_name, name, name_length);
  return status::kSuccess;
}

Status WindowsRegistry::EnumKeyEx(HKey key, std::uint32_t index, char* name,
                                  std::uint32_t* name_length, char* class_name,
                                  std::uint32_t* class_length,
                                  std::uint64_t* last_write_time) {
  if (name == nullptr || name_length == nullptr ||
      (class_name != nullptr && class_length == nullptr)) {
    return status::kInvalidParameter;
  }
  const bool with_class = class_length != nullptr;
  StoredSubKey subkey;
  const LSTATUS result = ReadSubKey(ToHkey(key), index, with_class, &subkey);
  if (result != ERROR_SUCCESS) return ToStatus(result);

  const std::string utf8_name = Utf8FromWide(subkey.name);
  const std::string utf8_class = Utf8FromWide(subkey.class_name);
  if (utf8_name.size() >= *name_length ||
      (class_name != nullptr && utf8_class.size() >= *class_length)) {
    return status::kMoreData;
  }
  CopyOut(utf8_name, name, name_length);
  if (class_name != nullptr) {
    CopyOut(utf8_class, class_name, class_length);
  } else if (class_length != nullptr) {
    *class_length = static_cast<std::uint32_t>(utf8_class.size());
  }
  if (last_write_time != nullptr) {
    *last_write_time = FromFiletime(subkey.last_write_time);
  }
  return status::kSuccess;
}

Status WindowsRegistry::SetValueEx(HKey key, std::string_view name,
                                   std::uint32_t type,
                                   std::span<const std::uint8_t> data) {
  const std::vector<BYTE> stored = DataFromUtf8(type, data);
  const std::size_t size = stored.size() - kGuardSize;
  if (size > std::numeric_limits<DWORD>::max()) {
    return status::kInvalidParameter;
  }
  return ToStatus(RegSetValueExW(ToHkey(key), WideName(name).c_str(), 0, type,
                                 stored.data(), static_cast<DWORD>(size)));
}

Status WindowsRegistry::DeleteValue(HKey key, std::string_view name) {
  return ToStatus(RegDeleteValueW(ToHkey(key), WideName(name).c_str()));
}

Status WindowsRegistry::DeleteKey(HKey key, std::string_view sub_key) {
  return ToStatus(RegDeleteKeyW(ToHkey(key), WideName(sub_key).c_str()));
}

}  // namespace quillprobe::registry
