// UTF-8 decoding and encoding, shared by the case mapping and the .reg codec.
//
// Decoding is strict: no overlong forms, no surrogates, nothing above
// U+10FFFF. A byte that does not begin a valid sequence stands for itself
// alone, as the pseudo code point kInvalidByteBase + byte, so that every text
// decodes into units whatever its bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillprobe::registry {

// Where the pseudo code points of invalid bytes begin.
inline constexpr char32_t kInvalidByteBase = 0x110000;

// One decoded unit of text: a code point (length 1 to 4), or the pseudo code
// point of an invalid byte (length 1).
struct Utf8Unit {
  char32_t code_point;
  std::size_t length;
};

// Decodes the unit at text[pos]; pos < text.size(). Reads no byte past the
// end of the text.
inline Utf8Unit DecodeUtf8At(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[pos + i]);
  };
  const auto in_range = [](unsigned char b, unsigned char low,
                           unsigned char high) {
    return b >= low && b <= high;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  const Utf8Unit invalid{kInvalidByteBase + lead, 1};
  const std::size_t available = text.size() - pos;

  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t code_point = 0;
  if (in_range(lead, 0xC2, 0xDF)) {
    length = 2;
    code_point = lead & 0x1Fu;
  } else if (in_range(lead, 0xE0, 0xEF)) {
    length = 3;
    code_point = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (in_range(lead, 0xF0, 0xF4)) {
    length = 4;
    code_point = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return invalid;
  }
  if (available < length || !in_range(byte(1), low, high)) return invalid;
  code_point = (code_point << 6) | (byte(1) & 0x3Fu);
  for (std::size_t i = 2; i < length; ++i) {
    if (!in_range(byte(i), 0x80, 0xBF)) return invalid;
    code_point = (code_point << 6) | (byte(i) & 0x3Fu);
  }
  return {code_point, length};
}

// Appends the UTF-8 form of a code point (below 0x110000) to `out`.
inline void AppendUtf8(char32_t code_point, std::string& out) {
  const auto put = [&](char32_t bits) {
    out.push_back(static_cast<char>(bits));
  };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

}  // namespace quillprobe::registry
