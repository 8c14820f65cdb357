// The registry platform interface: the nine calls that CRegistry makes, in the
// shape and with the status codes of the Windows registry functions.
//
// One implementation per platform is chosen at build time (advapi32 on
// Windows, the local registry elsewhere); tests add wrappers that forward to a
// real implementation. Text is UTF-8 everywhere in the system; the Windows
// implementation converts at its boundary. Buffer lengths are counted in bytes
// of UTF-8, the way the ANSI functions count characters of the code page.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillprobe::registry {

// A key handle. Predefined roots carry their 32-bit constants; handles that an
// implementation hands out are small non-zero numbers. 0 is "no key".
enum class HKey : std::uint32_t {};

inline constexpr HKey kNoKey{0};

// The predefined roots.
namespace roots {
inline constexpr HKey kClassesRoot{0x80000000u};
inline constexpr HKey kCurrentUser{0x80000001u};
inline constexpr HKey kLocalMachine{0x80000002u};
inline constexpr HKey kUsers{0x80000003u};
inline constexpr HKey kCurrentConfig{0x80000005u};
}  // namespace roots

// True for the five predefined roots above.
constexpr bool IsPredefinedRoot(HKey key) {
  const auto v = static_cast<std::uint32_t>(key);
  return v == 0x80000000u || v == 0x80000001u || v == 0x80000002u ||
         v == 0x80000003u || v == 0x80000005u;
}

// Status codes, as Windows numbers them. 0 is success.
using Status = std::int32_t;
namespace status {
inline constexpr Status kSuccess = 0;
inline constexpr Status kFileNotFound = 2;
inline constexpr Status kAccessDenied = 5;
inline constexpr Status kInvalidHandle = 6;
inline constexpr Status kNotEnoughMemory = 8;
inline constexpr Status kInvalidParameter = 87;
inline constexpr Status kBadPathname = 161;
inline constexpr Status kMoreData = 234;
inline constexpr Status kNoMoreItems = 259;
inline constexpr Status kBadDb = 1009;
inline constexpr Status kBadKey = 1010;
inline constexpr Status kRegistryIoFailed = 1016;
inline constexpr Status kKeyDeleted = 1018;
}  // namespace status

// Access rights of a key handle.
namespace access {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kNotify = 0x0010;
inline constexpr std::uint32_t kCreateLink = 0x0020;
inline constexpr std::uint32_t kRead = 0x20019;
inline constexpr std::uint32_t kWrite = 0x20006;
inline constexpr std::uint32_t kAllAccess = 0xF003F;
}  // namespace access

// Value types.
namespace value_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace value_type

// Dispositions reported by CreateKeyEx.
namespace disposition {
inline constexpr std::uint32_t kCreatedNewKey = 1;
inline constexpr std::uint32_t kOpenedExistingKey = 2;
}  // namespace disposition

// The longest key name (one path component) and value name, in characters.
inline constexpr std::uint32_t kMaxKeyNameLength = 255;
inline constexpr std::uint32_t kMaxValueNameLength = 16383;

// What the security-attributes argument of CreateKeyEx says. No security
// descriptor is ever passed; only the inheritance flag is carried.
struct SecurityAttributes {
  std::uint32_t length = 12;
  bool inherit_handle = false;
};

// The outputs of QueryInfoKey. Lengths are in bytes of UTF-8 and exclude the
// terminating NUL, as RegQueryInfoKey reports them.
struct KeyInfo {
  std::uint32_t subkey_count = 0;
  std::uint32_t max_subkey_name_length = 0;
  std::uint32_t max_class_length = 0;
  std::uint32_t value_count = 0;
  std::uint32_t max_value_name_length = 0;
  std::uint32_t max_value_data_length = 0;
  std::uint32_t security_descriptor_length = 0;
  std::uint64_t last_write_time = 0;  // FILETIME, 100 ns since 1601
};

// Every call on a zero or unknown handle gives 6, and every call but CloseKey
// on a handle whose key has been deleted gives 1018. Paths are
// backslash-separated: a leading backslash gives 161, and empty components
// (doubled or trailing backslashes) are skipped.
class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // Opens `sub_key` (backslash-separated, relative to `key`) with the rights
  // in `access`. An empty sub_key opens a new handle to `key` itself. No
  // rights on `key` are needed. 2 when a component is missing, 5 when the
  // rights cannot be granted. On failure *result is kNoKey.
  virtual Status OpenKeyEx(HKey key, std::string_view sub_key,
                           std::uint32_t options, std::uint32_t access,
                           HKey* result) = 0;

  // Creates `sub_key` and any missing keys above it, or opens it when it
  // exists; *disposition says which (1 created, 2 opened; an empty sub_key
  // opens `key` itself). `class_name` is stored with each new key. Creating
  // needs KEY_CREATE_SUB_KEY on `key` (5); a component longer than 255
  // characters gives 87. `security` may be null. On failure *result is
  // kNoKey.
  virtual Status CreateKeyEx(HKey key, std::string_view sub_key,
                             std::string_view class_name, std::uint32_t options,
                             std::uint32_t access,
                             const SecurityAttributes* security, HKey* result,
                             std::uint32_t* disposition) = 0;

  // Releases a handle, also one whose key has been deleted. Closing a
  // predefined root is a no-op that succeeds.
  virtual Status CloseKey(HKey key) = 0;

  // Counts and longest lengths of the key's subkeys and values (needs
  // KEY_QUERY_VALUE). `class_name` (may be null) receives the key's class;
  // *class_length is its capacity, NUL included, in and the class length out;
  // a class that does not fit gives 234. Any output pointer may be null.
  virtual Status QueryInfoKey(HKey key, char* class_name,
                              std::uint32_t* class_length, KeyInfo* info) = 0;

  // The value at `index` in insertion order (needs KEY_QUERY_VALUE).
  // *name_length is the capacity of `name` in bytes including room for a NUL
  // on entry, and the name's length without the NUL on return. A name that
  // does not fit gives 234 (the type and data length are still filled in).
  // `data` may be null to ask for the length only; data that does not fit
  // gives 234 with *data_length set to the size needed. Past the last value:
  // 259. `type`, `data_length` may be null.
  virtual Status EnumValue(HKey key, std::uint32_t index, char* name,
                           std::uint32_t* name_length, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* data_length) = 0;

  // The subkey at `index` in case-insensitive name order (needs
  // KEY_ENUMERATE_SUB_KEYS); name capacity and length as EnumValue, and 234
  // when the name and its NUL do not fit. `class_name` may be null; when it
  // is not, the class and its NUL must fit *class_length too. Pass null when
  // no class is wanted. `last_write_time` may be null.
  virtual Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                           std::uint32_t* name_length, char* class_name,
                           std::uint32_t* class_length,
                           std::uint64_t* last_write_time) = 0;

  // Stores a value of any type (needs KEY_SET_VALUE); the data is kept byte
  // for byte. A name longer than 16,383 characters gives 87.
  virtual Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) = 0;

  // Removes a value (needs KEY_SET_VALUE); 2 when there is none of that name.
  virtual Status DeleteValue(HKey key, std::string_view name) = 0;

  // Removes the subkey `sub_key` of `key`, or `key` itself when sub_key is
  // empty; 5 when it has subkeys of its own or is a predefined root, 2 when it
  // does not exist. No rights on `key` are needed.
  virtual Status DeleteKey(HKey key, std::string_view sub_key) = 0;
};

}  // namespace quillprobe::registry
