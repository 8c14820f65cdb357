// Constants and errors shared by the files that implement CRegistry.
#pragma once

#include <cstdint>
#include <limits>

#include "registry/cregistry.h"
#include "registry/raised_error.h"

namespace quillprobe::registry::internal {

// Access masks the class asks for.
inline constexpr std::uint32_t kAccessAll = 63;       // the five below, link
inline constexpr std::uint32_t kAccessSnapshot = 31;  // query, set, create,
                                                      // enumerate, notify
inline constexpr std::uint32_t kAccessSetValue = 6;   // set value, create key

// Counts and positions are 16-bit signed.
inline constexpr std::int32_t kMaxCount =
    std::numeric_limits<std::int16_t>::max();

inline RaisedError SnapshotError() {
  return RaisedError(kErrorCannotOpenKey, "GetKeyInfo", "Unable to open Key");
}

inline RaisedError OverflowError() {
  return RaisedError(runtime_error_number::kOverflow, "CRegistry", "Overflow");
}

inline RaisedError OutOfRangeError() {
  return RaisedError(runtime_error_number::kSubscriptOutOfRange, "CRegistry",
                     "Subscript out of range");
}

}  // namespace quillprobe::registry::internal
