// UTF-16LE, as .reg files of the registry editor hold text: the whole file
// when it starts with the UTF-16LE byte order mark, and the data of string
// values written as hex(1), hex(2) and hex(7).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillprobe::registry {

// The text of a UTF-16LE file body, as UTF-8. An unpaired surrogate, and an
// odd last byte, become U+FFFD.
std::string Utf16LeTextToUtf8(std::string_view bytes);

// The data of a string value (UTF-8, any bytes) in the UTF-16LE form the
// registry stores. A byte that is not part of valid UTF-8 becomes the lone
// low surrogate U+DC00 + byte (0x80 to 0xFF), as a file system name escape
// does, so that every byte string has a form and comes back from
// StringDataFromUtf16Le exactly.
std::vector<std::uint8_t> StringDataToUtf16Le(
    std::span<const std::uint8_t> data);

// The inverse of StringDataToUtf16Le. For data that did not come from it: an
// unpaired surrogate outside U+DC80..U+DCFF becomes U+FFFD, and an odd last
// byte is kept as it is.
std::vector<std::uint8_t> StringDataFromUtf16Le(
    std::span<const std::uint8_t> data);

}  // namespace quillprobe::registry
