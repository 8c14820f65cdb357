// Case-insensitive text, the way the system compares every name.
//
// Text is UTF-8. Upper-casing maps each code point by its simple Unicode
// upper-case mapping (one code point to one code point, no locale); bytes
// that are not valid UTF-8 are kept as they are. This one mapping serves
// registry names, value lookups and executable paths alike.
#pragma once

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

}  // namespace quillprobe::registry
