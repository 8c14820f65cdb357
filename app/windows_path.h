// The text of a path as the program forms it, taken apart.
//
// Executable paths come from product records written for Windows: a drive
// path such as C:\Apps\Tarnwick\TARN.EXE. Elsewhere a record may also hold a
// POSIX path. This is the pure text part of finding such a file; the lookup
// in a file system is the platform's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillprobe::app {

struct PathParts {
  enum class Root {
    kDrive,  // X:\..., starts at the drive's root
    kPosix,  // /..., starts at the POSIX root
  };
  Root root = Root::kPosix;
  char drive = 0;  // the lower-case drive letter, for kDrive
  // The names below the root, in order. Empty names and "." are dropped and
  // ".." removes the name before it (never going above the root), as Windows
  // normalises a full path before it opens it.
  std::vector<std::string> components;
};

// Takes `path` apart. Both '\' and '/' separate names.
//
// - "X:\..." or "X:/..." (letter in either case): a drive path.
// - "/...": a POSIX path; so is "\..." with a single leading backslash, the
//   root of the current drive on Windows, which has no meaning here but the
//   POSIX root.
// - nullopt for every other form: relative paths ("Apps\tarn.exe",
//   ".\tarn.exe"), drive-relative paths ("C:", "C:tarn.exe"), UNC and device
//   paths ("\\server\share\...", "\\?\C:\...", "\\.\..."), the empty text
//   and text with a NUL character. A relative path would depend on the
//   directory the program was started in; the others name no local file.
std::optional<PathParts> ParseWindowsPath(std::string_view path);

}  // namespace quillprobe::app
