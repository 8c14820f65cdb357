#include "app/exe_examination.h"

#include <limits>
#include <optional>
#include <vector>

#include "app/product_table.h"
#include "registry/cregistry.h"

namespace quillprobe::app {
namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::size_t kFixedInfoSize = 52;  // VS_FIXEDFILEINFO

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) |
         static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::size_t AlignTo4(std::size_t offset) {
  return (offset + 3) & ~std::size_t{3};
}

// Where the fixed part would start after a key of `char_size`-byte characters
// that begins at `key_offset`; nullopt when the key has no terminator.
std::optional<std::size_t> FixedInfoOffset(std::span<const std::uint8_t> block,
                                           std::size_t key_offset,
                                           std::size_t char_size) {
  for (std::size_t at = key_offset; at + char_size <= block.size();
       at += char_size) {
    const bool terminator =
        char_size == 1 ? block[at] == 0 : ReadU16(block, at) == 0;
    if (terminator) return AlignTo4(at + char_size);
  }
  return std::nullopt;
}

// The number's decimal digits, zero-padded on the left, the last `width` kept.
std::string Field(std::uint16_t number, std::size_t width) {
  const std::string text = std::string(width, '0') + std::to_string(number);
  return text.substr(text.size() - width);
}

}  // namespace

std::string GetExePath(std::string_view key_path, std::int32_t product_number,
                       registry::RegistryApi& registry,
                       registry::MessageBoxSink& message_box,
                       AppPlatform& platform) {
  registry::CRegistry record(registry, message_box);
  record.AutoCreate(true);
  record.root(registry::kHkeyLocalMachine);
  record.key(key_path);

  std::string path;
  if (const auto product = FindProduct(product_number)) {
    const std::string directory = record.GetValue("EXE Path", "");
    if (!directory.empty())
      path = directory + std::string(product->executable_name);
  }
  return platform.ToUpper(path);
}

std::int32_t GetExeSize(std::string_view path, AppPlatform& platform) {
  const auto length = platform.FileLength(path);
  if (!length) return 0;
  constexpr auto kMax =
      static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(*length > kMax ? kMax : *length);
}

std::string GetExeVersion(std::string_view path, AppPlatform& platform) {
  std::uint32_t handle = 0;
  const std::uint32_t size = platform.GetFileVersionInfoSize(path, &handle);
  if (size == 0) return {};
  std::vector<std::uint8_t> block(size, 0x20);
  if (!platform.GetFileVersionInfo(path, handle, block)) return {};
  return VersionStringFromBlock(block);
}

std::string VersionStringFromBlock(std::span<const std::uint8_t> block) {
  // The wide layout: two lengths, a type word, the key in UTF-16. The
  // one-byte layout: two lengths, the key in bytes. Either way the fixed part
  // follows the key's terminator, aligned to 4 bytes.
  const std::optional<std::size_t> candidates[] = {
      FixedInfoOffset(block, 6, 2), FixedInfoOffset(block, 4, 1)};
  for (const auto& offset : candidates) {
    if (!offset || *offset > block.size() ||
        block.size() - *offset < kFixedInfoSize) {
      continue;
    }
    if (ReadU32(block, *offset) != kFixedInfoSignature) continue;
    return FormatVersionString(ReadU32(block, *offset + 8),
                               ReadU32(block, *offset + 12));
  }
  return {};
}

std::string FormatVersionString(std::uint32_t file_version_ms,
                                std::uint32_t file_version_ls) {
  return Field(HiWord(file_version_ms), 3) + "." +
         Field(LoWord(file_version_ms), 4) + "." +
         Field(HiWord(file_version_ls), 4) + "." +
         Field(LoWord(file_version_ls), 4);
}

}  // namespace quillprobe::app
