// The process's console as the tool sees it, one implementation per
// platform: its arguments as UTF-8, whether a person sits at standard input,
// and standard output set up for UTF-8 while the tool runs.
#pragma once

#include <string>
#include <vector>

namespace quillprobe::quillreg {

// The arguments after the program's name, in UTF-8. On Windows they are
// read from the wide command line, whatever the code page.
std::vector<std::string> ProcessArguments(int argc, char** argv);

// Whether standard input is a terminal, where a person can answer a
// question (a pipe, a file or the null device is not).
bool StdinIsTerminal();

// Why the platform's registry answers 1009, one "FILE:LINE: reason" a line
// for each hive file of the local registry that does not load; empty where
// it cannot tell.
std::string ExplainBadDatabase();

// While it lives, text written to standard output in UTF-8 shows as such
// on a console. Nothing to do where the terminal speaks UTF-8 already.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  // The console's code page to restore; only Windows has one.
  [[maybe_unused]] unsigned previous_code_page_ = 0;
};

}  // namespace quillprobe::quillreg
