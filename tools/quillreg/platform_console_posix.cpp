#include <unistd.h>

#include "tools/quillreg/platform_console.h"

namespace quillprobe::quillreg {

std::vector<std::string> ProcessArguments(int argc, char** argv) {
  if (argc <= 1) return {};
  return {argv + 1, argv + argc};
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace quillprobe::quillreg
