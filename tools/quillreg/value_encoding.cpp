#include "tools/quillreg/value_encoding.h"

#include <array>
#include <limits>

#include "registry/registry_api.h"
#include "registry/unicode_case.h"

namespace quillprobe::quillreg {
namespace {

namespace value_type = registry::value_type;

struct TypeEntry {
  std::string_view name;
  std::uint32_t type;
};

constexpr std::array<TypeEntry, 7> kAddTypes{{
    {"REG_SZ", value_type::kSz},
    {"REG_EXPAND_SZ", value_type::kExpandSz},
    {"REG_MULTI_SZ", value_type::kMultiSz},
    {"REG_DWORD", value_type::kDword},
    {"REG_QWORD", value_type::kQword},
    {"REG_BINARY", value_type::kBinary},
    {"REG_NONE", value_type::kNone},
}};

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> NulTerminated(std::string_view text) {
  std::vector<std::uint8_t> bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number in decimal, or in hex after 0x; nullopt when the text is anything
// else or the number is above `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text,
                                         std::uint64_t max) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t number = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
    if (number > (max - static_cast<unsigned>(digit)) / base) {
      return std::nullopt;
    }
    number = number * base + static_cast<unsigned>(digit);
  }
  return number;
}

std::vector<std::uint8_t> LittleEndian(std::uint64_t number, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) {
    byte = static_cast<std::uint8_t>(number & 0xFF);
    number >>= 8;
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> Binary(std::string_view text,
                                                std::string* error) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2 + 1);
  // An odd count of digits reads as if it had a leading 0.
  int high = text.size() % 2 == 1 ? 0 : -1;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) {
      *error =
          "The option /d must be followed by a valid hexadecimal value: \"" +
          std::string(text) + "\" (hex digits only, two for each byte).";
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> MultiString(std::string_view text,
                                                     std::string_view separator,
                                                     std::string* error) {
  if (text.ends_with(separator)) text.remove_suffix(separator.size());
  std::vector<std::uint8_t> bytes;
  while (!text.empty()) {
    const std::size_t end = text.find(separator);
    const std::string_view item = text.substr(0, end);
    if (item.empty()) {
      *error =
          "The option /d must be followed by a valid string: a REG_MULTI_SZ "
          "cannot hold an empty string (two separators in a row).";
      return std::nullopt;
    }
    bytes.insert(bytes.end(), item.begin(), item.end());
    bytes.push_back(0);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + separator.size());
  }
  bytes.push_back(0);
  return bytes;
}

// The number of bytes of the UTF-8 sequence that `lead` begins, 0 for a byte
// that begins none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The next code point of `text` at `*i`, advancing past it. A byte that does
// not begin a valid sequence becomes U+FFFD, as Windows converts it.
char32_t NextCodePoint(std::string_view text, std::size_t* i) {
  const auto lead = static_cast<unsigned char>(text[*i]);
  const std::size_t length = SequenceLength(lead);
  if (length == 1) {
    ++*i;
    return lead;
  }
  if (length == 0 || *i + length > text.size()) {
    ++*i;
    return 0xFFFD;
  }
  char32_t code_point = lead & (0xFFu >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[*i + k]);
    if ((byte & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    code_point = (code_point << 6) | (byte & 0x3Fu);
  }
  const bool overlong = (length == 3 && code_point < 0x800) ||
                        (length == 4 && code_point < 0x10000);
  if (overlong || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    ++*i;
    return 0xFFFD;
  }
  *i += length;
  return code_point;
}

std::vector<std::uint8_t> Utf16LeTerminated(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  const auto put = [&bytes](char32_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  };
  for (std::size_t i = 0; i < text.size();) {
    const char32_t code_point = NextCodePoint(text, &i);
    if (code_point >= 0x10000) {
      const char32_t offset = code_point - 0x10000;
      put(0xD800 + (offset >> 10));
      put(0xDC00 + (offset & 0x3FF));
    } else {
      put(code_point);
    }
  }
  put(0);
  return bytes;
}

}  // namespace

std::optional<std::uint32_t> ParseAddType(std::string_view name) {
  for (const TypeEntry& entry : kAddTypes) {
    if (registry::EqualsIgnoreCase(name, entry.name)) return entry.type;
  }
  return std::nullopt;
}

bool IsOneCharacter(std::string_view separator) {
  if (separator.empty()) return false;
  std::size_t i = 0;
  const char32_t code_point = NextCodePoint(separator, &i);
  return i == separator.size() &&
         (code_point != 0xFFFD || separator == "\xEF\xBF\xBD");
}

std::optional<std::vector<std::uint8_t>> EncodeData(
    std::uint32_t type, const std::optional<std::string>& data,
    std::string_view separator, std::string* error) {
  const std::string_view text = data ? std::string_view(*data) : "";
  switch (type) {
    case value_type::kSz:
    case value_type::kExpandSz:
      return NulTerminated(text);
    case value_type::kMultiSz:
      return MultiString(text, separator, error);
    case value_type::kDword:
    case value_type::kQword: {
      const bool dword = type == value_type::kDword;
      if (!data) {
        *error = std::string("The option /d is required for ") +
                 (dword ? "REG_DWORD." : "REG_QWORD.");
        return std::nullopt;
      }
      const std::optional<std::uint64_t> number =
          ParseNumber(text, dword ? std::numeric_limits<std::uint32_t>::max()
                                  : std::numeric_limits<std::uint64_t>::max());
      if (!number) {
        *error = "The option /d must be followed by a valid numeric value: \"" +
                 std::string(text) +
                 "\" (a decimal or 0x-hexadecimal number from " + "0 to " +
                 (dword ? "4294967295)." : "18446744073709551615).");
        return std::nullopt;
      }
      return LittleEndian(*number, dword ? 4 : 8);
    }
    case value_type::kBinary:
      return Binary(text, error);
    case value_type::kNone:
      return Utf16LeTerminated(text);
    default:
      *error = "Unsupported registry data type.";
      return std::nullopt;
  }
}

}  // namespace quillprobe::quillreg
