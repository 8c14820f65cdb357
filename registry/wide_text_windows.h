// Conversions between the system's UTF-8 text and the UTF-16 text of the
// Windows API, made at the boundary of every Windows call.
//
// Both directions replace what cannot be converted (bytes that are not
// UTF-8, unpaired surrogates) with U+FFFD, as the ANSI functions do under a
// UTF-8 code page. Embedded NULs are converted like any other character.
#pragma once

#include <string>
#include <string_view>

namespace quillprobe::registry {

std::wstring WideFromUtf8(std::string_view text);

std::string Utf8FromWide(std::wstring_view text);

// The text up to its first NUL: what an API that takes a C string sees.
std::string_view UpToFirstNul(std::string_view text);

}  // namespace quillprobe::registry
