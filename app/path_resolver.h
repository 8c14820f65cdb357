// Finds the file that an executable path names, on a system without drive
// letters.
//
// A drive path X:\... starts in <prefix>/drives/x: (usually a symbolic link
// to the drive's directory); without that entry c: is <prefix>/drive_c and
// z: is the POSIX root, and other drives do not exist. A POSIX path starts at
// the root. The program upper-cases the whole path, so a name with no exact
// match in its directory matches an entry that differs only in letter case;
// when several do, the first in byte order wins, so the choice is the same on
// every run. ParseWindowsPath says which forms of path are accepted.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillprobe::app {

// The existing file system entry that `path` names under `prefix` (the
// local prefix), or nullopt when it names none or is of a form that names no
// local file. The entry may be of any kind; callers check.
std::optional<std::filesystem::path> ResolvePath(
    std::string_view path, const std::filesystem::path& prefix);

}  // namespace quillprobe::app
