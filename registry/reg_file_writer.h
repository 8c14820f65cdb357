// Writes a hive, a tree of keys under one root, as a .reg file in the
// canonical form of this system, the form every hive file takes once the
// local registry has written it:
//
// - UTF-8 without a byte order mark, LF line ends (the reader also takes
//   CRLF), the header "Windows Registry Editor Version 5.00", a blank line;
// - one section per key, the root included and empty keys too, in depth-first
//   order with subkeys in their case-insensitive order; each section is its
//   header line, its values in insertion order, and a blank line;
// - a value as "name"="text" only for REG_SZ data that is valid UTF-8 ending
//   in exactly one NUL, without other NULs or control characters but tab;
//   as dword:xxxxxxxx for REG_DWORD of exactly 4 bytes; as hex: for
//   REG_BINARY; everything else as hex(N): with N in lower-case hex, string
//   types (1, 2, 7) in UTF-16LE (see StringDataToUtf16Le). Lists of bytes wrap
//   after 80 columns with a trailing backslash, as the registry editor does;
// - names quoted with the escapes \\ and \", and \xHH for control characters
//   and bytes that are not UTF-8; a key path that holds such a name is
//   quoted as a whole (see reg_file_reader.h), others are written as they
//   are. Deletions are never written.
//
// What this writes, ReadRegFile reads back to the same keys and values, byte
// for byte. Key classes are not part of the format and are not written.
//
// The same text can also be had in the registry editor's own encoding,
// UTF-16LE with its byte order mark and CRLF line ends, for files meant to
// be imported on Windows.
#pragma once

#include <string>
#include <string_view>

#include "registry/key_tree.h"
#include "registry/tree_change.h"

namespace quillprobe::registry {

enum class RegFileEncoding {
  kCanonical,       // UTF-8 without a byte order mark, LF
  kRegistryEditor,  // UTF-16LE with its byte order mark, CRLF
};

// The .reg file of the tree under `root`; the root's name begins every key
// path. `size_hint`, the size the text is likely to have (that of the file
// it replaces), saves reallocations.
std::string WriteRegFile(
    const Key& root, std::size_t size_hint = 0,
    RegFileEncoding encoding = RegFileEncoding::kCanonical);

// One change as .reg text that applies it: a section, [PATH] or [-PATH], and
// for a value its line, "name"=data or "name"=-, then a blank line. The path
// begins with `root_name` and is written as WriteRegFile writes paths.
std::string WriteRegChange(std::string_view root_name,
                           const TreeChange& change);

}  // namespace quillprobe::registry
