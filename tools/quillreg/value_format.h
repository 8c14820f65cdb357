// Values as reg.exe shows them: the type's name, and the data on one line.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillprobe::quillreg {

// REG_SZ, REG_DWORD, ...; a type without a name shows as
// REG_UNKNOWN(0x<number>).
std::string TypeName(std::uint32_t type);

// The data on one line:
//   REG_SZ, REG_EXPAND_SZ   the text up to its first NUL
//   REG_MULTI_SZ            the strings joined by \0, the list's terminating
//                           NULs left out
//   REG_DWORD               0x and the number in hex (REG_DWORD_BIG_ENDIAN
//                           read big-endian), REG_QWORD likewise
//   every other type        the bytes in upper-case hex, without separators
// A REG_DWORD or REG_QWORD whose data is not 4 or 8 bytes long shows its
// bytes in hex, since it holds no number.
std::string FormatData(std::uint32_t type, std::span<const std::uint8_t> data);

}  // namespace quillprobe::quillreg
