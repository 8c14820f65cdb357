#include "app/numeric_reading.h"

#include <charconv>
#include <cmath>
#include <string>

namespace quillprobe::app {
namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// The text with the skipped characters removed.
std::string Compact(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!IsSkipped(c)) out.push_back(c);
  }
  return out;
}

int DigitValue(char c, int radix) {
  int v = -1;
  if (IsDigit(c)) {
    v = c - '0';
  } else if (Upper(c) >= 'A' && Upper(c) <= 'F') {
    v = Upper(c) - 'A' + 10;
  }
  return v < radix ? v : -1;
}

std::optional<double> ReadRadix(std::string_view digits, int radix) {
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int d = DigitValue(c, radix);
    if (d < 0) break;
    const auto r = static_cast<std::uint64_t>(radix);
    if (value > (UINT64_MAX - static_cast<std::uint64_t>(d)) / r) {
      return std::nullopt;
    }
    value = value * r + static_cast<std::uint64_t>(d);
  }
  return static_cast<double>(value);
}

}  // namespace

std::optional<double> ReadNumber(std::string_view text) {
  const std::string s = Compact(text);
  if (s.size() >= 2 && s[0] == '&') {
    if (Upper(s[1]) == 'H') return ReadRadix(std::string_view(s).substr(2), 16);
    if (Upper(s[1]) == 'O') return ReadRadix(std::string_view(s).substr(2), 8);
    return 0.0;
  }

  // Rewrite the longest decimal number at the start in the form from_chars
  // reads: [-]digits[.digits][e[-]digits].
  std::string number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') number.push_back('-');
    ++i;
  }
  bool any_digit = false;
  bool period = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      number.push_back(s[i]);
      any_digit = true;
    } else if (s[i] == '.' && !period) {
      number.push_back('.');
      period = true;
    } else {
      break;
    }
  }
  if (!any_digit) return 0.0;
  if (i < s.size() && (Upper(s[i]) == 'E' || Upper(s[i]) == 'D')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      if (s[j] == '-') exponent.push_back('-');
      ++j;
    }
    const std::size_t first_digit = j;
    while (j < s.size() && IsDigit(s[j])) exponent.push_back(s[j++]);
    if (j > first_digit) number += exponent;
  }

  double value = 0;
  const char* begin = number.data();
  const char* end = number.data() + number.size();
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large is a failure.
    const bool tiny = number.find("e-") != std::string::npos;
    if (tiny) return 0.0;
    return std::nullopt;
  }
  if (ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

std::optional<std::int32_t> RoundToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double rounded = std::floor(value);
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) {
    rounded += 1.0;
  }
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace quillprobe::app
