// Random access to the bytes of an executable image.
//
// The PE reader asks only for the few pieces it needs (headers, section
// table, resource directories, the resource itself), so a large file is never
// read whole. An image held in memory and an open file both serve.
#pragma once

#include <cstdint>
#include <span>

namespace quillprobe::app {

class ImageSource {
 public:
  virtual ~ImageSource() = default;

  // The length of the image in bytes.
  virtual std::uint64_t Size() const = 0;

  // Fills `out` with the bytes that start at `offset`. The caller has checked
  // that they lie inside Size(); false when they cannot all be read anyway
  // (an I/O error, a file that shrank).
  virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

}  // namespace quillprobe::app
