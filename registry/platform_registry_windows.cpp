// On Windows the program works on the real registry.
#include "registry/platform_registry.h"
#include "registry/registry_windows.h"

namespace quillprobe::registry {

RegistryApi& PlatformRegistry() {
  static WindowsRegistry registry;
  return registry;
}

}  // namespace quillprobe::registry
