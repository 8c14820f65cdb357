// The commands of quillreg. Each takes the arguments that follow its name
// and returns the exit status; each shows its usage when asked for help.
#pragma once

#include <span>
#include <string>

#include "registry/registry_api.h"
#include "tools/quillreg/quillreg.h"

namespace quillprobe::quillreg {

int RunQuery(std::span<const std::string> args, registry::RegistryApi& registry,
             Console& console);
int RunAdd(std::span<const std::string> args, registry::RegistryApi& registry,
           Console& console);
int RunDelete(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console);
int RunImport(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console);
int RunExport(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console);

}  // namespace quillprobe::quillreg
