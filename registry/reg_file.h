// The contents of a .reg file, the registry editor's export format, as the
// reader returns them and an import applies them.
//
// A file is a header line ("Windows Registry Editor Version 5.00", or
// "REGEDIT4") and sections. A section names a key by its full path, the
// root's name first, and lists values to set or delete in it; a section
// whose path begins with '-' deletes the key and everything below it.
// Sections and values keep the order of the file, since a later one can undo
// an earlier one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillprobe::registry {

// Where and why a .reg file does not parse.
struct ParseError {
  std::string file;
  std::size_t line = 0;  // 1-based
  std::string reason;

  // "FILE:LINE: reason", the form tools report.
  std::string Message() const {
    return file + ":" + std::to_string(line) + ": " + reason;
  }
};

enum class RegFormat {
  kVersion5,  // Windows Registry Editor Version 5.00: strings in UTF-16LE
  kRegedit4,  // REGEDIT4: strings in the code page (UTF-8 here)
};

// One value line: `"name"=data`, `@=data`, or `"name"=-` to delete it.
struct RegValueLine {
  std::size_t line = 0;
  std::string name;  // empty for the unnamed value, `@`
  bool remove = false;
  std::uint32_t type = 0;
  // As the registry hands it to its callers: for string types in a Version
  // 5.00 file, converted from UTF-16LE to UTF-8.
  std::vector<std::uint8_t> data;
};

// One section: `[PATH]` and its values, or `[-PATH]`.
struct RegSection {
  std::size_t line = 0;
  // The key path split at its separators, the root's name first; never
  // empty, no component empty.
  std::vector<std::string> path;
  bool remove = false;
  std::vector<RegValueLine> values;
};

struct RegDocument {
  RegFormat format = RegFormat::kVersion5;
  std::vector<RegSection> sections;
};

}  // namespace quillprobe::registry
