// quillreg: the registry from the command line. Runs one command on the
// platform's registry and exits with its status.
#include <iostream>

#include "registry/platform_registry.h"
#include "tools/quillreg/platform_console.h"
#include "tools/quillreg/quillreg.h"

int main(int argc, char** argv) {
  using namespace quillprobe;
  const quillreg::Utf8ConsoleOutput utf8_output;
  quillreg::Console console{std::cin, std::cout, std::cerr,
                            quillreg::StdinIsTerminal(),
                            quillreg::ExplainBadDatabase};
  const int status = quillreg::Run(quillreg::ProcessArguments(argc, argv),
                                   registry::PlatformRegistry(), console);
  std::cout.flush();
  return status;
}
