// The simple upper-case mappings of Unicode, as data.
//
// The table itself is generated (tools/gen_unicode_case.py) into
// unicode_case_table.inc; this header gives it its types. Ranges are sorted by
// `first` and never overlap, so a binary search on `first` finds the only
// range that can hold a code point.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillprobe::registry::unicode_case {

// Maps first, first + stride, ..., last (stride 1 or 2) to each code point
// plus `delta`. With stride 2 the code points in between have no mapping.
struct UpperRange {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint8_t stride;
};

#include "registry/unicode_case_table.inc"

}  // namespace quillprobe::registry::unicode_case
