#include "app/command_line.h"

#include <gtest/gtest.h>

namespace quillprobe::app {
namespace {

TEST(ArgumentTextOfTest, DropsTheProgramNameAndTheBlanksAfterIt) {
  const struct {
    std::string_view command_line;
    std::string_view argument_text;
  } cases[] = {
      {"quillprobe.exe 0001", "0001"},
      {"\"C:\\Program Files\\q\\quillprobe.exe\" 0001", "0001"},
      {"\"C:\\Program Files\\q\\quillprobe.exe\"0001", "0001"},
      {"quillprobe \t  0001", "0001"},
      {"quillprobe\t0001", "0001"},
      {"quillprobe 0001  ", "0001  "},      // trailing blanks stay
      {"quillprobe \"00 1\"", "\"00 1\""},  // quotes of the argument stay
      {"quillprobe 1 2 x", "1 2 x"},
      {"quillprobe", ""},
      {"quillprobe   ", ""},
      {"\"C:\\no closing quote 0001", ""},
      {"\"\" 0001", "0001"},
      {"", ""},
      {"C:\\\xC3\x9C\\q.exe \xC3\x9C\xC3\x9C", "\xC3\x9C\xC3\x9C"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ArgumentTextOf(c.command_line), c.argument_text)
        << c.command_line;
  }
}

}  // namespace
}  // namespace quillprobe::app
