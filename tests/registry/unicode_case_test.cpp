#include "registry/unicode_case.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/unicode_case_table.h"
#include "tests/support/allocation_counter.h"

namespace quillprobe::registry {
namespace {

// Reference encoder, independent of the one under test.
std::string Utf8(std::u32string_view code_points) {
  std::string out;
  for (const char32_t cp : code_points) {
    const auto put = [&](std::uint32_t bits) {
      out.push_back(static_cast<char>(bits));
    };
    const std::uint32_t c = cp;
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  return out;
}

int Sign(int n) { return (n > 0) - (n < 0); }

TEST(UnicodeCaseTest, MapsCodePointsBySimpleUpperCase) {
  struct Case {
    char32_t in;
    char32_t out;
    const char* what;
  };
  const Case cases[] = {
      {U'a', U'A', "ASCII"},
      {U'z', U'Z', "ASCII, end of run"},
      {U'A', U'A', "already upper"},
      {U'1', U'1', "no case"},
      {U'`', U'`', "just before 'a'"},
      {U'{', U'{', "just after 'z'"},
      {0x00E9, 0x00C9, "e acute"},
      {0x00FF, 0x0178, "y diaeresis leaves Latin-1"},
      {0x00DF, 0x00DF, "sharp s has no simple mapping"},
      {0x1E9E, 0x1E9E, "capital sharp s"},
      {0x00F7, 0x00F7, "division sign inside the Latin-1 letters"},
      {0x0101, 0x0100, "alternating pair, lower"},
      {0x0100, 0x0100, "alternating pair, upper"},
      {0x0131, U'I', "dotless i"},
      {0x0130, 0x0130, "dotted capital I"},
      {0x017F, U'S', "long s"},
      {0x01C5, 0x01C4, "title case DZ caron"},
      {0x01C6, 0x01C4, "small dz caron"},
      {0x0250, 0x2C6F, "turned a"},
      {0x0345, 0x0399, "combining ypogegrammeni"},
      {0x03C2, 0x03A3, "final sigma"},
      {0x03C3, 0x03A3, "sigma"},
      {0x0436, 0x0416, "Cyrillic zhe"},
      {0x0450, 0x0400, "Cyrillic ie grave"},
      {0x10D0, 0x1C90, "Georgian Mkhedruli an"},
      {0x10A0, 0x10A0, "Georgian Asomtavruli an"},
      {0xAB70, 0x13A0, "Cherokee small a"},
      {0x13F8, 0x13F0, "Cherokee small ye"},
      {0x212A, 0x212A, "Kelvin sign"},
      {0x10428, 0x10400, "Deseret long i"},
      {0x10400, 0x10400, "Deseret capital long i"},
      {0x1E922, 0x1E900, "Adlam alif"},
      {0x1F600, 0x1F600, "emoji"},
      {0xD800, 0xD800, "surrogate"},
      {0x10FFFF, 0x10FFFF, "last code point"},
      {0x110000, 0x110000, "beyond Unicode"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(ToUpper(c.in)),
              static_cast<std::uint32_t>(c.out))
        << c.what;
  }
}

// Walks every code point through the lookup and compares with figures the
// generator took from the mappings themselves, not from the packed ranges.
TEST(UnicodeCaseTest, EveryCodePointAgreesWithTheGeneratedData) {
  std::size_t mapped = 0;
  std::uint64_t checksum = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    const char32_t upper = ToUpper(cp);
    if (upper == cp) continue;
    ++mapped;
    checksum += std::uint64_t{cp} * upper;
    const auto hex = static_cast<std::uint32_t>(cp);
    ASSERT_TRUE(upper <= 0x10FFFF && (upper < 0xD800 || upper > 0xDFFF))
        << std::hex << hex;
    ASSERT_EQ(ToUpper(upper), upper) << std::hex << hex;
    const std::string text = Utf8(std::u32string(1, cp));
    ASSERT_EQ(ToUpper(text), Utf8(std::u32string(1, upper))) << std::hex << hex;
    ASSERT_TRUE(EqualsIgnoreCase(text, Utf8(std::u32string(1, upper))));
  }
  EXPECT_EQ(mapped, unicode_case::kMappedCodePointCount);
  EXPECT_EQ(checksum, unicode_case::kMappingChecksum);
}

TEST(UnicodeCaseTest, UpperCasesTextAndKeepsInvalidBytes) {
  struct Case {
    std::string in;
    std::string out;
    const char* what;
  };
  const Case cases[] = {
      {"", "", "empty"},
      {"Software\\Quill 7", "SOFTWARE\\QUILL 7", "ASCII"},
      {Utf8(U"stra\u00DFe \u00E9t\u00E9"), Utf8(U"STRA\u00DFE \u00C9T\u00C9"),
       "Latin-1"},
      {Utf8(U"\u043F\u0443\u0442\u044C"), Utf8(U"\u041F\u0423\u0422\u042C"),
       "Cyrillic"},
      {"\xC4\xB1", "I", "dotless i: two bytes become one"},
      {"\xC9\x90", "\xE2\xB1\xAF", "turned a: two bytes become three"},
      {"\xF0\x90\x90\xA8x", "\xF0\x90\x90\x80X", "supplementary plane"},
      {std::string("a\0b", 3), std::string("A\0B", 3), "embedded NUL"},
      {"\x80", "\x80", "lone continuation byte"},
      {"a\xFF"
       "b",
       "A\xFF"
       "B",
       "byte never valid in UTF-8"},
      {"\xE9t\xE9", "\xE9T\xE9", "Latin-1 bytes are not case-mapped"},
      {"\xC3", "\xC3", "truncated at the end"},
      {"\xC3"
       "a",
       "\xC3"
       "A",
       "truncated before ASCII"},
      {"\xE2\x82"
       "z",
       "\xE2\x82"
       "Z",
       "truncated three-byte sequence"},
      {"\xF0\x90\x90", "\xF0\x90\x90", "truncated four-byte sequence"},
      {"\xC3\xC3\xA9", "\xC3\xC3\x89", "invalid lead before a valid one"},
      {"\xC1\xA1", "\xC1\xA1", "overlong 'a' stays as it is"},
      {"\xE0\x81\xA1", "\xE0\x81\xA1", "overlong three-byte 'a'"},
      {"\xF0\x80\x81\xA1", "\xF0\x80\x81\xA1", "overlong four-byte 'a'"},
      {"\xED\xA0\x80", "\xED\xA0\x80", "high surrogate"},
      {"\xED\xBF\xBF", "\xED\xBF\xBF", "low surrogate"},
      {"\xED\x9F\xBF", "\xED\x9F\xBF", "U+D7FF, valid, no case"},
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80", "above U+10FFFF"},
      {"\xF5\x80\x80\x80", "\xF5\x80\x80\x80", "lead byte beyond F4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUpper(c.in), c.out) << c.what;
    EXPECT_TRUE(EqualsIgnoreCase(c.in, c.out)) << c.what;
  }
}

// Names chosen to meet at every boundary: case, length, multi-byte forms,
// mappings that change byte length, and invalid bytes.
std::vector<std::string> Samples() {
  return {"",
          "a",
          "A",
          "b",
          "_",
          "ab",
          "AB",
          "aB",
          "abc",
          "Path",
          "PATH",
          "pAtH",
          "PATHS",
          "software",
          "\xC5\xBFoftware",  // long s
          "SOFTWARE",
          "i",
          "I",
          "\xC4\xB1",  // dotless i
          "\xC4\xB0",  // dotted capital I
          "k",
          "K",
          "\xE2\x84\xAA",  // Kelvin sign
          "stra\xC3\x9F"
          "e",
          "STRA\xC3\x9F"
          "E",
          "STRASSE",
          "\xC3\xA9",
          "\xC3\x89",
          "e",
          "\xCF\x82",  // final sigma
          "\xCF\x83",
          "\xCE\xA3",
          "\xC9\x90",      // turned a
          "\xE2\xB1\xAF",  // its capital
          "\xF0\x90\x90\xA8",
          "\xF0\x90\x90\x80",
          "\xEF\xBF\xBF",
          "\xF4\x8F\xBF\xBF",
          "\x80",
          "\xFF",
          "\xC3",
          "\xC3"
          "a",
          "\xC3"
          "A",
          "\xED\xA0\x80",
          "\xC1\xA1",
          std::string("a\0", 2)};
}

TEST(UnicodeCaseTest, ComparisonsAgreeWithToUpperAndWithEachOther) {
  const std::vector<std::string> samples = Samples();
  const CaseInsensitiveHash hash;
  for (const std::string& a : samples) {
    for (const std::string& b : samples) {
      SCOPED_TRACE(testing::PrintToString(a) + " vs " +
                   testing::PrintToString(b));
      const bool equal = EqualsIgnoreCase(a, b);
      const int order = CompareIgnoreCase(a, b);
      EXPECT_EQ(equal, ToUpper(a) == ToUpper(b));
      EXPECT_EQ(equal, order == 0);
      EXPECT_EQ(Sign(order), -Sign(CompareIgnoreCase(b, a)));
      EXPECT_EQ(Sign(order), Sign(CompareIgnoreCase(ToUpper(a), ToUpper(b))));
      if (equal) {
        EXPECT_EQ(hash(a), hash(b));
      }
      for (const std::string& c : samples) {
        if (order < 0 && CompareIgnoreCase(b, c) < 0) {
          EXPECT_LT(CompareIgnoreCase(a, c), 0) << testing::PrintToString(c);
        }
      }
    }
  }
}

// Invalid bytes count one unit each, like the characters of the decoding
// above; code points above U+FFFF count two.
TEST(UnicodeCaseTest, Utf16LengthCountsAsWindowsAndTheDecodingDo) {
  const struct {
    std::string_view text;
    std::size_t units;
  } cases[] = {
      {"", 0},
      {"abcd", 4},
      {"\xC3\xA9", 1},
      {"\xE2\x82\xAC", 1},
      {"\xF0\x9F\x98\x80", 2},
      {"\xF4\x8F\xBF\xBF", 2},  // U+10FFFF
      {"\x80", 1},              // a stray continuation byte
      {"0001\x80", 5},
      {"\xE2\x82", 2},  // cut short: each byte alone
      {"\xF0\x9F\x98", 3},
      {"\xC0\xB1", 2},          // overlong
      {"\xED\xA0\x80", 3},      // an encoded surrogate
      {"\xF4\x90\x80\x80", 4},  // above U+10FFFF
      {std::string_view("a\0b", 3), 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Length(c.text), c.units) << testing::PrintToString(c.text);
  }
}

TEST(UnicodeCaseTest, DifferentNamesHashApart) {
  std::set<std::size_t> hashes;
  std::set<std::string, CaseInsensitiveLess> names;
  for (const std::string& name : Samples()) {
    if (names.insert(name).second) hashes.insert(CaseInsensitiveHash{}(name));
  }
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "Key" + std::to_string(i);
    names.insert(name);
    hashes.insert(CaseInsensitiveHash{}(name));
  }
  EXPECT_EQ(hashes.size(), names.size());
}

TEST(UnicodeCaseTest, OrdersByUpperCasedCodePoints) {
  struct Case {
    std::string a;
    std::string b;
    int sign;
    const char* what;
  };
  const Case cases[] = {
      {"a", "B", -1, "case does not decide, letters do"},
      {"B", "a", 1, "case does not decide, letters do"},
      {"abc", "ABCD", -1, "a prefix comes first"},
      {"_", "a", 1, "underscore sorts after upper-cased letters"},
      {"Z", "\xC3\xA9", -1, "ASCII before Latin-1"},
      {"\xC4\xB1", "J", -1, "dotless i sorts as I"},
      {"\xEF\xBF\xBF", "\xF0\x90\x80\x80", -1, "code point order, not UTF-16"},
      {"\xF4\x8F\xBF\xBF", "\x80", -1, "invalid bytes after every code point"},
      {"\x80", "\x81", -1, "invalid bytes by their value"},
      {"\xC3", "\xC3\xA9", 1, "invalid lead byte against a valid sequence"},
      {"a\xFF", "A\xFF", 0, "invalid bytes equal themselves"},
      {"\xED\xA0\x80", "\xEF\xBF\xBF", 1, "a surrogate is invalid bytes"},
      {"\xC1\xA1", "b", 1, "an overlong 'a' is not 'a'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CompareIgnoreCase(c.a, c.b)), c.sign) << c.what;
  }
}

TEST(UnicodeCaseTest, KeysContainersByName) {
  std::unordered_map<std::string, int, CaseInsensitiveHash,
                     CaseInsensitiveEqual>
      values;
  values.emplace("Install Path", 1);
  values.emplace(
      "Stra\xC3\x9F"
      "e",
      2);
  EXPECT_FALSE(values.emplace("INSTALL PATH", 3).second);
  const auto found = values.find(std::string_view("install path"));
  ASSERT_NE(found, values.end());
  EXPECT_EQ(found->first, "Install Path");
  EXPECT_EQ(values.count(std::string_view("STRA\xC3\x9F"
                                          "E")),
            1u);
  EXPECT_EQ(values.count(std::string_view("STRASSE")), 0u);

  const std::set<std::string, CaseInsensitiveLess> keys = {
      "beta", "Alpha", "\xC3\xA9t\xC3\xA9", "ALPHA2", "Zeta", "_x"};
  const std::vector<std::string> sorted(keys.begin(), keys.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "Zeta",
                                              "_x", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(keys.count(std::string_view("ZETA")), 1u);
}

TEST(UnicodeCaseTest, LookupsDoNotAllocate) {
  // Longer than any short-string buffer, mixing ASCII, multi-byte and
  // invalid bytes.
  const std::string name =
      "SOFTWARE\\Quillmere Software\\Tarnwick\\\xC3\xA9t\xC3\xA9\xFF\\Path";
  const std::string other =
      "software\\quillmere software\\tarnwick\\\xC3\x89T\xC3\x89\xFF\\path";
  std::unordered_map<std::string, int, CaseInsensitiveHash,
                     CaseInsensitiveEqual>
      values{{name, 1}};
  const std::set<std::string, CaseInsensitiveLess> keys{name};
  const std::string longer = other + "x";

  const long before = testing_support::AllocationCount();
  const bool equal = EqualsIgnoreCase(name, other);
  const int order = CompareIgnoreCase(name, longer);
  const bool hashes_alike =
      CaseInsensitiveHash{}(name) == CaseInsensitiveHash{}(other);
  const bool in_map = values.find(std::string_view(other)) != values.end();
  const bool in_set = keys.find(std::string_view(other)) != keys.end();
  EXPECT_EQ(testing_support::AllocationCount(), before);

  EXPECT_TRUE(equal);
  EXPECT_LT(order, 0);
  EXPECT_TRUE(hashes_alike);
  EXPECT_TRUE(in_map);
  EXPECT_TRUE(in_set);
}

}  // namespace
}  // namespace quillprobe::registry
