// CRegistry: a registry key bound to a root and a key path, read through a
// snapshot.
//
// Setting `key` takes a snapshot of the key: its string (REG_SZ) values as a
// table of name and data in enumeration order, and its subkey names. Lookups
// answer from that copy; SetValue, Create and DeleteKey change the registry
// without renewing it, DeleteValue and Refresh renew it. The object holds at
// most one open key handle and closes it when it is destroyed.
//
// Failures travel on two channels: operations that can fail in an expected
// way return false or a neutral result; other conditions raise RaisedError
// with the class's numbers (see raised_error.h and the table below).
//
//   0x80040201 "CreateEx"   "Cannot Open Parent Key"  create said 1010
//   0x80040209 "CreateEx"   "Unknown Error: <code>"    any other create failure
//   0x80040201 "GetKeyInfo" "Unable to open Key"       every snapshot failure
//   0x80040207 "CRegistry.Let ValueCount"
//                           "The Let Property is not available"
//
// An instance is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/message_box.h"
#include "registry/raised_error.h"
#include "registry/registry_api.h"
#include "registry/unicode_case.h"
#include "registry/variant_request.h"

namespace quillprobe::registry {

// The predefined roots as the 32-bit signed numbers that `root` takes.
inline constexpr std::int32_t kHkeyClassesRoot =
    static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kHkeyCurrentUser =
    static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t kHkeyLocalMachine =
    static_cast<std::int32_t>(0x80000002u);
inline constexpr std::int32_t kHkeyUsers =
    static_cast<std::int32_t>(0x80000003u);
inline constexpr std::int32_t kHkeyCurrentConfig =
    static_cast<std::int32_t>(0x80000005u);

// Error numbers that the class raises itself.
inline constexpr std::int32_t kErrorCannotOpenKey = kObjectErrorBase + 513;
inline constexpr std::int32_t kErrorLetNotAvailable = kObjectErrorBase + 519;
inline constexpr std::int32_t kErrorUnknown = kObjectErrorBase + 521;

class CRegistry {
 public:
  // A new object: root HKEY_LOCAL_MACHINE, empty key path, AutoCreate true,
  // an empty snapshot. Construction neither reads nor writes the registry.
  explicit CRegistry(RegistryApi& api, MessageBoxSink& message_box);
  // The same on the platform's registry and message box.
  CRegistry();
  ~CRegistry();

  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Removes the value `sValue` (empty text: the unnamed value) and takes a new
  // snapshot. True when the value was removed. Never raises.
  bool DeleteValue(std::string_view sValue);

  // The name of value row `iRequest`; empty text outside the table.
  std::string GetName(std::int16_t iRequest) const;

  // The name of subkey `iIndex`; empty text outside the list.
  std::string GetSubKey(std::int16_t iIndex) const;

  // The data of the value that `vRequest` names (a 16-bit position, or any
  // other content as a name compared case-insensitively), or `Default` when
  // there is none or its data is empty. A failure (a position outside the
  // table, a request with no text form, the 16-bit row counter running past
  // 32767) is shown in the message box and gives empty text. Never raises.
  std::string GetValue(const VariantRequest& vRequest,
                       std::string_view Default);

  // Deletes the subkey `KeyName` of the current key with everything below
  // it, deepest first. True when it is gone. Never raises.
  bool DeleteKey(std::string_view KeyName);

  // Creates or opens the subkey `KeyName` of the current key and moves the
  // object onto it (a `KeyName` equal to the whole key path leaves the path
  // as it is). With both optional arguments it writes a first value; when
  // that fails it shows "Could not set value". True when the key exists
  // afterwards. No snapshot is taken. Never raises.
  bool Create(std::string_view KeyName,
              const std::optional<VariantRequest>& sKeyName = std::nullopt,
              const std::optional<std::string>& sValue = std::nullopt);

  // Takes a new snapshot. Raises the snapshot error.
  void Refresh();

  // Writes `sValue` as a REG_SZ value named by `sKeyName` (a 16-bit position
  // in the value table, or any other content as the name). False for empty
  // `sValue` or when the key cannot be opened or written. Raises the
  // conversion error and the errors of creating the key.
  bool SetValue(const VariantRequest& sKeyName, std::string_view sValue);

  void Default(std::string_view strKeyString);
  const std::string& Default() const { return sDefault_; }

  // Always raises 0x80040207: the count is only set by the snapshot.
  [[noreturn]] void ValueCount(std::int16_t vl);
  std::int16_t ValueCount() const { return iValueCount_; }

  void AutoCreate(bool vData) { bAutoCreate_ = vData; }
  bool AutoCreate() const { return bAutoCreate_; }

  // Stores the key path and takes the snapshot; raises the snapshot error
  // unchanged, with the new path stored.
  void key(std::string_view vData);
  const std::string& key() const { return sKey_; }

  // Stores the root and opens the current key under it (creating it when
  // AutoCreate is true), leaving the handle held. Never raises.
  void root(std::int32_t vData);
  std::int32_t root() const { return lRoot_; }

  std::int16_t SubKeyCount() const { return iSubKeyCount_; }
  // Holds until the next snapshot.
  void SubKeyCount(std::int16_t iNewValue) { iSubKeyCount_ = iNewValue; }

  // The handle the object holds, kNoKey when none. For tests and tools.
  HKey HeldKey() const { return hKey_; }

 private:
  // A row of the value table: its name and, right after it, its data, in
  // values_text_. A row of zeros is empty.
  struct ValueRow {
    std::size_t offset = 0;
    std::size_t name_length = 0;
    std::size_t data_length = 0;
  };

  std::int32_t DeleteKeyTree(std::string_view sSubKey);
  std::int16_t CreateEx();
  bool OpenKey(std::uint32_t access_mask);
  void CloseKey();
  void GetKeyInfo();

  void TakeSnapshot();
  std::string_view RowName(std::size_t row) const;
  std::string_view RowData(std::size_t row) const;
  std::string LookUpByName(const std::string& name);
  HKey RootKey() const;

  RegistryApi& api_;
  MessageBoxSink& message_box_;

  std::int32_t lRoot_ = 0;
  std::string sKey_;
  bool bAutoCreate_ = true;
  std::string sDefault_;
  std::uint32_t lAccess_ = 31;
  std::int16_t iSubKeyCount_ = 0;
  std::int16_t iValueCount_ = 0;
  HKey hKey_ = kNoKey;
  // Rows 0 to n-1 hold the values, row n is always empty.
  std::vector<ValueRow> asValues_;
  // The names and data of the rows, back to back, so that a snapshot costs
  // no allocation per value. Only a snapshot changes it.
  std::string values_text_;
  // Entry 0 is an empty placeholder; entries 1 to m hold the names.
  std::vector<std::string> asSubKeys_;

  // The first row of every name, upper-cased, built on the first lookup by
  // name after a snapshot so that a lookup does not scan the table.
  // Keys view the names in values_text_, which only a snapshot changes.
  std::unordered_map<std::string_view, std::size_t, CaseInsensitiveHash,
                     CaseInsensitiveEqual>
      name_index_;
  bool name_index_built_ = false;
};

}  // namespace quillprobe::registry
