// Writes the generated part of the PE reader's seed corpus: small valid
// images of both kinds, with and without version information, and the two
// layouts of the version block on their own. The fuzzer mutates these, so
// each one exercises a different path through the headers and the resource
// tree.
//
// Usage: fuzz_seed_writer DIRECTORY
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tests/support/pe_builder.h"

int main(int argc, char** argv) {
  using namespace quillprobe::test;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);

  const FileVersion version{0x0003000Au, 0x00070190u, 0x00030000u, 0};
  const auto wide = WideVersionBlock(version);
  const auto one_byte = OneByteVersionBlock(version);
  using Bytes = std::vector<std::uint8_t>;

  WriteBinaryFile(dir / "pe32_wide.exe",
                  BuildPeImageWithVersion(PeKind::kPe32, wide).bytes);
  WriteBinaryFile(dir / "pe32plus_one_byte.exe",
                  BuildPeImageWithVersion(PeKind::kPe32Plus, one_byte).bytes);
  WriteBinaryFile(dir / "pe32plus_several_resources.exe",
                  BuildPeImage(PeKind::kPe32Plus,
                               {
                                   {kRtIcon, 1, 0x0409, Bytes(24, 0x11)},
                                   {kRtString, 7, 0x0409, Bytes(12, 0x33)},
                                   {kRtVersion, 2, 0x0409, one_byte},
                                   {kRtVersion, 1, 0x0407, wide},
                                   {kRtVersion, 1, 0x0409, wide},
                                   {kRtManifest, 1, 0, Bytes(16, 0x22)},
                               })
                      .bytes);
  WriteBinaryFile(dir / "pe32_no_resources.exe",
                  BuildPeImage(PeKind::kPe32, {}).bytes);
  WriteBinaryFile(dir / "wide_block.bin", wide);
  WriteBinaryFile(dir / "one_byte_block.bin", one_byte);
  return 0;
}
