// Executables and version blocks made to order for tests.
//
// BuildPeImage writes a small but valid PE32 or PE32+ image: a DOS header, the
// PE headers, a one-byte .text section and, when the image has resources, a
// .rsrc section holding the resource tree. Tests that corrupt an image find
// its structures through the offsets that PeImage reports; the resource tree
// is laid out in a fixed order (see PeImage) so that a test can walk it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace quillprobe::test {

enum class PeKind { kPe32, kPe32Plus };

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kRtVersion = 16;
inline constexpr std::uint16_t kRtManifest = 24;

// One resource, addressed by numeric type, name and language.
struct PeResource {
  std::uint16_t type = kRtVersion;
  std::uint16_t name = 1;
  std::uint16_t language = 0x0409;
  std::vector<std::uint8_t> data;
};

struct PeImage {
  std::vector<std::uint8_t> bytes;
  // File offsets of the structures that tests corrupt.
  std::size_t coff_header = 0;         // Machine, NumberOfSections, ...
  std::size_t optional_header = 0;     // starts with the magic
  std::size_t resource_directory = 0;  // data directory 2: RVA, size
  std::size_t section_table = 0;
  // The root of the resource tree, 0 when the image has no resources. The
  // tree follows in this order: the root directory, then for each type its
  // name directory, then for each name its language directory (types, names
  // and languages ascending), then the data entries, then the data, each
  // piece 8-byte aligned.
  std::size_t resource_root = 0;
};

// A PE image of `kind` holding `resources` (none: no .rsrc section and an
// empty resource data directory).
PeImage BuildPeImage(PeKind kind, const std::vector<PeResource>& resources);

// A PE image whose only resource is the version block `block`.
PeImage BuildPeImageWithVersion(PeKind kind,
                                std::span<const std::uint8_t> block);

// The numbers of a VS_FIXEDFILEINFO.
struct FileVersion {
  std::uint32_t file_ms = 0;
  std::uint32_t file_ls = 0;
  std::uint32_t product_ms = 0;
  std::uint32_t product_ls = 0;
};

// A VS_VERSIONINFO in the layout of PE resources: wLength, wValueLength,
// wType, the key as UTF-16 "VS_VERSION_INFO" with its NUL, padding to 4
// bytes, then VS_FIXEDFILEINFO at offset 40 (92 bytes in all).
std::vector<std::uint8_t> WideVersionBlock(const FileVersion& version);

// A VS_VERSIONINFO in the one-byte layout of 16-bit executables: wLength,
// wValueLength, the key "VS_VERSION_INFO" with its NUL as bytes, then
// VS_FIXEDFILEINFO at offset 20 (72 bytes in all).
std::vector<std::uint8_t> OneByteVersionBlock(const FileVersion& version);

// Little-endian field access for tests that read or corrupt images.
std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at);
void PutU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value);
void PutU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);

// Writes `bytes` to `path`, replacing the file. Throws std::runtime_error on
// failure.
void WriteBinaryFile(const std::filesystem::path& path,
                     std::span<const std::uint8_t> bytes);

}  // namespace quillprobe::test
