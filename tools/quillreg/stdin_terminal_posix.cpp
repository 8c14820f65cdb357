#include <unistd.h>

#include "tools/quillreg/stdin_terminal.h"

namespace quillprobe::quillreg {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

}  // namespace quillprobe::quillreg
