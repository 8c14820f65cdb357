// The memory registry in the conformance suite.
#include <memory>

#include "registry/memory_registry.h"
#include "tests/registry/registry_conformance.h"

namespace quillprobe::registry {
namespace {

INSTANTIATE_TEST_SUITE_P(
    Memory, RegistryConformanceTest,
    ::testing::Values(ConformanceTarget{
        "Memory", [] { return std::make_unique<MemoryRegistry>(); }}),
    ConformanceTargetName);

}  // namespace
}  // namespace quillprobe::registry
