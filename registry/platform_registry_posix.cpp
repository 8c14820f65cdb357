// Without a platform registry the program runs on an in-memory registry that
// lives as long as the process.
#include "registry/memory_registry.h"
#include "registry/platform_registry.h"

namespace quillprobe::registry {

RegistryApi& PlatformRegistry() {
  static MemoryRegistry registry;
  return registry;
}

}  // namespace quillprobe::registry
