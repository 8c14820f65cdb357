// The calls of the program that leave the process: the argument text, a
// file's length, the file's version information and upper-casing.
//
// One implementation per platform, chosen at build time: the Windows calls on
// Windows; elsewhere our own, which reads the version resource out of the PE
// image and resolves drive paths through the local prefix. Tests substitute
// their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillprobe::app {

class AppPlatform {
 public:
  virtual ~AppPlatform() = default;

  // The text of the command line that follows the program's own name.
  virtual std::string ArgumentText() = 0;

  // The length in bytes of the file at `path`; nullopt when it cannot be
  // obtained (no such file, a malformed path, no access, not a file).
  virtual std::optional<std::uint64_t> FileLength(std::string_view path) = 0;

  // The size in bytes of the file's version information block, 0 when the
  // file has none or cannot be read. *handle is only handed on to
  // GetFileVersionInfo.
  virtual std::uint32_t GetFileVersionInfoSize(std::string_view path,
                                               std::uint32_t* handle) = 0;

  // Fills `block` (of the size GetFileVersionInfoSize reported) with the
  // version information block. False on failure.
  virtual bool GetFileVersionInfo(std::string_view path, std::uint32_t handle,
                                  std::span<std::uint8_t> block) = 0;

  // `text` in upper case.
  virtual std::string ToUpper(std::string_view text) = 0;
};

// The platform's implementation. `argc`/`argv` are main's; the Windows
// implementation reads the process command line instead.
std::unique_ptr<AppPlatform> MakePlatformApp(int argc, char** argv);

}  // namespace quillprobe::app
