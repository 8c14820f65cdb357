// The local registry in the conformance suite, on hive files in a scratch
// prefix of its own.
#include <memory>

#include "registry/forwarding_registry.h"
#include "registry/local_registry.h"
#include "tests/registry/registry_conformance.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::registry {
namespace {

// A local registry together with the prefix it lives in.
struct ScratchPrefix {
  test::ScratchDirectory directory{test::MemoryBackedTempDirectory()};
  LocalRegistry registry{directory.path()};
};

class ScratchLocalRegistry final : private ScratchPrefix,
                                   public ForwardingRegistry {
 public:
  ScratchLocalRegistry() : ForwardingRegistry(ScratchPrefix::registry) {}
};

INSTANTIATE_TEST_SUITE_P(
    Local, RegistryConformanceTest,
    ::testing::Values(ConformanceTarget{
        "Local", [] { return std::make_unique<ScratchLocalRegistry>(); }}),
    ConformanceTargetName);

}  // namespace
}  // namespace quillprobe::registry
