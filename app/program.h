// The program's single pass, from the argument text to the version string.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/app_platform.h"
#include "registry/message_box.h"
#include "registry/registry_api.h"

namespace quillprobe::app {

// How far a run got; the process exit status.
enum class RunEnd : int {
  kVersionFormed = 0,
  kRegistryError = 1,  // binding to the product record failed
  kBadArgument = 2,    // not four characters naming a number above 0
  kNoProduct = 3,      // the number names no product
  kNoInstallDirectory = 4,
  kEmptyExecutable = 5,  // length 0: missing, unreadable or empty
  kNoVersion = 6,
};

// The product number that the argument text names, or 0: the text must be
// exactly four characters (UTF-16 code units, as Windows counts them; a byte
// that is not valid UTF-8 counts as one) and read as a number that rounds
// into the 32-bit signed range.
std::int32_t ProductNumberFromArgument(std::string_view argument_text);

// Examines product `product_number` (greater than 0).
RunEnd InspectProduct(std::int32_t product_number,
                      registry::RegistryApi& registry,
                      registry::MessageBoxSink& message_box,
                      AppPlatform& platform);

// The whole run: reads the argument text and inspects the product it names.
// Shows nothing of its own; an error that ends the run gives kRegistryError.
RunEnd Main(AppPlatform& platform, registry::RegistryApi& registry,
            registry::MessageBoxSink& message_box);

}  // namespace quillprobe::app
