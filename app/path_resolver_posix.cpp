#include "app/path_resolver.h"

#include <system_error>

#include "app/windows_path.h"
#include "registry/unicode_case.h"

namespace quillprobe::app {
namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The entry of `directory` called `name`: the exact name when it exists,
// else the first entry in byte order that equals it ignoring case.
std::optional<fs::path> FindEntry(const fs::path& directory,
                                  const std::string& name) {
  fs::path exact = directory / name;
  if (Exists(exact)) return exact;
  std::error_code error;
  std::optional<std::string> best;
  for (fs::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (registry::EqualsIgnoreCase(entry, name) && (!best || entry < *best)) {
      best = std::move(entry);
    }
  }
  if (!best) return std::nullopt;
  return directory / *best;
}

std::optional<fs::path> DriveRoot(char drive, const fs::path& prefix) {
  const std::string name{drive, ':'};
  if (!prefix.empty()) {
    if (auto configured = FindEntry(prefix / "drives", name)) {
      return configured;
    }
  }
  if (drive == 'c' && !prefix.empty()) return prefix / "drive_c";
  if (drive == 'z') return fs::path("/");
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> ResolvePath(std::string_view path,
                                    const fs::path& prefix) {
  const auto parts = ParseWindowsPath(path);
  if (!parts) return std::nullopt;
  std::optional<fs::path> found = parts->root == PathParts::Root::kDrive
                                      ? DriveRoot(parts->drive, prefix)
                                      : fs::path("/");
  for (const std::string& component : parts->components) {
    if (!found) break;
    found = FindEntry(*found, component);
  }
  if (found && !Exists(*found)) return std::nullopt;
  return found;
}

}  // namespace quillprobe::app
