// Arbitrary bytes as an executable image: the PE reader looks for the
// version resource and the version string is formed from what it finds, as
// the program does with a file on disk. The same bytes also serve as a
// version block themselves, since a resource may hold anything.
//
// Beyond the sanitizers' checks: the reader asks its image source only for
// bytes inside the image, a block it returns came out of the image, and a
// version string is empty or has the MMM.mmmm.bbbb.rrrr shape.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "app/exe_examination.h"
#include "app/pe_version_reader.h"
#include "fuzz/fuzz_check.h"

namespace {

using quillprobe::fuzz::Check;

// An image source that refuses to serve a read outside the image: a caller
// that asks for one has skipped its bounds check.
class StrictSource final : public quillprobe::app::ImageSource {
 public:
  explicit StrictSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t Size() const override { return bytes_.size(); }

  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    Check(offset <= bytes_.size() && out.size() <= bytes_.size() - offset,
          "the reader asks only for bytes inside the image");
    if (!out.empty())
      std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

void CheckVersionString(const std::string& text) {
  if (text.empty()) return;
  static constexpr char kShape[] = "ddd.dddd.dddd.dddd";
  Check(text.size() == sizeof kShape - 1, "a version string has 18 characters");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    Check(kShape[i] == 'd' ? digit : text[i] == '.',
          "a version string is MMM.mmmm.bbbb.rrrr");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  StrictSource source(bytes);
  const auto block = quillprobe::app::ReadVersionResource(source);
  Check(block == quillprobe::app::ReadVersionResource(bytes),
        "an image source and a span give the same block");
  if (block) {
    Check(!block->empty() && block->size() <= size,
          "a block is a non-empty piece of the image");
    CheckVersionString(quillprobe::app::VersionStringFromBlock(*block));
  }

  CheckVersionString(quillprobe::app::VersionStringFromBlock(bytes));
  return 0;
}
