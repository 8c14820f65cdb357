#include "registry/local_prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace quillprobe::registry {
namespace {

namespace fs = std::filesystem;

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

fs::path HomeDirectory() {
  if (const char* home = NonEmptyVariable("HOME")) return home;
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested)
                                         : 16384);
  passwd entry{};
  passwd* result = nullptr;
  int error = 0;
  while ((error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(),
                             &result)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error != 0 || result == nullptr || result->pw_dir == nullptr ||
      *result->pw_dir == '\0') {
    return {};
  }
  return result->pw_dir;
}

}  // namespace

fs::path LocalPrefix() {
  if (const char* prefix = NonEmptyVariable("QUILLPROBE_PREFIX")) {
    return prefix;
  }
  // Relative values of the XDG variables are to be ignored.
  if (const char* data_home = NonEmptyVariable("XDG_DATA_HOME");
      data_home != nullptr && *data_home == '/') {
    return fs::path(data_home) / "quillprobe";
  }
  const fs::path home = HomeDirectory();
  if (home.empty()) return {};
  return home / ".local" / "share" / "quillprobe";
}

}  // namespace quillprobe::registry
