// How the program reads its argument as a number.
//
// The reading is lenient: blanks, tabs and line feeds anywhere are skipped;
// a number is an optional sign, decimal digits with at most one period and an
// optional exponent (E or D, an optional sign, digits), or &H and hexadecimal
// digits, or &O and octal digits. Reading stops at the first character that
// cannot continue the number; a text that does not begin with one reads as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillprobe::app {

// The number at the start of `text`; nullopt when it does not fit a double
// (or, for &H and &O, 64 bits).
std::optional<double> ReadNumber(std::string_view text);

// `value` rounded to the nearest integer, exact halves to the even neighbour;
// nullopt when the result is outside the 32-bit signed range.
std::optional<std::int32_t> RoundToInt32(double value);

}  // namespace quillprobe::app
