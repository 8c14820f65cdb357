#include "registry/key_path.h"

namespace quillprobe::registry {

std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::size_t NameLength(std::string_view name) {
  // Every byte that does not continue a sequence starts a character; a
  // complete four-byte sequence (a code point above U+FFFF) is a surrogate
  // pair. Stray continuation bytes count as characters of their own.
  std::size_t length = 0;
  std::size_t pending_continuations = 0;
  bool above_bmp = false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xC0 && pending_continuations > 0) {
      if (--pending_continuations == 0 && above_bmp) ++length;
      continue;
    }
    ++length;
    pending_continuations = 0;
    above_bmp = false;
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_continuations = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_continuations = 2;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_continuations = 3;
      above_bmp = true;
    }
  }
  return length;
}

Status SplitKeyPath(std::string_view path,
                    std::vector<std::string_view>& components) {
  components.clear();
  if (!path.empty() && path.front() == '\\') return status::kBadPathname;
  while (!path.empty()) {
    const std::size_t end = path.find('\\');
    const std::string_view component = path.substr(0, end);
    if (!component.empty()) {
      if (NameLength(component) > kMaxKeyNameLength) {
        components.clear();
        return status::kInvalidParameter;
      }
      components.push_back(component);
    }
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return status::kSuccess;
}

}  // namespace quillprobe::registry
