#include <unistd.h>

#include "registry/local_registry.h"
#include "registry/platform_registry.h"
#include "registry/predefined_roots.h"
#include "tools/quillreg/platform_console.h"

namespace quillprobe::quillreg {

std::vector<std::string> ProcessArguments(int argc, char** argv) {
  if (argc <= 1) return {};
  return {argv + 1, argv + argc};
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::string ExplainBadDatabase() {
  auto* const local =
      dynamic_cast<registry::LocalRegistry*>(&registry::PlatformRegistry());
  if (local == nullptr) return {};
  std::string reasons;
  for (const registry::HKey root : registry::kPredefinedRoots) {
    if (const auto error = local->CheckHive(root)) {
      if (!reasons.empty()) reasons += '\n';
      reasons += error->Message();
    }
  }
  return reasons;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace quillprobe::quillreg
