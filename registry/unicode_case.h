// Case-insensitive text, the way the system compares every name.
//
// Text is UTF-8. Upper-casing maps each code point by its simple Unicode
// upper-case mapping (one code point to one code point, no locale); bytes
// that are not valid UTF-8 are kept as they are. This one mapping serves
// registry names, value lookups and executable paths alike.
//
// Decoding is strict: no overlong forms, no surrogates, nothing above
// U+10FFFF. A byte that does not begin a valid sequence stands for itself
// alone; for comparison and hashing a byte b of that kind counts as the
// pseudo code point 0x110000 + b, which has no case and orders after every
// real code point. Upper-casing keeps the number of code points (and so the
// invalid bytes where they are), though the byte length may change: U+0131
// becomes "I", U+0250 becomes U+2C6F. Consequently EqualsIgnoreCase(a, b) is
// exactly ToUpper(a) == ToUpper(b).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillprobe::registry {

// The simple upper-case mapping of one code point; itself when it has none.
char32_t ToUpper(char32_t code_point);

// `text` with every code point upper-cased.
std::string ToUpper(std::string_view text);

// True when the two texts are equal after upper-casing.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Orders texts by their upper-cased code points (negative, 0, positive). This
// is the order in which subkeys enumerate.
int CompareIgnoreCase(std::string_view a, std::string_view b);

// The length of `text` in UTF-16 code units, as Windows counts text: two
// for a code point above U+FFFF, one for any other code point and one for
// each byte that is not valid UTF-8 (the replacement character it stands
// for).
std::size_t Utf16Length(std::string_view text);

// Hash of a text that ignores case: texts that EqualsIgnoreCase hash alike.
// Transparent, like the two below, so a container keyed by std::string is
// searched with a std::string_view without building a string.
struct CaseInsensitiveHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept;
};

// Equality for containers keyed by names: EqualsIgnoreCase.
struct CaseInsensitiveEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualsIgnoreCase(a, b);
  }
};

// Strict weak order for ordered containers and sorting: CompareIgnoreCase.
struct CaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return CompareIgnoreCase(a, b) < 0;
  }
};

}  // namespace quillprobe::registry
