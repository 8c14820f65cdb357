#include "app/command_line.h"

namespace quillprobe::app {

std::string_view ArgumentTextOf(std::string_view command_line) {
  constexpr std::string_view kBlanks = " \t";
  std::size_t end_of_name = 0;
  if (command_line.starts_with('"')) {
    const auto closing = command_line.find('"', 1);
    end_of_name =
        closing == std::string_view::npos ? command_line.size() : closing + 1;
  } else {
    end_of_name = command_line.find_first_of(kBlanks);
  }
  const auto start = command_line.find_first_not_of(kBlanks, end_of_name);
  return start == std::string_view::npos ? std::string_view()
                                         : command_line.substr(start);
}

}  // namespace quillprobe::app
