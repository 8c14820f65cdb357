// Reading one key of a hive file in the canonical form (reg_file_writer.h)
// without reading the rest of the file.
//
// In that form every key has a section, sections come in depth-first order
// with subkeys in case-insensitive order, and every section after the header
// starts a line right after a blank line ("\n\n["), which no value line can
// contain. Ordered by their paths compared component by component
// (case-insensitively, a path before the paths below it), the sections are
// therefore sorted, and a key's section is found by binary search over the
// file's bytes; its subkeys are the sections of depth one below it, each
// found after the subtree of the one before.
//
// Only files that this system wrote and nobody changed since are known to be
// in that form (see Hive); on any other file the result means nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "registry/reg_file.h"

namespace quillprobe::registry {

// Random access to the bytes of one hive file.
class HiveBytes {
 public:
  virtual ~HiveBytes() = default;
  virtual std::uint64_t size() const = 0;
  // Up to `length` bytes at `offset`, fewer at the end; false on failure.
  virtual bool Read(std::uint64_t offset, std::size_t length,
                    std::string* bytes) = 0;
};

// One key as its section describes it.
struct CanonicalKey {
  std::vector<RegValueLine> values;  // in the order of the file
  std::vector<std::string> subkeys;  // names, in the order of the file
};

// The key at `path` (the root's name first, as written in the file), or
// nullopt when the file has no section of that path or is not in the
// canonical form where it was read.
std::optional<CanonicalKey> ReadCanonicalKey(HiveBytes& bytes,
                                             std::span<const std::string> path);

}  // namespace quillprobe::registry
