// Arbitrary bytes as the program's argument text: the numeric reading, the
// rounding and the four-character rule that turn it into a product number.
//
// Beyond the sanitizers' checks: a number read is finite and does not change
// when blanks, tabs and line feeds are removed; rounding moves a value by at
// most one half, an exact half to the even neighbour, and fails only outside
// the 32-bit range; a product number other than 0 is the rounded reading of
// the text. The first eight bytes also go to the rounding as a raw double,
// so that values no text reaches easily (near the range's ends, NaN,
// infinities, subnormals) are rounded too.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/numeric_reading.h"
#include "app/program.h"
#include "fuzz/fuzz_check.h"

namespace {

using quillprobe::fuzz::Check;

void CheckRounding(double value) {
  const auto rounded = quillprobe::app::RoundToInt32(value);
  if (!std::isfinite(value)) {
    Check(!rounded, "NaN and infinities do not round");
    return;
  }
  if (!rounded) {
    Check(value < -2147483648.5 || value >= 2147483647.5,
          "rounding fails only outside the 32-bit range");
    return;
  }
  const double distance = std::fabs(value - static_cast<double>(*rounded));
  Check(distance <= 0.5, "rounding moves a value by at most one half");
  if (distance == 0.5) Check(*rounded % 2 == 0, "halves round to even");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto number = quillprobe::app::ReadNumber(text);
  std::string compact;
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') compact.push_back(c);
  }
  Check(quillprobe::app::ReadNumber(compact) == number,
        "blanks, tabs and line feeds do not change the number");
  if (number) {
    Check(std::isfinite(*number), "a number read is finite");
    CheckRounding(*number);
  }

  const std::int32_t product = quillprobe::app::ProductNumberFromArgument(text);
  if (product != 0) {
    Check(number && quillprobe::app::RoundToInt32(*number) == product,
          "a product number is the rounded reading of the text");
  }

  if (size >= sizeof(double)) {
    double raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    CheckRounding(raw);
  }
  return 0;
}
