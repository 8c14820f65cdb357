#include "registry/unicode_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "registry/unicode_case_table.h"

namespace quillprobe::registry {
namespace {

// Where the pseudo code points of invalid bytes begin.
constexpr char32_t kInvalidByteBase = 0x110000;

constexpr unsigned char AsciiUpper(unsigned char byte) {
  return static_cast<unsigned char>(
      static_cast<unsigned>(byte - 'a') < 26u ? byte - ('a' - 'A') : byte);
}

// One decoded unit of text: a code point, or the pseudo code point of an
// invalid byte (length 1).
struct Unit {
  char32_t code_point;
  std::size_t length;
};

constexpr bool InRange(unsigned char byte, unsigned char low,
                       unsigned char high) {
  return byte >= low && byte <= high;
}

// Decodes the unit at text[pos]; pos < text.size(). Reads no byte past the
// end of the text.
Unit DecodeAt(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[pos + i]);
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  const Unit invalid{kInvalidByteBase + lead, 1};
  const std::size_t available = text.size() - pos;

  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t code_point = 0;
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
    code_point = lead & 0x1Fu;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    length = 3;
    code_point = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (InRange(lead, 0xF0, 0xF4)) {
    length = 4;
    code_point = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return invalid;
  }
  if (available < length || !InRange(byte(1), low, high)) return invalid;
  code_point = (code_point << 6) | (byte(1) & 0x3Fu);
  for (std::size_t i = 2; i < length; ++i) {
    if (!InRange(byte(i), 0x80, 0xBF)) return invalid;
    code_point = (code_point << 6) | (byte(i) & 0x3Fu);
  }
  return {code_point, length};
}

void AppendUtf8(char32_t code_point, std::string& out) {
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
      const Unit ua = DecodeAt(a_, i_);
      const Unit ub = DecodeAt(b_, j_);
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
    const Unit unit = DecodeAt(text, pos);
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
    const Unit unit = DecodeAt(text, pos);
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
    const Unit unit = DecodeAt(text, pos);
    add(ToUpper(unit.code_point));
    pos += unit.length;
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDu;
  hash ^= hash >> 33;
  return static_cast<std::size_t>(hash);
}

}  // namespace quillprobe::registry
