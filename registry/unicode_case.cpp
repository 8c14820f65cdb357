#include "registry/unicode_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "registry/unicode_case_table.h"
#include "registry/utf8.h"

namespace quillprobe::registry {
namespace {

constexpr unsigned char AsciiUpper(unsigned char byte) {
  return static_cast<unsigned char>(
      static_cast<unsigned>(byte - 'a') < 26u ? byte - ('a' - 'A') : byte);
}

// Steps through two texts unit by unit, upper-cased, until they differ or
// one ends. ASCII pairs, the common case for names, never reach the decoder
// or the table.
class UpperCursor {
 public:
  UpperCursor(std::string_view a, std::string_view b) : a_(a), b_(b) {}

  // Advances past the common upper-cased prefix. Afterwards either a text
  // has ended or upper_a() != upper_b().
  void SkipEqualPrefix() {
    while (i_ < a_.size() && j_ < b_.size()) {
      const auto x = static_cast<unsigned char>(a_[i_]);
      const auto y = static_cast<unsigned char>(b_[j_]);
      if ((x | y) < 0x80) {
        upper_a_ = AsciiUpper(x);
        upper_b_ = AsciiUpper(y);
        if (upper_a_ != upper_b_) return;
        ++i_;
        ++j_;
        continue;
      }
      const Utf8Unit ua = DecodeUtf8At(a_, i_);
      const Utf8Unit ub = DecodeUtf8At(b_, j_);
      upper_a_ = ToUpper(ua.code_point);
      upper_b_ = ToUpper(ub.code_point);
      if (upper_a_ != upper_b_) return;
      i_ += ua.length;
      j_ += ub.length;
    }
  }

  bool a_ended() const { return i_ == a_.size(); }
  bool b_ended() const { return j_ == b_.size(); }
  char32_t upper_a() const { return upper_a_; }
  char32_t upper_b() const { return upper_b_; }

 private:
  std::string_view a_;
  std::string_view b_;
  std::size_t i_ = 0;
  std::size_t j_ = 0;
  char32_t upper_a_ = 0;
  char32_t upper_b_ = 0;
};

}  // namespace

char32_t ToUpper(char32_t code_point) {
  if (code_point < 0x80) {
    return code_point - U'a' < 26u ? code_point - (U'a' - U'A') : code_point;
  }
  using unicode_case::kUpperRanges;
  const auto* const end = std::end(kUpperRanges);
  // The first range that starts after the code point; the one before it is
  // the only candidate.
  const auto* const after =
      std::upper_bound(std::begin(kUpperRanges), end, code_point,
                       [](char32_t cp, const unicode_case::UpperRange& range) {
                         return cp < range.first;
                       });
  if (after == std::begin(kUpperRanges)) return code_point;
  const unicode_case::UpperRange& range = *(after - 1);
  if (code_point > range.last || (code_point - range.first) % range.stride) {
    return code_point;
  }
  return static_cast<char32_t>(static_cast<std::int64_t>(code_point) +
                               range.delta);
}

std::string ToUpper(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      out.push_back(static_cast<char>(AsciiUpper(byte)));
      ++pos;
      continue;
    }
    const Utf8Unit unit = DecodeUtf8At(text, pos);
    if (unit.code_point >= kInvalidByteBase) {
      out.push_back(text[pos]);
    } else {
      AppendUtf8(ToUpper(unit.code_point), out);
    }
    pos += unit.length;
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  UpperCursor cursor(a, b);
  cursor.SkipEqualPrefix();
  return cursor.a_ended() && cursor.b_ended();
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
  UpperCursor cursor(a, b);
  cursor.SkipEqualPrefix();
  if (cursor.a_ended()) return cursor.b_ended() ? 0 : -1;
  if (cursor.b_ended()) return 1;
  return cursor.upper_a() < cursor.upper_b() ? -1 : 1;
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Utf8Unit unit = DecodeUtf8At(text, pos);
    units += unit.code_point >= 0x10000 && unit.code_point < kInvalidByteBase
                 ? 2
                 : 1;
    pos += unit.length;
  }
  return units;
}

std::size_t CaseInsensitiveHash::operator()(
    std::string_view text) const noexcept {
  // FNV-1a over the upper-cased units, then a final mix so that every bit of
  // a unit reaches the low bits that pick a bucket.
  std::uint64_t hash = 0xCBF29CE484222325u;
  const auto add = [&](char32_t unit) {
    hash = (hash ^ unit) * 0x100000001B3u;
  };
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      add(AsciiUpper(byte));
      ++pos;
      continue;
    }
    const Utf8Unit unit = DecodeUtf8At(text, pos);
    add(ToUpper(unit.code_point));
    pos += unit.length;
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDu;
  hash ^= hash >> 33;
  return static_cast<std::size_t>(hash);
}

}  // namespace quillprobe::registry
