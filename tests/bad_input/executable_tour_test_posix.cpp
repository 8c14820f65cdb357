// Hostile executables on disk, examined by the whole program through the
// POSIX app platform: images truncated at every length, images whose
// headers claim sizes and offsets beyond the file, resource directories that
// loop, counts at their largest, and files that are no regular file at all.
// Each run ends with the status the file deserves (0, 5 or 6), never with a
// crash, a hang or a read outside the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "registry/memory_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/pe_builder.h"
#include "tests/support/registry_seeding.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::app {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test::GetU32;
using test::PeImage;
using test::PeKind;
using test::PutU16;
using test::PutU32;

// The POSIX platform's own file calls, with the argument "0001".
class ProductOnePlatform final : public AppPlatform {
 public:
  ProductOnePlatform() : platform_(MakePlatformApp(0, nullptr)) {}

  std::string ArgumentText() override { return "0001"; }
  std::optional<std::uint64_t> FileLength(std::string_view path) override {
    return platform_->FileLength(path);
  }
  std::uint32_t GetFileVersionInfoSize(std::string_view path,
                                       std::uint32_t* handle) override {
    return platform_->GetFileVersionInfoSize(path, handle);
  }
  bool GetFileVersionInfo(std::string_view path, std::uint32_t handle,
                          std::span<std::uint8_t> block) override {
    return platform_->GetFileVersionInfo(path, handle, block);
  }
  std::string ToUpper(std::string_view text) override {
    return platform_->ToUpper(text);
  }

 private:
  std::unique_ptr<AppPlatform> platform_;
};

// File offsets of the version resource's tree as the builder lays it out.
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

// Product 1's record points at a scratch directory; the test puts whatever
// it likes there as the product's executable, tarn.exe.
class ExecutableTourTest : public testing::Test {
 protected:
  ExecutableTourTest() {
    test::SeedString(memory_, registry::roots::kLocalMachine,
                     "SOFTWARE\\Quillmere Software\\Tarnwick\\Path", "EXE Path",
                     scratch_.path().string() + "/");
  }

  fs::path exe() const { return scratch_.path() / "tarn.exe"; }

  RunEnd RunOn(std::span<const std::uint8_t> bytes) {
    test::WriteBinaryFile(exe(), bytes);
    return Run();
  }

  RunEnd Run() {
    ProductOnePlatform platform;
    return Main(platform, memory_, boxes_);
  }

  test::ScratchDirectory scratch_;
  registry::MemoryRegistry memory_;
  test::CapturedMessageBoxes boxes_;
};

const Bytes& Block() {
  static const Bytes block = test::WideVersionBlock({0x00010002u, 3, 0, 0});
  return block;
}

// The file is cut shorter a byte at a time, from the whole image to nothing.
TEST_F(ExecutableTourTest, TruncatedAtEveryLength) {
  for (const PeKind kind : {PeKind::kPe32, PeKind::kPe32Plus}) {
    const PeImage image = test::BuildPeImageWithVersion(kind, Block());
    const std::size_t data_end =
        WalkTree(image).data_entry + 16 + Block().size();
    test::WriteBinaryFile(exe(), image.bytes);
    for (std::size_t length = image.bytes.size() + 1; length-- > 0;) {
      fs::resize_file(exe(), length);
      const RunEnd expected = length == 0         ? RunEnd::kEmptyExecutable
                              : length < data_end ? RunEnd::kNoVersion
                                                  : RunEnd::kVersionFormed;
      ASSERT_EQ(Run(), expected) << "length " << length;
    }
  }
}

struct Case {
  const char* name;
  std::function<void(const PeImage&, const Tree&, Bytes&)> apply;
  RunEnd end;
};

// Claims beyond the file, loops and the largest counts the fields hold. A
// claim that the file cannot back gives no version; a claim larger than
// needed still serves the bytes the file has.
TEST_F(ExecutableTourTest, HostileHeadersAndResourceTrees) {
  constexpr std::size_t kRsrcSection = 40;  // the second section header
  const Case cases[] = {
      // Sizes and offsets beyond the file.
      {"e_lfanew at 4 GiB",
       [](auto&, auto&, Bytes& b) { PutU32(b, 0x3C, 0xFFFFFFFFu); },
       RunEnd::kNoVersion},
      {"optional header of 64 KiB",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.coff_header + 16, 0xFFFF);
       },
       RunEnd::kNoVersion},
      {".rsrc raw data at 4 GiB",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.section_table + kRsrcSection + 20, 0xFFFFFE00u);
       },
       RunEnd::kNoVersion},
      {".rsrc claims 4 GiB of raw data and of memory",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.section_table + kRsrcSection + 8, 0xFFFFFFFFu);
         PutU32(b, i.section_table + kRsrcSection + 16, 0xFFFFFFFFu);
       },
       RunEnd::kVersionFormed},
      {"resource directory claims 4 GiB",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory + 4, 0xFFFFFFFFu);
       },
       RunEnd::kVersionFormed},
      {"version data claims 4 GiB",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.data_entry + 4, 0xFFFFFFFFu);
       },
       RunEnd::kNoVersion},
      {"version data one byte longer than the file",
       [](auto&, const Tree& t, Bytes& b) {
         const auto size = GetU32(b, t.data_entry + 4);
         const auto rva = GetU32(b, t.data_entry);
         const auto past = 0x2000u + static_cast<std::uint32_t>(b.size()) -
                           static_cast<std::uint32_t>(t.root);
         PutU32(b, t.data_entry + 4, size + (past - (rva + size)) + 1);
       },
       RunEnd::kNoVersion},
      {"version data at an RVA whose range wraps past 4 GiB",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.data_entry, 0xFFFFFFF0u);
         PutU32(b, t.data_entry + 4, 0x100);
       },
       RunEnd::kNoVersion},
      // Loops in the resource tree.
      {"RT_VERSION leads back to the root",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.root + 20, 0x80000000u);
       },
       RunEnd::kNoVersion},
      {"the name directory leads to itself",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.names + 20, GetU32(b, t.root + 20));
       },
       RunEnd::kNoVersion},
      {"the language directory leads back to the name directory",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.languages + 20, GetU32(b, t.root + 20));
       },
       RunEnd::kNoVersion},
      {"the language directory leads back to the root",
       [](auto&, const Tree& t, Bytes& b) {
         PutU32(b, t.languages + 20, 0x80000000u);
       },
       RunEnd::kNoVersion},
      // The largest counts.
      {"65535 sections",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU16(b, i.coff_header + 2, 0xFFFF);
       },
       RunEnd::kNoVersion},
      {"2^32 - 1 data directories",
       [](const PeImage& i, auto&, Bytes& b) {
         PutU32(b, i.resource_directory - 16 - 4, 0xFFFFFFFFu);
       },
       RunEnd::kVersionFormed},
      {"131070 entries in every directory",
       [](auto&, const Tree& t, Bytes& b) {
         for (const std::size_t d : {t.root, t.names, t.languages}) {
           PutU16(b, d + 12, 0xFFFF);
           PutU16(b, d + 14, 0xFFFF);
         }
       },
       RunEnd::kNoVersion},
  };
  for (const PeKind kind : {PeKind::kPe32, PeKind::kPe32Plus}) {
    const PeImage image = test::BuildPeImageWithVersion(kind, Block());
    const Tree tree = WalkTree(image);
    ASSERT_EQ(RunOn(image.bytes), RunEnd::kVersionFormed);
    for (const Case& c : cases) {
      Bytes bytes = image.bytes;
      c.apply(image, tree, bytes);
      EXPECT_EQ(RunOn(bytes), c.end) << c.name;
    }
  }
}

// 65535 section headers that the file really holds: the reader takes them
// all and still finds the resource in the sections that come first.
TEST_F(ExecutableTourTest, AllSectionHeadersTheFieldAllows) {
  PeImage image = test::BuildPeImageWithVersion(PeKind::kPe32Plus, Block());
  PutU16(image.bytes, image.coff_header + 2, 0xFFFF);
  image.bytes.resize(image.section_table + 0xFFFF * 40);
  EXPECT_EQ(RunOn(image.bytes), RunEnd::kVersionFormed);
}

// A sparse file of 2.5 GiB: the length saturates at 2^31 - 1, and a
// resource section placed beyond 2 GiB is read at its 64-bit offset. Moved
// to where the file ends, the same section is beyond the file.
TEST_F(ExecutableTourTest, ResourcesBeyondTwoGibibytes) {
  constexpr std::uint32_t kFar = 0xA0000000u;
  PeImage image = test::BuildPeImageWithVersion(PeKind::kPe32, Block());
  const Bytes rsrc(
      image.bytes.begin() + static_cast<std::ptrdiff_t>(image.resource_root),
      image.bytes.end());
  PutU32(image.bytes, image.section_table + 40 + 20, kFar);
  ASSERT_EQ(RunOn(image.bytes), RunEnd::kNoVersion);

  {
    std::fstream file(exe(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kFar);
    file.write(reinterpret_cast<const char*>(rsrc.data()),
               static_cast<std::streamsize>(rsrc.size()));
    ASSERT_TRUE(file.good());
  }
  ASSERT_EQ(fs::file_size(exe()), kFar + rsrc.size());
  EXPECT_EQ(Run(), RunEnd::kVersionFormed);
}

TEST_F(ExecutableTourTest, FilesThatAreNoRegularFile) {
  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;
  } cases[] = {
      {"a symbolic link to itself",
       [](const fs::path& p) { fs::create_symlink(p, p); }},
      {"a link to a loop of two links",
       [](const fs::path& p) {
         fs::create_symlink(p.parent_path() / "b", p.parent_path() / "a");
         fs::create_symlink(p.parent_path() / "a", p.parent_path() / "b");
         fs::create_symlink(p.parent_path() / "a", p);
       }},
      {"a dangling link",
       [](const fs::path& p) {
         fs::create_symlink(p.parent_path() / "nowhere", p);
       }},
      {"a link to a directory",
       [](const fs::path& p) { fs::create_directory_symlink("/", p); }},
      {"a link to an endless device",
       [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
  };
  for (const auto& c : cases) {
    fs::remove_all(scratch_.path() / "a");
    fs::remove_all(scratch_.path() / "b");
    fs::remove_all(exe());
    c.make(exe());
    EXPECT_EQ(Run(), RunEnd::kEmptyExecutable) << c.name;
  }
}

}  // namespace
}  // namespace quillprobe::app
