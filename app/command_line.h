// The argument text of a command line: what follows the program's own name.
#pragma once

#include <string_view>

namespace quillprobe::app {

// `command_line` without the program's name and the blanks (spaces, tabs)
// that follow it. A name that begins with a double quote runs to the next
// double quote, blanks included; any other name runs to the first blank.
// Everything after that is kept as it stands, trailing blanks included.
std::string_view ArgumentTextOf(std::string_view command_line);

}  // namespace quillprobe::app
