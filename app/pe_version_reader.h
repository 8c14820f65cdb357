// Finds the version resource in a PE image (PE32 or PE32+).
//
// This is how the program gets version information where the platform has no
// version-information call of its own. The parser never reads outside the
// image it is given: a truncated or hostile image yields nullopt.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "app/image_source.h"

namespace quillprobe::app {

// The raw bytes of the image's first RT_VERSION resource (first name or id,
// first language), exactly as they are stored: the block the Windows
// version-information call returns. nullopt when the image is not a PE image,
// has no version resource (or one of no bytes), or any structure on the way
// lies outside it.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(
    std::span<const std::uint8_t> image);

// The same, reading the image piece by piece from `image`.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(
    ImageSource& image);

}  // namespace quillprobe::app
