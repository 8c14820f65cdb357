// The snapshot of the bound key and the lookups that answer from it.
#include <algorithm>
#include <array>

#include "registry/cregistry.h"
#include "registry/cregistry_internal.h"
#include "registry/raised_error.h"

namespace quillprobe::registry {
namespace {

// The length of string data as stored text: a terminating NUL is dropped
// when it is there, and only then. Zero bytes of data are empty text.
std::size_t StringDataLength(const std::vector<std::uint8_t>& buffer,
                             std::uint32_t length) {
  std::size_t n = std::min<std::size_t>(length, buffer.size());
  if (n > 0 && buffer[n - 1] == 0) --n;
  return n;
}

}  // namespace

using namespace internal;

// ---- Snapshot ---------------------------------------------------------------

void CRegistry::GetKeyInfo() {
  try {
    TakeSnapshot();
  } catch (const std::exception&) {
    throw SnapshotError();
  }
}

void CRegistry::Refresh() { GetKeyInfo(); }

// The steps of the snapshot. Any exception fails it; the caller turns it into
// the snapshot error. What was replaced before the failure stays replaced: a
// failure while values are read leaves the new, partial value table with the
// old count, and likewise for subkeys.
void CRegistry::TakeSnapshot() {
  CloseKey();

  if (bAutoCreate_) {
    CreateEx();
  } else {
    HKey opened = kNoKey;
    if (api_.OpenKeyEx(RootKey(), sKey_, 0, lAccess_, &opened) !=
        status::kSuccess) {
      throw SnapshotError();
    }
    hKey_ = opened;
  }

  std::array<char, 26> class_name{};
  std::uint32_t class_length = 25;
  KeyInfo info;
  api_.QueryInfoKey(hKey_, class_name.data(), &class_length, &info);

  // Values. The buffers are sized from the key's longest name and data, as
  // the key reported them, and reused for every value.
  asValues_.assign(1, ValueRow{});
  // The count only sizes the table: the enumeration decides what is in it.
  asValues_.reserve(
      std::min<std::size_t>(info.value_count, std::size_t{kMaxCount}) + 2);
  values_text_ = std::string();
  name_index_.clear();
  name_index_built_ = false;
  std::vector<char> name(std::size_t{info.max_value_name_length} + 1);
  std::vector<std::uint8_t> data(std::size_t{info.max_value_data_length} + 1);
  std::int64_t stored = 0;
  for (std::uint32_t index = 0;; ++index) {
    char probe_name[2] = {'0', 0};
    std::uint32_t probe_name_length = 0;
    std::uint32_t type = 0;
    std::uint32_t probe_data_length = 0;
    Status last = api_.EnumValue(hKey_, index, probe_name, &probe_name_length,
                                 &type, nullptr, &probe_data_length);
    if (last == status::kNoMoreItems) break;
    // Only "fits" and "needs more room" describe a value; anything else
    // (a deleted key, a damaged hive) would answer the same at every index.
    if (last != status::kSuccess && last != status::kMoreData) {
      throw SnapshotError();
    }
    if (type == value_type::kSz) {
      std::fill(name.begin(), name.end(), '\0');
      std::fill(data.begin(), data.end(), std::uint8_t{0});
      auto name_length = static_cast<std::uint32_t>(name.size());
      auto data_length = static_cast<std::uint32_t>(data.size());
      last = api_.EnumValue(hKey_, index, name.data(), &name_length, &type,
                            data.data(), &data_length);
      const ValueRow row{values_text_.size(),
                         std::min<std::size_t>(name_length, name.size()),
                         StringDataLength(data, data_length)};
      values_text_.append(name.data(), row.name_length);
      values_text_.append(reinterpret_cast<const char*>(data.data()),
                          row.data_length);
      asValues_.back() = row;
      asValues_.emplace_back();
      ++stored;
      if (last == status::kNoMoreItems) break;
    }
  }
  if (stored > kMaxCount) throw OverflowError();
  iValueCount_ = static_cast<std::int16_t>(stored);

  // Subkeys.
  asSubKeys_.assign(1, std::string{});
  std::vector<char> subkey(std::size_t{info.max_subkey_name_length} + 1);
  for (std::uint32_t index = 0;; ++index) {
    std::fill(subkey.begin(), subkey.end(), '\0');
    auto length = static_cast<std::uint32_t>(subkey.size());
    const Status result = api_.EnumKeyEx(hKey_, index, subkey.data(), &length,
                                         nullptr, nullptr, nullptr);
    if (result == status::kNoMoreItems) break;
    if (result != status::kSuccess && result != status::kMoreData) {
      throw SnapshotError();
    }
    asSubKeys_.emplace_back(subkey.data(),
                            std::min<std::size_t>(length, subkey.size()));
  }
  const auto subkeys = static_cast<std::int64_t>(asSubKeys_.size()) - 1;
  if (subkeys > kMaxCount) throw OverflowError();
  iSubKeyCount_ = static_cast<std::int16_t>(subkeys);

  CloseKey();
}

std::string_view CRegistry::RowName(std::size_t row) const {
  const ValueRow& r = asValues_[row];
  return std::string_view(values_text_).substr(r.offset, r.name_length);
}

std::string_view CRegistry::RowData(std::size_t row) const {
  const ValueRow& r = asValues_[row];
  return std::string_view(values_text_)
      .substr(r.offset + r.name_length, r.data_length);
}

// ---- Lookups ----------------------------------------------------------------

std::string CRegistry::GetValue(const VariantRequest& vRequest,
                                std::string_view Default) {
  try {
    std::string result;
    if (const auto position = vRequest.Position()) {
      if (*position < 0 ||
          static_cast<std::size_t>(*position) >= asValues_.size()) {
        throw OutOfRangeError();
      }
      result = RowData(static_cast<std::size_t>(*position));
    } else {
      result = LookUpByName(vRequest.ToText());
    }
    if (result.empty()) result = Default;
    return result;
  } catch (const RaisedError& error) {
    message_box_.Show(error.Description(), error.Source());
    return {};
  }
}

// The data of the first row, last empty row included, whose name equals
// `name` case-insensitively. The rows are numbered by a 16-bit counter: a row
// beyond 32767 is never reached, and a search that passes row 32767 without
// a match overflows it.
std::string CRegistry::LookUpByName(const std::string& name) {
  if (!name_index_built_) {
    name_index_.reserve(asValues_.size());
    for (std::size_t row = 0; row < asValues_.size(); ++row) {
      name_index_.try_emplace(RowName(row), row);
    }
    name_index_built_ = true;
  }
  const auto found = name_index_.find(name);
  if (found != name_index_.end() &&
      found->second <= static_cast<std::size_t>(kMaxCount)) {
    return std::string(RowData(found->second));
  }
  if (asValues_.size() - 1 >= static_cast<std::size_t>(kMaxCount)) {
    throw OverflowError();
  }
  return {};
}

std::string CRegistry::GetName(std::int16_t iRequest) const {
  if (iRequest < 0 || static_cast<std::size_t>(iRequest) >= asValues_.size()) {
    return {};
  }
  return std::string(RowName(static_cast<std::size_t>(iRequest)));
}

std::string CRegistry::GetSubKey(std::int16_t iIndex) const {
  if (iIndex < 0 || static_cast<std::size_t>(iIndex) + 1 >= asSubKeys_.size()) {
    return {};
  }
  return asSubKeys_[static_cast<std::size_t>(iIndex) + 1];
}

}  // namespace quillprobe::registry
