// The five predefined roots, each the top of one tree of keys (one hive of
// the local registry), and their names.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "registry/registry_api.h"
#include "registry/unicode_case.h"

namespace quillprobe::registry {

inline constexpr std::size_t kRootCount = 5;

inline constexpr std::array<HKey, kRootCount> kPredefinedRoots = {
    roots::kClassesRoot, roots::kCurrentUser, roots::kLocalMachine,
    roots::kUsers, roots::kCurrentConfig};

// The long names, as key paths in .reg files begin and hive files are named.
inline constexpr std::array<std::string_view, kRootCount> kRootNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
    "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

// The short names that command-line tools take.
inline constexpr std::array<std::string_view, kRootCount> kRootShortNames = {
    "HKCR", "HKCU", "HKLM", "HKU", "HKCC"};

// The position of a predefined root in kPredefinedRoots; nullopt for any
// other handle.
constexpr std::optional<std::size_t> RootIndex(HKey key) {
  for (std::size_t i = 0; i < kRootCount; ++i) {
    if (kPredefinedRoots[i] == key) return i;
  }
  return std::nullopt;
}

// The position of the root that `name` names, long or short, in any case.
inline std::optional<std::size_t> RootIndexFromName(std::string_view name) {
  for (std::size_t i = 0; i < kRootCount; ++i) {
    if (EqualsIgnoreCase(name, kRootNames[i]) ||
        EqualsIgnoreCase(name, kRootShortNames[i])) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace quillprobe::registry
