#include "app/pe_version_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "tests/support/pe_builder.h"

namespace quillprobe::app {
namespace {

using test::BuildPeImage;
using test::BuildPeImageWithVersion;
using test::GetU32;
using test::PeImage;
using test::PeKind;
using test::PeResource;
using test::PutU16;
using test::PutU32;

using Bytes = std::vector<std::uint8_t>;

const Bytes& Block() {
  static const Bytes block =
      test::WideVersionBlock({0x00030000Au, 0x00070190u, 0x00010002u, 0});
  return block;
}

// Offsets in the file of the one version resource's tree, as the builder
// lays it out: root, name directory, language directory, data entry.
struct Tree {
  std::size_t root, names, languages, data_entry;
};

Tree WalkTree(const PeImage& image) {
  const auto target = [&](std::size_t directory) {
    return image.resource_root +
           (GetU32(image.bytes, directory + 16 + 4) & 0x7FFFFFFFu);
  };
  Tree tree{};
  tree.root = image.resource_root;
  tree.names = target(tree.root);
  tree.languages = target(tree.names);
  tree.data_entry = target(tree.languages);
  return tree;
}

class PeVersionReaderTest : public testing::TestWithParam<PeKind> {};

INSTANTIATE_TEST_SUITE_P(BothKinds, PeVersionReaderTest,
                         testing::Values(PeKind::kPe32, PeKind::kPe32Plus),
                         [](const testing::TestParamInfo<PeKind>& param_info) {
                           return param_info.param == PeKind::kPe32
                                      ? std::string("Pe32")
                                      : std::string("Pe32Plus");
                         });

TEST_P(PeVersionReaderTest, ReturnsTheVersionBlockExactly) {
  const PeImage image = BuildPeImageWithVersion(GetParam(), Block());
  EXPECT_EQ(ReadVersionResource(image.bytes), Block());

  // The reader hands back whatever the resource holds, in any layout.
  const Bytes one_byte = test::OneByteVersionBlock({1, 2, 3, 4});
  EXPECT_EQ(
      ReadVersionResource(BuildPeImageWithVersion(GetParam(), one_byte).bytes),
      one_byte);
}

TEST_P(PeVersionReaderTest, FindsTheFirstNameAndLanguageAmongOtherTypes) {
  const PeImage image =
      BuildPeImage(GetParam(), {
                                   {test::kRtIcon, 1, 0x0409, Bytes(40, 0x11)},
                                   {test::kRtVersion, 2, 0x0409, {'C'}},
                                   {test::kRtVersion, 1, 0x0409, {'A', 'A'}},
                                   {test::kRtVersion, 1, 0x0407, Block()},
                                   {test::kRtManifest, 1, 0, Bytes(10, 0x22)},
                               });
  EXPECT_EQ(ReadVersionResource(image.bytes), Block());
}

TEST_P(PeVersionReaderTest, ImagesWithoutVersionResourceGiveNothing) {
  EXPECT_EQ(ReadVersionResource(BuildPeImage(GetParam(), {}).bytes),
            std::nullopt);
  const PeImage other_types =
      BuildPeImage(GetParam(), {{test::kRtIcon, 1, 0x0409, Block()},
                                {test::kRtString, 16, 0x0409, Block()},
                                {test::kRtManifest, 1, 0, Block()}});
  EXPECT_EQ(ReadVersionResource(other_types.bytes), std::nullopt);
}

// Every prefix of a valid image either lacks some of the bytes on the way to
// the block (nullopt) or holds them all (the block). The data is the last
// thing in the file that the reader needs.
TEST_P(PeVersionReaderTest, EveryTruncationGivesNothingOrTheBlock) {
  const PeImage image = BuildPeImageWithVersion(GetParam(), Block());
  const auto at = std::search(image.bytes.begin(), image.bytes.end(),
                              Block().begin(), Block().end());
  ASSERT_NE(at, image.bytes.end());
  const auto data_end =
      static_cast<std::size_t>(at - image.bytes.begin()) + Block().size();
  for (std::size_t length = 0; length <= image.bytes.size(); ++length) {
    const auto result = ReadVersionResource(
        std::span<const std::uint8_t>(image.bytes.data(), length));
    if (length < data_end) {
      EXPECT_EQ(result, std::nullopt) << length;
    } else {
      EXPECT_EQ(result, Block()) << length;
    }
  }
}

struct Corruption {
  std::string name;
  std::function<void(const PeImage&, const Tree&, Bytes&)> apply;
};

// Each corruption alone turns a valid image into one without version
// information; none may make the reader read outside the image or loop.
TEST_P(PeVersionReaderTest, HostileImagesGiveNothing) {
  const std::vector<Corruption> corruptions = {
      {"no MZ", [](auto&, auto&, Bytes& b) { b[0] = 'Z'; }},
      {"e_lfanew past the end",
       [](auto&, auto&, Bytes& b) { PutU32(b, 0x3C, 0xFFFFFFF0u); }},
      {"no PE signature",
       [](const PeImage& i, auto&, Bytes& b) { b[i.coff_header - 4] = 'X'; }},
      {"unknown optional header magic",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.optional_header, 0x107);
       }},
      {"optional header too short for the resource directory",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.coff_header + 16, 100);
       }},
      {"optional header larger than the file",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.coff_header + 16, 0xFFFF);
       }},
      {"only two data directories",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory - 16 - 4, 2);
       }},
      {"resource directory size 0",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory + 4, 0);
       }},
      {"resource directory too small for the root's entries",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory + 4, 20);
       }},
      {"resource RVA in no section",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory, 0x7FFFF000u);
       }},
      {"65535 sections",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.coff_header + 2, 0xFFFF);
       }},
      {"section data past the end of the file",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.section_table + 40 + 20, 0xFFFFFE00u);
       }},
      {"65535 id entries in the root",
       [](auto&, const Tree& t, Bytes& b) { PutU16(b, t.root + 14, 0xFFFF); }},
      {"65535 named entries in the language directory",
       [](auto&, const Tree& t, Bytes& b) {
         PutU16(b, t.languages + 12, 0xFFFF);
       }},
      {"empty name directory",
       [](auto&, const Tree& t, Bytes& b) { PutU16(b, t.names + 14, 0); }},
      {"subdirectory offset past the tree",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.root + 20, 0xFFFFFFF8u);
       }},
      {"data entry offset past the tree",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.languages + 20, 0x7FFFFFF8u);
       }},
      {"RT_VERSION leads to a data entry",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.root + 20, GetU32(b, t.languages + 20));
       }},
      {"RT_VERSION leads back to the root",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.root + 20, 0x80000000u);
       }},
      {"name directory leads to itself",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.names + 20, GetU32(b, t.root + 20));
       }},
      {"language directory leads to itself",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.languages + 20, GetU32(b, t.names + 20));
       }},
      {"data of size 0",
       [](auto&, const Tree& t, Bytes& b) { PutU32(b, t.data_entry + 4, 0); }},
      {"data size past the section",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.data_entry + 4, 0xFFFFFFFFu);
       }},
      {"data RVA in no section",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.data_entry, 0xFFFFFFF0u);
       }},
  };
  const PeImage image = BuildPeImageWithVersion(GetParam(), Block());
  const Tree tree = WalkTree(image);
  ASSERT_EQ(ReadVersionResource(image.bytes), Block());
  for (const Corruption& corruption : corruptions) {
    Bytes bytes = image.bytes;
    corruption.apply(image, tree, bytes);
    EXPECT_EQ(ReadVersionResource(bytes), std::nullopt) << corruption.name;
  }
}

TEST_P(PeVersionReaderTest, DataIsFoundThroughItsRvaInAnySection) {
  PeImage image = BuildPeImageWithVersion(GetParam(), Block());
  const Tree tree = WalkTree(image);
  PutU32(image.bytes, tree.data_entry, 0x1000);  // the .text section
  PutU32(image.bytes, tree.data_entry + 4, 1);
  EXPECT_EQ(ReadVersionResource(image.bytes), Bytes{0xC3});
}

// An image source that claims to be far larger than the image, counting
// what the reader asks for.
class LargeSource final : public ImageSource {
 public:
  LargeSource(Bytes head, std::uint64_t size)
      : head_(std::move(head)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    bytes_read += out.size();
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = offset + i < head_.size() ? head_[offset + i] : 0;
    }
    return fail_reads_past_head ? offset + out.size() <= head_.size() : true;
  }

  std::uint64_t bytes_read = 0;
  bool fail_reads_past_head = false;

 private:
  Bytes head_;
  std::uint64_t size_;
};

TEST_P(PeVersionReaderTest, ReadsOnlyThePiecesItNeeds) {
  const PeImage image = BuildPeImageWithVersion(GetParam(), Block());
  LargeSource source(image.bytes, std::uint64_t{100} << 20);
  EXPECT_EQ(ReadVersionResource(source), Block());
  EXPECT_LT(source.bytes_read, 4096u);

  // A source that cannot deliver what its size promised gives nothing.
  Bytes bytes = image.bytes;
  const Tree tree = WalkTree(image);
  const std::uint32_t past_head =
      0x2000u + static_cast<std::uint32_t>(bytes.size() - image.resource_root);
  PutU32(bytes, image.section_table + 40 + 8, 0x10000);   // VirtualSize
  PutU32(bytes, image.section_table + 40 + 16, 0x10000);  // SizeOfRawData
  PutU32(bytes, tree.data_entry, past_head);
  LargeSource failing(bytes, std::uint64_t{100} << 20);
  EXPECT_EQ(ReadVersionResource(failing), Bytes(Block().size(), 0));
  failing.fail_reads_past_head = true;
  EXPECT_EQ(ReadVersionResource(failing), std::nullopt);
}

TEST(VersionBlockTest, LayoutsPutTheFixedPartWhereWindowsDoes) {
  const test::FileVersion version{0x00020003u, 0x00040005u, 0x00060007u,
                                  0x00080009u};
  const Bytes wide = test::WideVersionBlock(version);
  ASSERT_EQ(wide.size(), 92u);
  EXPECT_EQ(GetU32(wide, 0), 92u | (52u << 16));  // wLength, wValueLength
  EXPECT_EQ(wide[4], 0);                          // wType: binary
  const std::string_view key("VS_VERSION_INFO\0", 16);
  for (std::size_t i = 0; i < key.size(); ++i) {  // UTF-16LE
    EXPECT_EQ(wide[6 + 2 * i], static_cast<std::uint8_t>(key[i])) << i;
    EXPECT_EQ(wide[7 + 2 * i], 0) << i;
  }
  EXPECT_EQ(GetU32(wide, 40), 0xFEEF04BDu);
  EXPECT_EQ(GetU32(wide, 44), 0x00010000u);
  EXPECT_EQ(GetU32(wide, 48), version.file_ms);
  EXPECT_EQ(GetU32(wide, 52), version.file_ls);
  EXPECT_EQ(GetU32(wide, 56), version.product_ms);
  EXPECT_EQ(GetU32(wide, 60), version.product_ls);

  const Bytes one_byte = test::OneByteVersionBlock(version);
  ASSERT_EQ(one_byte.size(), 72u);
  EXPECT_EQ(GetU32(one_byte, 0), 72u | (52u << 16));
  EXPECT_EQ(std::memcmp(&one_byte[4], key.data(), key.size()), 0);
  EXPECT_EQ(GetU32(one_byte, 20), 0xFEEF04BDu);
  EXPECT_EQ(GetU32(one_byte, 28), version.file_ms);
  EXPECT_EQ(GetU32(one_byte, 32), version.file_ls);
}

}  // namespace
}  // namespace quillprobe::app
