#include "tools/quillreg/value_format.h"

#include <array>
#include <string_view>

#include "registry/registry_api.h"

namespace quillprobe::quillreg {
namespace {

namespace value_type = registry::value_type;

constexpr std::array<std::string_view, 12> kTypeNames{
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

std::string LowerHex(std::uint64_t number) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[number % 16]);
    number /= 16;
  } while (number != 0);
  return "0x" + digits;
}

std::string UpperHexBytes(std::span<const std::uint8_t> data) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 2);
  for (const std::uint8_t byte : data) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string_view AsText(std::span<const std::uint8_t> data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> data) {
  std::uint64_t number = 0;
  for (std::size_t i = data.size(); i > 0; --i) {
    number = (number << 8) | data[i - 1];
  }
  return number;
}

std::uint64_t BigEndian(std::span<const std::uint8_t> data) {
  std::uint64_t number = 0;
  for (const std::uint8_t byte : data) number = (number << 8) | byte;
  return number;
}

std::string MultiString(std::string_view text) {
  // The list ends with an empty string: the last string's NUL and one more.
  if (text.ends_with(std::string_view("\0\0", 2))) {
    text.remove_suffix(2);
  } else if (text.ends_with('\0')) {
    text.remove_suffix(1);
  }
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    if (c == '\0') {
      shown += "\\0";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string TypeName(std::uint32_t type) {
  if (type < kTypeNames.size()) return std::string(kTypeNames[type]);
  return "REG_UNKNOWN(" + LowerHex(type) + ")";
}

std::string FormatData(std::uint32_t type, std::span<const std::uint8_t> data) {
  switch (type) {
    case value_type::kSz:
    case value_type::kExpandSz: {
      const std::string_view text = AsText(data);
      return std::string(text.substr(0, text.find('\0')));
    }
    case value_type::kMultiSz:
      return MultiString(AsText(data));
    case value_type::kDword:
      if (data.size() == 4) return LowerHex(LittleEndian(data));
      break;
    case value_type::kDwordBigEndian:
      if (data.size() == 4) return LowerHex(BigEndian(data));
      break;
    case value_type::kQword:
      if (data.size() == 8) return LowerHex(LittleEndian(data));
      break;
    default:
      break;
  }
  return UpperHexBytes(data);
}

}  // namespace quillprobe::quillreg
