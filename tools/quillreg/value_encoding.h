// The data of `add`: the type named by /t and the text of /d turned into the
// bytes the registry stores, as reg.exe turns them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillprobe::quillreg {

// The types `add` writes: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
// REG_QWORD, REG_BINARY and REG_NONE, named in any case.
std::optional<std::uint32_t> ParseAddType(std::string_view name);

// The list separator of REG_MULTI_SZ data when /s gives none: the two
// characters \0.
inline constexpr std::string_view kDefaultSeparator = "\\0";

// The bytes to store for `data` (nullopt when /d was not given):
//   REG_SZ, REG_EXPAND_SZ   the text and its NUL (no /d: empty text)
//   REG_MULTI_SZ            the strings between separators, each with its
//                           NUL, and the NUL that ends the list; one
//                           separator may end the text, but no string may
//                           be empty (no /d: the empty list)
//   REG_DWORD, REG_QWORD    a decimal or 0x-hexadecimal number that fits,
//                           little-endian; /d is required
//   REG_BINARY              hex digits, two to a byte; an odd count gets a
//                           leading 0 (no /d: no bytes)
//   REG_NONE                the text in UTF-16LE with its NUL, as reg.exe
//                           stores it (no /d: the NUL alone)
// Data that does not fit its type gives nullopt with the reason in *error.
std::optional<std::vector<std::uint8_t>> EncodeData(
    std::uint32_t type, const std::optional<std::string>& data,
    std::string_view separator, std::string* error);

// True when `separator` is one character (one UTF-8 code point).
bool IsOneCharacter(std::string_view separator);

}  // namespace quillprobe::quillreg
