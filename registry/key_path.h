// Key paths and names as the registry reads them from its callers.
//
// A name argument is a C string on Windows: whatever follows a NUL is not part
// of it. Name limits count characters the way Windows stores names, in UTF-16
// code units; text is UTF-8, and a byte that is not valid UTF-8 counts as one
// character (it becomes one replacement character on Windows).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "registry/registry_api.h"

namespace quillprobe::registry {

// `text` up to its first NUL, or all of it when it has none.
std::string_view UpToNul(std::string_view text);

// The length of `name` in UTF-16 code units.
std::size_t NameLength(std::string_view name);

// Splits a backslash-separated key path (already cut at its NUL) into its
// components, replacing the contents of `components`. Empty components, from
// doubled or trailing backslashes, are skipped, so "a\\\\b\\" names a\b; an
// empty path has no components and names the key it is relative to.
// 161 (kBadPathname) when the path begins with a backslash; 87
// (kInvalidParameter) when a component is longer than kMaxKeyNameLength.
Status SplitKeyPath(std::string_view path,
                    std::vector<std::string_view>& components);

}  // namespace quillprobe::registry
