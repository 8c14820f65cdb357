#include "app/windows_path.h"

namespace quillprobe::app {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char LowerAsciiLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> Components(std::string_view rest) {
  std::vector<std::string> components;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view name = rest.substr(0, end);
    rest.remove_prefix(end == rest.size() ? end : end + 1);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.emplace_back(name);
  }
  return components;
}

}  // namespace

std::optional<PathParts> ParseWindowsPath(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  PathParts parts;
  if (path[0] == '/') {
    parts.root = PathParts::Root::kPosix;
  } else if (path[0] == '\\') {
    if (path.size() > 1 && IsSeparator(path[1])) return std::nullopt;  // UNC
    parts.root = PathParts::Root::kPosix;
  } else if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' &&
             IsSeparator(path[2])) {
    parts.root = PathParts::Root::kDrive;
    parts.drive = LowerAsciiLetter(path[0]);
    path.remove_prefix(2);
  } else {
    return std::nullopt;
  }
  parts.components = Components(path);
  return parts;
}

}  // namespace quillprobe::app
