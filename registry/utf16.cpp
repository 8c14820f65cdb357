#include "registry/utf16.h"

#include "registry/utf8.h"

namespace quillprobe::registry {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// Decodes UTF-16LE code units from `bytes`, two at a time, and hands each
// code point, or each unpaired surrogate, to `emit`; an odd last byte goes
// to `odd_byte`.
template <typename Emit, typename OddByte>
void DecodeUtf16Le(std::span<const std::uint8_t> bytes, Emit emit,
                   OddByte odd_byte) {
  const std::size_t units = bytes.size() / 2;
  const auto unit_at = [&](std::size_t i) {
    return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  };
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t unit = unit_at(i);
    if (IsHighSurrogate(unit) && i + 1 < units &&
        IsLowSurrogate(unit_at(i + 1))) {
      emit(0x10000 + ((unit - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00));
      ++i;
    } else {
      emit(unit);
    }
  }
  if (bytes.size() % 2 != 0) odd_byte(bytes.back());
}

void AppendUtf16Le(char32_t code_point, std::vector<std::uint8_t>& out) {
  const auto put = [&](char32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  };
  if (code_point < 0x10000) {
    put(code_point);
  } else {
    const char32_t offset = code_point - 0x10000;
    put(0xD800 + (offset >> 10));
    put(0xDC00 + (offset & 0x3FF));
  }
}

}  // namespace

std::string Utf16LeTextToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() / 2);
  DecodeUtf16Le(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                bytes.size()),
      [&](char32_t code_point) {
        AppendUtf8(IsHighSurrogate(code_point) || IsLowSurrogate(code_point)
                       ? kReplacement
                       : code_point,
                   text);
      },
      [&](std::uint8_t) { AppendUtf8(kReplacement, text); });
  return text;
}

std::vector<std::uint8_t> StringDataToUtf16Le(
    std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()),
                              data.size());
  std::vector<std::uint8_t> out;
  out.reserve(2 * data.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Unit unit = DecodeUtf8At(text, pos);
    AppendUtf16Le(unit.code_point >= kInvalidByteBase
                      ? 0xDC00 + (unit.code_point - kInvalidByteBase)
                      : unit.code_point,
                  out);
    pos += unit.length;
  }
  return out;
}

std::vector<std::uint8_t> StringDataFromUtf16Le(
    std::span<const std::uint8_t> data) {
  std::string text;
  text.reserve(data.size() / 2);
  DecodeUtf16Le(
      data,
      [&](char32_t code_point) {
        if (code_point >= 0xDC80 && code_point <= 0xDCFF) {
          text.push_back(static_cast<char>(code_point - 0xDC00));
        } else if (IsHighSurrogate(code_point) || IsLowSurrogate(code_point)) {
          AppendUtf8(kReplacement, text);
        } else {
          AppendUtf8(code_point, text);
        }
      },
      [&](std::uint8_t byte) { text.push_back(static_cast<char>(byte)); });
  return {text.begin(), text.end()};
}

}  // namespace quillprobe::registry
