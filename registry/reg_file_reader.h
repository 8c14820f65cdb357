// Reads .reg files: the registry editor's export format, and the hive files
// of the local registry, which are written in it.
//
// Accepted: "Windows Registry Editor Version 5.00" and "REGEDIT4" as the
// first line; UTF-8 with or without its byte order mark, or UTF-16LE with
// its byte order mark; LF or CRLF line ends; blank lines and lines starting
// with ';' (comments); leading and trailing blanks on every line.
//
//   [ROOT\path\to\key]      a section: the key, created when missing
//   [-ROOT\path\to\key]     deletes the key and everything below it
//   "name"="text"           REG_SZ: the text and a terminating NUL
//   @=...                   the unnamed value ("" as a name says the same)
//   "name"=dword:1a2b       REG_DWORD: up to 8 hex digits, little-endian
//   "name"=hex:01,02        REG_BINARY: hex bytes, comma-separated
//   "name"=hex(N):01,02     any type N (hex digits, up to ffffffff)
//   "name"=-                deletes the value
//
// A list of hex bytes continues on the next line when its line ends with a
// backslash. In a Version 5.00 file the bytes of hex(1), hex(2) and hex(7)
// are UTF-16LE, as the registry stores strings; they are returned as UTF-8
// (see StringDataFromUtf16Le). In a REGEDIT4 file they are taken as they are.
//
// Quoted names and texts know three escapes: \\ and \" as the registry
// editor writes them, and \xHH (two hex digits), the byte HH, which this
// system writes for control characters and bytes that are not UTF-8. A key
// path with such a name is written quoted as a whole, with the same escapes:
// ["ROOT\\key\x0aname"] (the separators then read \\). The registry editor
// never writes \x or a quote right after '[', so its files read the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "registry/reg_file.h"

namespace quillprobe::registry {

// Receives what a .reg file says, in the order of the file, as it is read.
// What it is handed lives for the call only. A sink refuses what it cannot
// take by returning the reason, which ends the reading with an error at the
// line being read.
class RegSink {
 public:
  virtual ~RegSink() = default;

  // The header line.
  virtual void Format(RegFormat /*format*/) {}

  // A section: as RegSection says.
  virtual std::optional<std::string> Section(
      std::size_t line, bool remove,
      std::span<const std::string_view> path) = 0;

  // A value line of the section last handed over: as RegValueLine says.
  virtual std::optional<std::string> Value(
      std::size_t line, std::string_view name, bool remove, std::uint32_t type,
      std::span<const std::uint8_t> data) = 0;
};

// Reads `bytes` (the whole file) into `sink`. Returns the first place where
// the file does not parse, or the sink refused it; `file_name` goes into the
// error.
std::optional<ParseError> ReadRegFile(std::string_view bytes,
                                      std::string_view file_name,
                                      RegSink& sink);

// The document in `bytes`, or the first place where it does not parse.
std::variant<RegDocument, ParseError> ReadRegFile(std::string_view bytes,
                                                  std::string_view file_name);

}  // namespace quillprobe::registry
