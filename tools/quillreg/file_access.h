// The files that import reads and export writes, named by UTF-8 text on
// every platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillprobe::quillreg {

// The whole content of the file `name`, or nullopt with the reason in
// *error.
std::optional<std::string> ReadWholeFile(std::string_view name,
                                         std::string* error);

// Whether something exists at `name`.
bool FileExists(std::string_view name);

// Replaces the file `name` with `content`, or creates it. The content goes
// to a temporary file beside it first, which then takes the file's place,
// so a failure leaves any earlier file as it was. False with the reason in
// *error on failure.
bool ReplaceFile(std::string_view name, std::string_view content,
                 std::string* error);

}  // namespace quillprobe::quillreg
