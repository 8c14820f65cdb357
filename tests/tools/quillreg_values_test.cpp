// How quillreg shows the data of every type, and the data that add stores
// for the edge cases of its /d text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/registry_api.h"
#include "tools/quillreg/value_encoding.h"
#include "tools/quillreg/value_format.h"

namespace quillprobe::quillreg {
namespace {

namespace value_type = registry::value_type;
using Bytes = std::vector<std::uint8_t>;

Bytes B(std::string_view text) { return {text.begin(), text.end()}; }

struct FormatCase {
  std::uint32_t type;
  Bytes data;
  std::string shown;
};

TEST(ValueFormatTest, ShowsDataAsRegExeDoes) {
  const FormatCase cases[] = {
      // Text ends at its first NUL; a missing NUL changes nothing.
      {value_type::kSz, B(std::string_view("ab\0cd", 5)), "ab"},
      {value_type::kSz, B("no terminator"), "no terminator"},
      {value_type::kExpandSz, {}, ""},
      // The list's terminating NULs are left out, empty strings inside it
      // show.
      {value_type::kMultiSz, B(std::string_view("a\0\0b\0\0", 6)), "a\\0\\0b"},
      {value_type::kMultiSz, B(std::string_view("a\0b", 3)), "a\\0b"},
      {value_type::kMultiSz, B(std::string_view("\0", 1)), ""},
      {value_type::kDword, {0xff, 0xff, 0xff, 0xff}, "0xffffffff"},
      {value_type::kDword, {0, 0, 0, 0}, "0x0"},
      {value_type::kDwordBigEndian, {0x01, 0x02, 0x03, 0x04}, "0x1020304"},
      {value_type::kQword, {1, 0, 0, 0, 0, 0, 0, 0x80}, "0x8000000000000001"},
      // A number of the wrong size holds no number: its bytes show.
      {value_type::kDword, {0x01, 0x02}, "0102"},
      {value_type::kQword, {0xab, 0, 0, 0}, "AB000000"},
      {value_type::kLink, {0x41, 0x00}, "4100"},
      {value_type::kBinary, {}, ""},
      {0xFFFFFFFF, {0xde, 0xad}, "DEAD"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatData(c.type, c.data), c.shown) << TypeName(c.type);
  }
  EXPECT_EQ(TypeName(value_type::kDwordBigEndian), "REG_DWORD_BIG_ENDIAN");
  EXPECT_EQ(TypeName(9), "REG_FULL_RESOURCE_DESCRIPTOR");
  EXPECT_EQ(TypeName(0xFFFFFFFF), "REG_UNKNOWN(0xffffffff)");
}

struct EncodeCase {
  std::uint32_t type;
  std::optional<std::string> data;
  std::optional<Bytes> stored;  // nullopt: refused
};

TEST(ValueEncodingTest, TurnsDataTextIntoTheStoredBytes) {
  const EncodeCase cases[] = {
      {value_type::kDword, "0", Bytes{0, 0, 0, 0}},
      {value_type::kDword, "007", Bytes{7, 0, 0, 0}},  // decimal, not octal
      {value_type::kDword, "0xFFFFFFFF", Bytes{0xff, 0xff, 0xff, 0xff}},
      {value_type::kDword, "0x100000000", std::nullopt},
      {value_type::kDword, "-1", std::nullopt},
      {value_type::kDword, "+1", std::nullopt},
      {value_type::kDword, " 1", std::nullopt},
      {value_type::kDword, "1 ", std::nullopt},
      {value_type::kDword, "0x", std::nullopt},
      {value_type::kDword, "12a", std::nullopt},
      {value_type::kDword, "", std::nullopt},
      {value_type::kQword, "18446744073709551615", Bytes(8, 0xff)},
      {value_type::kQword, "18446744073709551616", std::nullopt},
      {value_type::kBinary, "00FF", Bytes{0x00, 0xff}},
      {value_type::kBinary, "f", Bytes{0x0f}},
      {value_type::kBinary, "0g", std::nullopt},
      {value_type::kBinary, "0a 0b", std::nullopt},
      {value_type::kMultiSz, "\\0", Bytes{0}},
      {value_type::kMultiSz, "\\0a", std::nullopt},
      {value_type::kMultiSz, "a\\0", B(std::string_view("a\0\0", 3))},
      {value_type::kNone, std::nullopt, Bytes{0, 0}},
      // A code point above U+FFFF becomes a surrogate pair; a byte that is
      // not UTF-8 becomes U+FFFD, as Windows converts it.
      {value_type::kNone, "\xF0\x9F\x98\x80\xFF",
       Bytes{0x3d, 0xd8, 0x00, 0xde, 0xfd, 0xff, 0, 0}},
  };
  for (const EncodeCase& c : cases) {
    std::string error;
    const auto stored = EncodeData(c.type, c.data, kDefaultSeparator, &error);
    EXPECT_EQ(stored, c.stored) << c.type << " " << c.data.value_or("(none)");
    EXPECT_EQ(error.empty(), stored.has_value()) << error;
  }
}

TEST(ValueEncodingTest, SeparatorIsOneCharacter) {
  EXPECT_TRUE(IsOneCharacter("#"));
  EXPECT_TRUE(IsOneCharacter("\xE2\x82\xAC"));  // the euro sign
  EXPECT_FALSE(IsOneCharacter(""));
  EXPECT_FALSE(IsOneCharacter("ab"));
  EXPECT_FALSE(IsOneCharacter("\xE2\x82"));
}

}  // namespace
}  // namespace quillprobe::quillreg
