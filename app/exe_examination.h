// The steps of a run that find and examine the product's executable.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/app_platform.h"
#include "registry/message_box.h"
#include "registry/registry_api.h"

namespace quillprobe::app {

// The upper-cased path of the product's executable: the record's "EXE Path"
// followed directly by the product's file name; empty text when the record
// holds no install directory or the number has no product. Binds a CRegistry
// to HKEY_LOCAL_MACHINE\<key_path>, creating the key when it is missing;
// the error of a failed binding (RaisedError) passes to the caller.
std::string GetExePath(std::string_view key_path, std::int32_t product_number,
                       registry::RegistryApi& registry,
                       registry::MessageBoxSink& message_box,
                       AppPlatform& platform);

// The file's length in bytes; 0 when it cannot be obtained. A file of 2 GiB
// or more gives 2^31 - 1.
std::int32_t GetExeSize(std::string_view path, AppPlatform& platform);

// The file version as MMM.mmmm.bbbb.rrrr, or empty text when the file has no
// usable version information.
std::string GetExeVersion(std::string_view path, AppPlatform& platform);

// The version string read from a version information block, in either the
// wide or the one-byte layout; empty text when the block holds no fixed part
// with the 0xFEEF04BD signature.
std::string VersionStringFromBlock(std::span<const std::uint8_t> block);

// The version string of the file version words MS and LS. Fields keep their
// last digits when a number is wider than its field.
std::string FormatVersionString(std::uint32_t file_version_ms,
                                std::uint32_t file_version_ls);

// Bits 16 to 31 and bits 0 to 15 of a 32-bit word.
constexpr std::uint16_t HiWord(std::uint32_t value) {
  return static_cast<std::uint16_t>(value >> 16);
}
constexpr std::uint16_t LoWord(std::uint32_t value) {
  return static_cast<std::uint16_t>(value & 0xFFFFu);
}

}  // namespace quillprobe::app
