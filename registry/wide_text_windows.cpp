#include "registry/wide_text_windows.h"

#include <windows.h>

#include <climits>

namespace quillprobe::registry {

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (wide_length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(),
                      wide_length);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int utf8_length = WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                              nullptr, 0, nullptr, nullptr);
  if (utf8_length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(utf8_length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), utf8_length,
                      nullptr, nullptr);
  return utf8;
}

std::string_view UpToFirstNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

}  // namespace quillprobe::registry
