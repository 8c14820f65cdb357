#include "app/numeric_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "app/program.h"

namespace quillprobe::app {
namespace {

struct ArgumentCase {
  const char* text;
  std::int32_t product_number;  // 0 or less: selects nothing
};

// Argument texts and the number each one reads as.
TEST(ProductNumberFromArgumentTest, ReadsFourCharacterTexts) {
  const ArgumentCase cases[] = {
      {"0001", 1},
      {"&H01", 1},
      {"0.51", 1},
      {"0002", 2},
      {"2abc", 2},
      {"1.50", 2},
      {"2.50", 2},  // exact halves go to the even neighbour
      {"0.50", 0},
      {"0000", 0},
      {"-001", -1},
      {"abcd", 0},
      {"1E10", 0},   // outside the 32-bit range
      {"1 2x", 12},  // blanks are skipped
      {"0003", 3},
      {"&h0A", 10},
      {"&O17", 15},
      {"3.5 ", 4},
      {"2D+1", 20},
      {"1,50", 1},  // a comma ends the number
      {"\t\n 7", 7},
      {" -1 ", -1},
      {"1E-9", 0},
      {"9E99", 0},
      {"\xC3\xA9"
       "1.",
       0},                // é1. : four characters, no number
      {"12\xC3\xA9", 0},  // three characters
      {"", 0},
      {"001", 0},
      {"00001", 0},
      {"0001 ", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProductNumberFromArgument(c.text), c.product_number)
        << "argument \"" << c.text << "\"";
  }
}

TEST(ReadNumberTest, StopsAtTheFirstCharacterThatCannotContinue) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12.5.3", 12.5}, {"1e3", 1000},  {"1E", 1},     {"1E+", 1},
      {"+4", 4},        {"- 3", -3},    {"&HFF", 255}, {"&HG", 0},
      {"&", 0},         {"&X1", 0},     {".5", 0.5},   {"$5", 0},
      {"&O8", 0},       {"1 0 0", 100}, {"1d2", 100},  {"", 0},
  };
  for (const auto& c : cases) {
    const auto value = ReadNumber(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*value, c.value) << c.text;
  }
  EXPECT_FALSE(ReadNumber("1E999").has_value());
  EXPECT_FALSE(ReadNumber("&HFFFFFFFFFFFFFFFFF").has_value());
  EXPECT_EQ(ReadNumber("1E-999"), 0.0);
}

TEST(RoundToInt32Test, RoundsHalvesToEvenWithinRange) {
  const struct {
    double value;
    std::optional<std::int32_t> rounded;
  } cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {0.51, 1},
      {2.4999, 2},
      {2147483647.0, 2147483647},
      {2147483647.5, std::nullopt},
      {-2147483648.0, -2147483647 - 1},
      {-2147483648.6, std::nullopt},
      {1e10, std::nullopt},
      {INFINITY, std::nullopt},
      {NAN, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToInt32(c.value), c.rounded) << c.value;
  }
}

}  // namespace
}  // namespace quillprobe::app
