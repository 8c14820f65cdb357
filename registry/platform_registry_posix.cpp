// On systems without a registry of their own the platform registry is the
// local registry under the local prefix. Without a prefix (no home directory
// to be found) it is an in-memory registry that lasts as long as the
// process.
#include <memory>

#include "registry/local_prefix.h"
#include "registry/local_registry.h"
#include "registry/memory_registry.h"
#include "registry/platform_registry.h"

namespace quillprobe::registry {

RegistryApi& PlatformRegistry() {
  static const std::unique_ptr<RegistryApi> registry =
      []() -> std::unique_ptr<RegistryApi> {
    const std::filesystem::path prefix = LocalPrefix();
    if (prefix.empty()) return std::make_unique<MemoryRegistry>();
    return std::make_unique<LocalRegistry>(prefix);
  }();
  return *registry;
}

}  // namespace quillprobe::registry
