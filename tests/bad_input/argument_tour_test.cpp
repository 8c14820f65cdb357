// Hostile argument texts: every length from 0 to 300 characters, characters
// outside ASCII, invalid UTF-8. Each either names a product number or ends
// the run with status 2 before the registry or any file is touched.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "app/program.h"
#include "registry/memory_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/recording_registry.h"

namespace quillprobe::app {
namespace {

// A platform whose argument text the test chooses and whose files all
// fail; it counts the file calls, which no bad argument may reach.
class ArgumentOnlyPlatform final : public AppPlatform {
 public:
  explicit ArgumentOnlyPlatform(std::string argument)
      : argument_(std::move(argument)) {}

  std::string ArgumentText() override { return argument_; }
  std::optional<std::uint64_t> FileLength(std::string_view) override {
    ++file_calls;
    return std::nullopt;
  }
  std::uint32_t GetFileVersionInfoSize(std::string_view,
                                       std::uint32_t*) override {
    ++file_calls;
    return 0;
  }
  bool GetFileVersionInfo(std::string_view, std::uint32_t,
                          std::span<std::uint8_t>) override {
    ++file_calls;
    return false;
  }
  std::string ToUpper(std::string_view text) override {
    return std::string(text);
  }

  int file_calls = 0;

 private:
  std::string argument_;
};

// How the run ends for a product number the argument gave: 0 or less is a
// bad argument; 1 and 2 have products whose (empty) record holds no
// install directory; other numbers name no product.
RunEnd EndFor(std::int32_t product_number) {
  if (product_number <= 0) return RunEnd::kBadArgument;
  if (product_number <= 2) return RunEnd::kNoInstallDirectory;
  return RunEnd::kNoProduct;
}

class ArgumentTourTest : public testing::Test {
 protected:
  // Runs the program on `argument`; checks that it ends as its product
  // number says and that only a product reaches the registry.
  void ExpectRun(const std::string& argument, std::int32_t product_number) {
    SCOPED_TRACE(testing::PrintToString(argument));
    EXPECT_EQ(ProductNumberFromArgument(argument), product_number);
    registry_.ClearCalls();
    ArgumentOnlyPlatform platform(argument);
    const RunEnd end = Main(platform, registry_, boxes_);
    EXPECT_EQ(end, EndFor(product_number));
    EXPECT_EQ(registry_.Calls().empty(), end != RunEnd::kNoInstallDirectory);
    EXPECT_EQ(platform.file_calls, 0);
    EXPECT_TRUE(boxes_.shown().empty());
  }

  registry::MemoryRegistry memory_;
  registry::RecordingRegistry registry_{memory_};
  test::CapturedMessageBoxes boxes_;
};

// Each filler repeated 0 to 300 times. Only the repetition that makes four
// UTF-16 code units can name a product; an invalid byte is one unit, as the
// replacement character it stands for, and a code point above U+FFFF two.
TEST_F(ArgumentTourTest, EveryLengthUpTo300Characters) {
  const struct {
    std::string_view filler;
    std::size_t units;
    std::int32_t product_number_at_four_units;
  } fillers[] = {
      {"1", 1, 1111},
      {"0", 1, 0},
      {" ", 1, 0},
      {"&", 1, 0},
      {"\xC3\xA9", 1, 0},          // é
      {"\xF0\x9F\x98\x80", 2, 0},  // an emoji: a surrogate pair
      {"1\x80", 2, 1},             // a stray continuation byte
      {"2\xFF", 2, 2},             // a byte that never occurs in UTF-8
      {"1\xE2\x82", 3, 0},         // a sequence cut short: each byte alone
  };
  for (const auto& f : fillers) {
    std::string argument;
    for (std::size_t count = 0; count <= 300; ++count) {
      const bool four_units = count * f.units == 4;
      ExpectRun(argument, four_units ? f.product_number_at_four_units : 0);
      argument += f.filler;
    }
  }
}

TEST_F(ArgumentTourTest, OddCharactersInFourCharacterTexts) {
  const struct {
    const char* argument;
    std::int32_t product_number;
  } cases[] = {
      {"0001\x80", 0},         // five characters: the invalid byte counts
      {"0002\xC3", 0},         // a lead byte without its continuation
      {"123\xED\xA0\x80", 0},  // an encoded surrogate: three invalid bytes
      {"\xC0\xB1"
       "23",
       0},             // an overlong "1" is two invalid bytes, no digit
      {"001\xF0", 1},  // a lone lead byte is one character
      {"12\xF0\x9F\x98\x80", 12},  // digits, then a surrogate pair
      {"\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93\xEF\xBC\x94", 0},  // fullwidth
      {"\xD9\xA3\xD9\xA3\xD9\xA3\xD9\xA3", 0},  // Arabic-Indic digits
      {"1\xC2\xA0"
       "2",
       0},  // three characters: a no-break space is one
      {"1\xC2\xA0"
       "20",
       1},            // a no-break space is not skipped: it ends the 1
      {"\r\n12", 0},  // a carriage return is not skipped
      {"12\r\n", 12},
      {"\x7F"
       "001",
       0},
      {"1\x1B[m", 1},  // an escape sequence
  };
  for (const auto& c : cases) ExpectRun(c.argument, c.product_number);

  // NUL cannot reach the program through a command line, but the reading
  // takes it as an ordinary character all the same.
  ExpectRun(std::string("1\0\0\0", 4), 1);
  ExpectRun(std::string("\0\0\0\0", 4), 0);
}

}  // namespace
}  // namespace quillprobe::app
