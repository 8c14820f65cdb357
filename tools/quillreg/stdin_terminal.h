// Whether the process's standard input is a terminal, where a person can
// answer a question. One implementation per platform.
#pragma once

namespace quillprobe::quillreg {

bool StdinIsTerminal();

}  // namespace quillprobe::quillreg
