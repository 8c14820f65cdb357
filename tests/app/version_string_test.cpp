#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/exe_examination.h"

namespace quillprobe::app {
namespace {

TEST(VersionStringTest, FormatsFieldsKeepingTheLastDigits) {
  const struct {
    std::uint16_t major, minor, build, revision;
    const char* text;
  } cases[] = {
      {3, 10, 7, 400, "003.0010.0007.0400"},
      {1234, 65535, 0, 9, "234.5535.0000.0009"},
      {1000, 0, 12, 32768, "000.0000.0012.2768"},
      {2, 65533, 0, 0, "002.5533.0000.0000"},
      {0, 0, 0, 40000, "000.0000.0000.0000"},
      {0, 0, 0, 65535, "000.0000.0000.5535"},
  };
  for (const auto& c : cases) {
    const std::uint32_t ms = std::uint32_t{c.major} << 16 | c.minor;
    const std::uint32_t ls = std::uint32_t{c.build} << 16 | c.revision;
    EXPECT_EQ(FormatVersionString(ms, ls), c.text);
    EXPECT_EQ(HiWord(ms), c.major);
    EXPECT_EQ(LoWord(ms), c.minor);
  }
}

void PutU16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  PutU16(b, static_cast<std::uint16_t>(v));
  PutU16(b, static_cast<std::uint16_t>(v >> 16));
}

void PutFixedInfo(std::vector<std::uint8_t>& b, std::uint32_t signature,
                  std::uint32_t ms, std::uint32_t ls) {
  PutU32(b, signature);
  PutU32(b, 0x00010000);  // structure version
  PutU32(b, ms);
  PutU32(b, ls);
  for (int i = 0; i < 9; ++i) PutU32(b, 0);  // the rest of the fixed part
}

// VS_VERSIONINFO as the wide version call returns it: the key in UTF-16,
// the fixed part at offset 40.
std::vector<std::uint8_t> WideBlock(std::uint32_t ms, std::uint32_t ls,
                                    std::uint32_t signature = 0xFEEF04BD) {
  std::vector<std::uint8_t> b;
  PutU16(b, 92);
  PutU16(b, 52);
  PutU16(b, 0);
  for (const char c : std::string("VS_VERSION_INFO"))
    PutU16(b, std::uint16_t(c));
  PutU16(b, 0);
  PutU16(b, 0);  // alignment to 4
  PutFixedInfo(b, signature, ms, ls);
  return b;
}

// The one-byte layout: the key in bytes, the fixed part at offset 20.
std::vector<std::uint8_t> OneByteBlock(std::uint32_t ms, std::uint32_t ls) {
  std::vector<std::uint8_t> b;
  PutU16(b, 72);
  PutU16(b, 52);
  for (const char c : std::string("VS_VERSION_INFO"))
    b.push_back(std::uint8_t(c));
  b.push_back(0);
  PutFixedInfo(b, 0xFEEF04BD, ms, ls);
  return b;
}

TEST(VersionStringTest, ReadsTheFixedPartOfEitherLayout) {
  const auto wide = WideBlock(0x0003000A, 0x00070190);
  ASSERT_EQ(wide.size(), 92u);
  EXPECT_EQ(VersionStringFromBlock(wide), "003.0010.0007.0400");

  const auto one_byte = OneByteBlock(0x04D2FFFF, 0x00000009);
  ASSERT_EQ(one_byte.size(), 72u);
  EXPECT_EQ(VersionStringFromBlock(one_byte), "234.5535.0000.0009");
}

TEST(VersionStringTest, RefusesBlocksWithoutAFixedPart) {
  EXPECT_EQ(VersionStringFromBlock(WideBlock(1, 2, 0x12345678)), "");
  EXPECT_EQ(VersionStringFromBlock({}), "");
  EXPECT_EQ(VersionStringFromBlock(std::vector<std::uint8_t>(36, 0x20)), "");
  // Every truncation of a valid block is refused without reading past it.
  const auto wide = WideBlock(0x00010002, 0x00030004);
  for (std::size_t n = 0; n < wide.size(); ++n) {
    const std::vector<std::uint8_t> cut(wide.begin(),
                                        wide.begin() + static_cast<long>(n));
    EXPECT_EQ(VersionStringFromBlock(cut), "") << n;
  }
}

}  // namespace
}  // namespace quillprobe::app
