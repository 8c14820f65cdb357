// The walk from the DOS header to the version resource's bytes.
//
// Every offset and size read from the image is untrusted: each range is
// checked against the image in 64-bit arithmetic before it is read, and the
// resource tree is walked exactly three levels deep (type, name, language),
// so a directory entry that points back into the tree cannot make the walk
// loop.
#include "app/pe_version_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillprobe::app {
namespace {

constexpr std::uint32_t kRtVersion = 16;
// In a resource directory entry: the name is a string / the entry leads to
// another directory rather than to a data entry.
constexpr std::uint32_t kHighBit = 0x80000000u;

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kPeHeadersSize = 24;  // signature and COFF header
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::size_t kResourceDataDirectory = 2;

struct OptionalHeaderLayout {
  std::uint16_t magic;
  std::uint64_t directory_count_offset;  // NumberOfRvaAndSizes
  std::uint64_t directories_offset;      // DataDirectory[0]
};

constexpr std::array<OptionalHeaderLayout, 2> kOptionalHeaderLayouts = {{
    {0x10B, 92, 96},    // PE32
    {0x20B, 108, 112},  // PE32+
}};

std::uint16_t U16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) |
         static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// True when [offset, offset + size) lies inside [0, limit).
bool Fits(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
  return offset <= limit && size <= limit - offset;
}

class SpanSource final : public ImageSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t Size() const override { return bytes_.size(); }

  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (!Fits(offset, out.size(), bytes_.size())) return false;
    if (!out.empty()) {
      std::memcpy(out.data(), bytes_.data() + offset, out.size());
    }
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t extent;  // bytes that are both in the file and mapped
  std::uint32_t file_offset;
};

// Where an RVA lies in the file, and how many bytes of its section follow.
struct FilePlace {
  std::uint64_t offset;
  std::uint64_t available;
};

class VersionResourceFinder {
 public:
  explicit VersionResourceFinder(ImageSource& image)
      : image_(image), image_size_(image.Size()) {}

  std::optional<std::vector<std::uint8_t>> Find() {
    const auto resources = ResourceDirectory();
    if (!resources) return std::nullopt;
    const auto data_entry = WalkToVersionDataEntry(*resources);
    if (!data_entry) return std::nullopt;
    return ReadData(*data_entry);
  }

 private:
  // The resource tree as a window of the file: every directory offset in the
  // tree is relative to its start and must lie inside it.
  struct TreeWindow {
    std::uint64_t offset;
    std::uint64_t size;
  };

  // Reads `size` bytes at `offset` when they lie inside the image.
  std::optional<std::vector<std::uint8_t>> ReadAt(std::uint64_t offset,
                                                  std::uint64_t size) {
    if (!Fits(offset, size, image_size_)) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!image_.Read(offset, bytes)) return std::nullopt;
    return bytes;
  }

  std::optional<TreeWindow> ResourceDirectory() {
    const auto dos = ReadAt(0, kDosHeaderSize);
    if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return std::nullopt;
    const std::uint64_t pe_offset = U32(*dos, kLfanewOffset);

    const auto pe = ReadAt(pe_offset, kPeHeadersSize);
    if (!pe || U32(*pe, 0) != 0x00004550u) return std::nullopt;  // "PE\0\0"
    const std::uint64_t section_count = U16(*pe, 6);
    const std::uint64_t optional_size = U16(*pe, 20);

    const std::uint64_t optional_offset = pe_offset + kPeHeadersSize;
    const auto optional = ReadAt(optional_offset, optional_size);
    if (!optional || optional_size < 2) return std::nullopt;
    const std::uint16_t magic = U16(*optional, 0);
    const auto layout = std::find_if(
        kOptionalHeaderLayouts.begin(), kOptionalHeaderLayouts.end(),
        [magic](const auto& l) { return l.magic == magic; });
    if (layout == kOptionalHeaderLayouts.end()) return std::nullopt;
    if (!Fits(layout->directory_count_offset, 4, optional_size)) {
      return std::nullopt;
    }
    const std::uint32_t directory_count =
        U32(*optional, layout->directory_count_offset);
    const std::uint64_t resource_entry =
        layout->directories_offset + kResourceDataDirectory * 8;
    if (directory_count <= kResourceDataDirectory ||
        !Fits(resource_entry, 8, optional_size)) {
      return std::nullopt;
    }
    const std::uint32_t resource_rva = U32(*optional, resource_entry);
    const std::uint32_t resource_size = U32(*optional, resource_entry + 4);
    if (resource_rva == 0 || resource_size == 0) return std::nullopt;

    if (!ReadSections(optional_offset + optional_size, section_count)) {
      return std::nullopt;
    }
    const auto place = Locate(resource_rva);
    if (!place) return std::nullopt;
    return TreeWindow{place->offset,
                      std::min<std::uint64_t>(place->available, resource_size)};
  }

  bool ReadSections(std::uint64_t offset, std::uint64_t count) {
    const auto table = ReadAt(offset, count * kSectionHeaderSize);
    if (!table) return false;
    sections_.reserve(static_cast<std::size_t>(count));
    for (std::size_t at = 0; at < table->size(); at += kSectionHeaderSize) {
      const std::uint32_t virtual_size = U32(*table, at + 8);
      const std::uint32_t raw_size = U32(*table, at + 16);
      // The loader maps VirtualSize bytes (SizeOfRawData when it is 0); the
      // file holds SizeOfRawData of them.
      const std::uint32_t extent =
          virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
      sections_.push_back({U32(*table, at + 12), extent, U32(*table, at + 20)});
    }
    return true;
  }

  // The file place of `rva` in the first section whose file bytes hold it.
  std::optional<FilePlace> Locate(std::uint32_t rva) const {
    for (const Section& section : sections_) {
      if (rva < section.virtual_address) continue;
      const std::uint64_t into = rva - section.virtual_address;
      if (into >= section.extent) continue;
      const std::uint64_t offset = section.file_offset + into;
      if (offset >= image_size_) return std::nullopt;
      return FilePlace{offset, std::min<std::uint64_t>(section.extent - into,
                                                       image_size_ - offset)};
    }
    return std::nullopt;
  }

  // The first `wanted` entries (all when it is 0) of the directory at `at` in
  // the tree, after checking that the whole directory lies inside the tree.
  std::optional<std::vector<std::uint8_t>> ReadDirectoryEntries(
      const TreeWindow& tree, std::uint64_t at, std::uint64_t wanted) {
    if (!Fits(at, kDirectoryHeaderSize, tree.size)) return std::nullopt;
    const auto header = ReadAt(tree.offset + at, kDirectoryHeaderSize);
    if (!header) return std::nullopt;
    const std::uint64_t count =
        std::uint64_t{U16(*header, 12)} + U16(*header, 14);
    const std::uint64_t entries_at = at + kDirectoryHeaderSize;
    if (count == 0 ||
        !Fits(entries_at, count * kDirectoryEntrySize, tree.size)) {
      return std::nullopt;
    }
    const std::uint64_t read = wanted == 0 ? count : std::min(count, wanted);
    return ReadAt(tree.offset + entries_at, read * kDirectoryEntrySize);
  }

  // The offset in the tree of the directory that the RT_VERSION entry of the
  // root leads to.
  std::optional<std::uint64_t> VersionNameDirectory(const TreeWindow& tree) {
    const auto types = ReadDirectoryEntries(tree, 0, 0);
    if (!types) return std::nullopt;
    for (std::size_t at = 0; at < types->size(); at += kDirectoryEntrySize) {
      // A named entry has the high bit set, so it never equals the id.
      if (U32(*types, at) != kRtVersion) continue;
      const std::uint32_t target = U32(*types, at + 4);
      if ((target & kHighBit) == 0) return std::nullopt;
      return target & ~kHighBit;
    }
    return std::nullopt;
  }

  // The target of the first entry of the directory at `at`: the offset in
  // the tree of a subdirectory or (`leads_to_data`) of a data entry.
  std::optional<std::uint64_t> FirstEntryTarget(const TreeWindow& tree,
                                                std::uint64_t at,
                                                bool leads_to_data) {
    const auto entries = ReadDirectoryEntries(tree, at, 1);
    if (!entries) return std::nullopt;
    const std::uint32_t target = U32(*entries, 4);
    if (((target & kHighBit) == 0) != leads_to_data) return std::nullopt;
    return target & ~kHighBit;
  }

  // Type, then first name, then first language: the file offset of the
  // version resource's data entry.
  std::optional<std::uint64_t> WalkToVersionDataEntry(const TreeWindow& tree) {
    const auto names = VersionNameDirectory(tree);
    if (!names) return std::nullopt;
    const auto languages = FirstEntryTarget(tree, *names, false);
    if (!languages) return std::nullopt;
    const auto data_entry = FirstEntryTarget(tree, *languages, true);
    if (!data_entry || !Fits(*data_entry, kDataEntrySize, tree.size)) {
      return std::nullopt;
    }
    return tree.offset + *data_entry;
  }

  // The bytes that the data entry at `offset` describes. The data is found
  // through its RVA, wherever the image puts it.
  std::optional<std::vector<std::uint8_t>> ReadData(std::uint64_t offset) {
    const auto entry = ReadAt(offset, kDataEntrySize);
    if (!entry) return std::nullopt;
    const std::uint32_t rva = U32(*entry, 0);
    const std::uint32_t size = U32(*entry, 4);
    if (size == 0) return std::nullopt;
    const auto place = Locate(rva);
    if (!place || size > place->available) return std::nullopt;
    return ReadAt(place->offset, size);
  }

  ImageSource& image_;
  const std::uint64_t image_size_;
  std::vector<Section> sections_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadVersionResource(
    std::span<const std::uint8_t> image) {
  SpanSource source(image);
  return ReadVersionResource(source);
}

std::optional<std::vector<std::uint8_t>> ReadVersionResource(
    ImageSource& image) {
  return VersionResourceFinder(image).Find();
}

}  // namespace quillprobe::app
