#include "tests/support/pe_builder.h"

#include <fstream>
#include <map>
#include <stdexcept>
#include <string_view>

namespace quillprobe::test {
namespace {

constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSizeOfHeaders = 0x200;
constexpr std::uint32_t kTextRva = 0x1000;
constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::uint32_t kDirectoryEntryCount = 16;

std::uint32_t AlignUp(std::size_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((value + alignment - 1) / alignment *
                                    alignment);
}

void PutU64(std::span<std::uint8_t> bytes, std::size_t at,
            std::uint64_t value) {
  PutU32(bytes, at, static_cast<std::uint32_t>(value));
  PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void PutText(std::span<std::uint8_t> bytes, std::size_t at,
             std::string_view text) {
  for (const char c : text) bytes[at++] = static_cast<std::uint8_t>(c);
}

// languages by name by type, each leading to the resource's data.
using ResourceTree = std::map<
    std::uint16_t,
    std::map<std::uint16_t, std::map<std::uint16_t, const PeResource*>>>;

// The .rsrc section's contents for `tree`, with RVAs relative to
// kResourceRva.
std::vector<std::uint8_t> LayOutResources(const ResourceTree& tree) {
  auto directory_size = [](std::size_t entries) {
    return AlignUp(16 + 8 * entries, 8);
  };
  // First pass: where every piece goes.
  std::size_t size = directory_size(tree.size());
  std::size_t leaves = 0;
  for (const auto& [type, names] : tree) size += directory_size(names.size());
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      size += directory_size(languages.size());
      leaves += languages.size();
    }
  }
  const std::size_t data_entries = size;
  std::size_t data = data_entries + 16 * leaves;
  size = data;
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      for (const auto& [language, resource] : languages) {
        size += AlignUp(resource->data.size(), 8);
      }
    }
  }

  // Second pass: write it.
  std::vector<std::uint8_t> out(size);
  auto put_directory = [&out](std::size_t at, std::size_t entries) {
    PutU16(out, at + 14, static_cast<std::uint16_t>(entries));  // id entries
    return at + 16;
  };
  std::size_t next_directory = directory_size(tree.size());
  std::size_t type_entry = put_directory(0, tree.size());
  // Name directories come before all language directories.
  std::size_t language_directories = next_directory;
  for (const auto& [type, names] : tree) {
    language_directories += directory_size(names.size());
  }
  std::size_t next_data_entry = data_entries;
  for (const auto& [type, names] : tree) {
    PutU32(out, type_entry, type);
    PutU32(out, type_entry + 4,
           0x80000000u | static_cast<std::uint32_t>(next_directory));
    type_entry += 8;
    std::size_t name_entry = put_directory(next_directory, names.size());
    next_directory += directory_size(names.size());
    for (const auto& [name, languages] : names) {
      PutU32(out, name_entry, name);
      PutU32(out, name_entry + 4,
             0x80000000u | static_cast<std::uint32_t>(language_directories));
      name_entry += 8;
      std::size_t language_entry =
          put_directory(language_directories, languages.size());
      language_directories += directory_size(languages.size());
      for (const auto& [language, resource] : languages) {
        PutU32(out, language_entry, language);
        PutU32(out, language_entry + 4,
               static_cast<std::uint32_t>(next_data_entry));
        language_entry += 8;
        PutU32(out, next_data_entry,
               kResourceRva + static_cast<std::uint32_t>(data));
        PutU32(out, next_data_entry + 4,
               static_cast<std::uint32_t>(resource->data.size()));
        next_data_entry += 16;
        std::copy(resource->data.begin(), resource->data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(data));
        data += AlignUp(resource->data.size(), 8);
      }
    }
  }
  return out;
}

struct SectionSpec {
  std::string_view name;
  std::uint32_t rva;
  std::uint32_t virtual_size;
  std::uint32_t file_offset;
  std::uint32_t characteristics;
};

void PutSection(std::span<std::uint8_t> bytes, std::size_t at,
                const SectionSpec& section) {
  PutText(bytes, at, section.name);
  PutU32(bytes, at + 8, section.virtual_size);
  PutU32(bytes, at + 12, section.rva);
  PutU32(bytes, at + 16, AlignUp(section.virtual_size, kFileAlignment));
  PutU32(bytes, at + 20, section.file_offset);
  PutU32(bytes, at + 36, section.characteristics);
}

}  // namespace

PeImage BuildPeImage(PeKind kind, const std::vector<PeResource>& resources) {
  const bool plus = kind == PeKind::kPe32Plus;
  ResourceTree tree;
  for (const PeResource& r : resources) {
    tree[r.type][r.name][r.language] = &r;
  }
  const std::vector<std::uint8_t> rsrc =
      tree.empty() ? std::vector<std::uint8_t>() : LayOutResources(tree);

  PeImage image;
  image.coff_header = kPeOffset + 4;
  image.optional_header = image.coff_header + kCoffSize;
  const std::size_t optional_size =
      (plus ? 112 : 96) + 8 * kDirectoryEntryCount;
  image.resource_directory = image.optional_header + (plus ? 112 : 96) + 16;
  image.section_table = image.optional_header + optional_size;

  std::vector<SectionSpec> sections = {
      {".text", kTextRva, 1, kSizeOfHeaders, 0x60000020u}};
  const std::uint32_t text_raw = kFileAlignment;
  if (!rsrc.empty()) {
    image.resource_root = kSizeOfHeaders + text_raw;
    sections.push_back(
        {".rsrc", kResourceRva, static_cast<std::uint32_t>(rsrc.size()),
         static_cast<std::uint32_t>(image.resource_root), 0x40000040u});
  }
  const std::uint32_t rsrc_raw = AlignUp(rsrc.size(), kFileAlignment);
  auto& bytes = image.bytes;
  bytes.assign(kSizeOfHeaders + text_raw + rsrc_raw, 0);

  PutText(bytes, 0, "MZ");
  PutU32(bytes, 0x3C, kPeOffset);
  PutText(bytes, kPeOffset, std::string_view("PE\0\0", 4));

  const std::size_t coff = image.coff_header;
  PutU16(bytes, coff, plus ? 0x8664 : 0x014C);  // x86-64 / i386
  PutU16(bytes, coff + 2, static_cast<std::uint16_t>(sections.size()));
  PutU16(bytes, coff + 16, static_cast<std::uint16_t>(optional_size));
  // Executable, relocations stripped; 32-bit machine or large-address aware.
  PutU16(bytes, coff + 18, plus ? 0x0023 : 0x0103);

  const std::size_t opt = image.optional_header;
  const std::uint32_t image_end =
      rsrc.empty() ? kTextRva + 1
                   : kResourceRva + static_cast<std::uint32_t>(rsrc.size());
  PutU16(bytes, opt, plus ? 0x20B : 0x10B);
  bytes[opt + 2] = 14;                // linker version
  PutU32(bytes, opt + 4, text_raw);   // SizeOfCode
  PutU32(bytes, opt + 8, rsrc_raw);   // SizeOfInitializedData
  PutU32(bytes, opt + 16, kTextRva);  // AddressOfEntryPoint
  PutU32(bytes, opt + 20, kTextRva);  // BaseOfCode
  if (plus) {
    PutU64(bytes, opt + 24, 0x140000000u);  // ImageBase
  } else {
    PutU32(bytes, opt + 24, kResourceRva);  // BaseOfData
    PutU32(bytes, opt + 28, 0x400000u);     // ImageBase
  }
  PutU32(bytes, opt + 32, kSectionAlignment);
  PutU32(bytes, opt + 36, kFileAlignment);
  PutU16(bytes, opt + 40, 6);  // operating system version
  PutU16(bytes, opt + 48, 6);  // subsystem version
  PutU32(bytes, opt + 56, AlignUp(image_end, kSectionAlignment));
  PutU32(bytes, opt + 60, kSizeOfHeaders);
  PutU16(bytes, opt + 68, 2);  // Windows GUI
  const std::size_t stack_and_heap = opt + 72;
  if (plus) {
    PutU64(bytes, stack_and_heap, 0x100000);
    PutU64(bytes, stack_and_heap + 8, 0x1000);
    PutU64(bytes, stack_and_heap + 16, 0x100000);
    PutU64(bytes, stack_and_heap + 24, 0x1000);
    PutU32(bytes, opt + 108, kDirectoryEntryCount);
  } else {
    PutU32(bytes, stack_and_heap, 0x100000);
    PutU32(bytes, stack_and_heap + 4, 0x1000);
    PutU32(bytes, stack_and_heap + 8, 0x100000);
    PutU32(bytes, stack_and_heap + 12, 0x1000);
    PutU32(bytes, opt + 92, kDirectoryEntryCount);
  }
  if (!rsrc.empty()) {
    PutU32(bytes, image.resource_directory, kResourceRva);
    PutU32(bytes, image.resource_directory + 4,
           static_cast<std::uint32_t>(rsrc.size()));
  }

  for (std::size_t i = 0; i < sections.size(); ++i) {
    PutSection(bytes, image.section_table + i * kSectionHeaderSize,
               sections[i]);
  }
  bytes[kSizeOfHeaders] = 0xC3;  // ret
  std::copy(rsrc.begin(), rsrc.end(),
            bytes.begin() + static_cast<std::ptrdiff_t>(image.resource_root));
  return image;
}

PeImage BuildPeImageWithVersion(PeKind kind,
                                std::span<const std::uint8_t> block) {
  return BuildPeImage(
      kind, {PeResource{kRtVersion, 1, 0x0409, {block.begin(), block.end()}}});
}

namespace {

// VS_FIXEDFILEINFO, 52 bytes.
void PutFixedFileInfo(std::span<std::uint8_t> bytes, std::size_t at,
                      const FileVersion& version) {
  PutU32(bytes, at, 0xFEEF04BDu);      // dwSignature
  PutU32(bytes, at + 4, 0x00010000u);  // dwStrucVersion
  PutU32(bytes, at + 8, version.file_ms);
  PutU32(bytes, at + 12, version.file_ls);
  PutU32(bytes, at + 16, version.product_ms);
  PutU32(bytes, at + 20, version.product_ls);
  PutU32(bytes, at + 24, 0x3Fu);        // dwFileFlagsMask
  PutU32(bytes, at + 32, 0x00040004u);  // dwFileOS: VOS_NT_WINDOWS32
  PutU32(bytes, at + 36, 1);            // dwFileType: VFT_APP
}

constexpr std::string_view kVersionKey = "VS_VERSION_INFO";
constexpr std::uint16_t kFixedFileInfoSize = 52;

}  // namespace

std::vector<std::uint8_t> WideVersionBlock(const FileVersion& version) {
  constexpr std::size_t kFixedAt = 40;
  std::vector<std::uint8_t> block(kFixedAt + kFixedFileInfoSize);
  PutU16(block, 0, static_cast<std::uint16_t>(block.size()));
  PutU16(block, 2, kFixedFileInfoSize);
  PutU16(block, 4, 0);  // binary value
  for (std::size_t i = 0; i < kVersionKey.size(); ++i) {
    block[6 + 2 * i] = static_cast<std::uint8_t>(kVersionKey[i]);
  }
  PutFixedFileInfo(block, kFixedAt, version);
  return block;
}

std::vector<std::uint8_t> OneByteVersionBlock(const FileVersion& version) {
  constexpr std::size_t kFixedAt = 20;
  std::vector<std::uint8_t> block(kFixedAt + kFixedFileInfoSize);
  PutU16(block, 0, static_cast<std::uint16_t>(block.size()));
  PutU16(block, 2, kFixedFileInfoSize);
  PutText(block, 4, kVersionKey);
  PutFixedFileInfo(block, kFixedAt, version);
  return block;
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) |
         static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutU16(std::span<std::uint8_t> bytes, std::size_t at,
            std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::span<std::uint8_t> bytes, std::size_t at,
            std::uint32_t value) {
  PutU16(bytes, at, static_cast<std::uint16_t>(value));
  PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void WriteBinaryFile(const std::filesystem::path& path,
                     std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace quillprobe::test
