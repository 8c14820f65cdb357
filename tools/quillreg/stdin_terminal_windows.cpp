#include <windows.h>

#include "tools/quillreg/stdin_terminal.h"

namespace quillprobe::quillreg {

// A console input handle answers GetConsoleMode; a pipe, a file or NUL does
// not (NUL is a character device, so the C runtime's _isatty would take it
// for a terminal).
bool StdinIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

}  // namespace quillprobe::quillreg
