// The journal at the end of a hive file: changes appended to the canonical
// text instead of rewriting it.
//
// A hive file that the local registry keeps is its canonical text (see
// reg_file_writer.h) followed by zero or more journal records, each one
// change in .reg syntax (see WriteRegChange), so that the whole file still
// reads, in order, as the .reg file of the hive. Each record is framed by a
// comment line that gives the length of the text after it and a checksum
// of that text:
//
//   ; journal 62 5c0e4e1d3b2a7f90
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software]
//   "Last Run"="3"
//   <blank line>
//
// so that a record cut short by a crash or still being written is known:
// such a torn record at the end of the file is not part of the hive, and
// the next writer cuts it off before appending. A frame whose text is all
// there but does not match its checksum is damage, unless nothing follows
// it (a crash can leave the end of a file filled with anything). Only a
// line of exactly this form is a frame; other comments are comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillprobe::registry {

// The frame line and `body`: one record as it is appended.
std::string FrameJournalRecord(std::string_view body);

// The records found in `bytes`, which must hold nothing but records, the
// last one possibly torn.
struct JournalRecords {
  std::vector<std::string_view> bodies;  // into `bytes`, in order
  std::size_t end = 0;                   // where the last whole record ends
};
// nullopt when `bytes` hold anything else: text that is no frame, or a
// damaged record that is not the last.
std::optional<JournalRecords> ReadJournalRecords(std::string_view bytes);

// How much of a whole hive file's `bytes` is the hive: all of it, but for a
// torn record at its end. Every frame found is checked; *damaged_line (1
// based) tells where a damaged record that is not the last starts, and the
// result is then 0.
std::size_t UntornLength(std::string_view bytes, std::size_t* damaged_line);

}  // namespace quillprobe::registry
