// quillreg: the registry from the command line. Runs one command on the
// platform's registry and exits with its status.
#include <iostream>
#include <string>
#include <vector>

#include "registry/platform_registry.h"
#include "tools/quillreg/quillreg.h"
#include "tools/quillreg/stdin_terminal.h"

int main(int argc, char** argv) {
  using namespace quillprobe;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  quillreg::Console console{std::cin, std::cout, std::cerr,
                            quillreg::StdinIsTerminal()};
  const int status = quillreg::Run(args, registry::PlatformRegistry(), console);
  std::cout.flush();
  return status;
}
