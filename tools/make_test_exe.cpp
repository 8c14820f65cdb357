// make_test_exe: writes a small PE executable that carries a version
// resource, to try quillprobe out with (see scripts/demo).
//
//   make_test_exe FILE [MAJOR.MINOR.BUILD.REVISION] [--pe32plus]
//
// The version (default 1.0.0.0) becomes both the file and the product
// version; each part is a number from 0 to 65535. Exit status 0 on success,
// 2 for a bad command line, 1 when the file cannot be written.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "tests/support/pe_builder.h"

namespace {

// The four parts of "a.b.c.d", or false.
bool ParseVersion(std::string_view text, std::uint32_t parts[4]) {
  for (int i = 0; i < 4; ++i) {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9' &&
           digits < 5) {
      value = value * 10 + static_cast<std::uint32_t>(text.front() - '0');
      text.remove_prefix(1);
      ++digits;
    }
    if (digits == 0 || value > 0xFFFF) return false;
    parts[i] = value;
    if (i < 3) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
  }
  return text.empty();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillprobe::test;
  std::string file;
  std::uint32_t parts[4] = {1, 0, 0, 0};
  PeKind kind = PeKind::kPe32;
  bool version_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--pe32plus") {
      kind = PeKind::kPe32Plus;
    } else if (file.empty()) {
      file = argument;
    } else if (!version_given && ParseVersion(argument, parts)) {
      version_given = true;
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr,
                 "usage: make_test_exe FILE [MAJOR.MINOR.BUILD.REVISION] "
                 "[--pe32plus]\n");
    return 2;
  }
  const FileVersion version{
      (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3],
      (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
  try {
    WriteBinaryFile(
        file, BuildPeImageWithVersion(kind, WideVersionBlock(version)).bytes);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_test_exe: %s\n", error.what());
    return 1;
  }
  return 0;
}
