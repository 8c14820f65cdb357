// The usage texts shown by /? and --help.
#pragma once

#include <optional>
#include <string_view>

namespace quillprobe::quillreg {

// The tool's overview: its commands and the common conventions.
std::string_view ToolHelp();

// The usage of one command (query, add, delete, import, export; any case);
// nullopt for a name that is no command.
std::optional<std::string_view> CommandHelp(std::string_view command);

}  // namespace quillprobe::quillreg
