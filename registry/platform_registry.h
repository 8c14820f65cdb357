// The registry of the platform the program runs on: advapi32 on Windows, the
// local registry elsewhere. It lives for the whole process.
#pragma once

#include "registry/registry_api.h"

namespace quillprobe::registry {

RegistryApi& PlatformRegistry();

}  // namespace quillprobe::registry
