// Key names as users type them: a root by its short or long name (HKLM,
// HKEY_LOCAL_MACHINE, ...; any case), then a backslash-separated path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "registry/registry_api.h"

namespace quillprobe::quillreg {

struct KeyName {
  registry::HKey root = registry::kNoKey;
  std::string root_name;  // the long name: HKEY_LOCAL_MACHINE
  std::string path;       // relative to the root, empty for the root itself

  // The name as reg.exe shows it: the root's long name and the path as the
  // user typed it.
  std::string Display() const;
  bool IsRoot() const { return path.empty(); }
};

// The root that `name` (short or long, any case) stands for.
std::optional<KeyName> FindRoot(std::string_view name);

// Reads a key name. Trailing backslashes are dropped; an unknown root, an
// empty component inside the path, a component longer than 255 characters or
// a remote name (\\machine\...) is no key name: nullopt, with the reason in
// *error.
std::optional<KeyName> ParseKeyName(std::string_view text, std::string* error);

}  // namespace quillprobe::quillreg
