#include "tools/quillreg/key_name.h"

#include <algorithm>
#include <array>

#include "registry/key_path.h"
#include "registry/unicode_case.h"

namespace quillprobe::quillreg {
namespace {

struct RootNames {
  std::string_view short_name;
  std::string_view long_name;
  registry::HKey root;
};

constexpr std::array<RootNames, 5> kRoots{{
    {"HKLM", "HKEY_LOCAL_MACHINE", registry::roots::kLocalMachine},
    {"HKCU", "HKEY_CURRENT_USER", registry::roots::kCurrentUser},
    {"HKCR", "HKEY_CLASSES_ROOT", registry::roots::kClassesRoot},
    {"HKU", "HKEY_USERS", registry::roots::kUsers},
    {"HKCC", "HKEY_CURRENT_CONFIG", registry::roots::kCurrentConfig},
}};

}  // namespace

std::string KeyName::Display() const {
  return path.empty() ? root_name : root_name + "\\" + path;
}

std::optional<KeyName> FindRoot(std::string_view name) {
  for (const RootNames& names : kRoots) {
    if (registry::EqualsIgnoreCase(name, names.short_name) ||
        registry::EqualsIgnoreCase(name, names.long_name)) {
      return KeyName{names.root, std::string(names.long_name), {}};
    }
  }
  return std::nullopt;
}

std::optional<KeyName> ParseKeyName(std::string_view text, std::string* error) {
  if (text.starts_with("\\\\")) {
    *error = "Remote registries are not supported: \"" + std::string(text) +
             "\" names a key on another machine.";
    return std::nullopt;
  }
  while (text.ends_with('\\')) text.remove_suffix(1);
  const std::size_t separator = text.find('\\');
  const std::string_view root_text = text.substr(0, separator);
  std::optional<KeyName> key = FindRoot(root_text);
  if (!key) {
    *error = "Invalid key name: \"" + std::string(root_text) +
             "\" is not a root key. The roots are HKLM, HKCU, HKCR, HKU and "
             "HKCC, or their long names (HKEY_LOCAL_MACHINE, ...).";
    return std::nullopt;
  }
  if (separator == std::string_view::npos) return key;
  const std::string_view path = text.substr(separator + 1);
  if (path.find("\\\\") != std::string_view::npos || path.starts_with('\\')) {
    *error = "Invalid key name: \"" + std::string(text) +
             "\" has an empty component (two backslashes in a row).";
    return std::nullopt;
  }
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    if (registry::NameLength(path.substr(start, end - start)) >
        registry::kMaxKeyNameLength) {
      *error = "Invalid key name: \"" +
               std::string(path.substr(start, end - start)) +
               "\" is longer than 255 characters.";
      return std::nullopt;
    }
    start = end + 1;
  }
  key->path = std::string(path);
  return key;
}

}  // namespace quillprobe::quillreg
