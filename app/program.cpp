#include "app/program.h"

#include <exception>
#include <string>

#include "app/exe_examination.h"
#include "app/numeric_reading.h"
#include "app/product_table.h"
#include "registry/unicode_case.h"

namespace quillprobe::app {
std::int32_t ProductNumberFromArgument(std::string_view argument_text) {
  if (registry::Utf16Length(argument_text) != 4) return 0;
  const auto number = ReadNumber(argument_text);
  if (!number) return 0;
  return RoundToInt32(*number).value_or(0);
}

RunEnd InspectProduct(std::int32_t product_number,
                      registry::RegistryApi& registry,
                      registry::MessageBoxSink& message_box,
                      AppPlatform& platform) {
  const std::string key_path = GetProductKey(product_number);
  if (key_path.empty()) return RunEnd::kNoProduct;

  const std::string exe_path =
      GetExePath(key_path, product_number, registry, message_box, platform);
  if (exe_path.empty()) return RunEnd::kNoInstallDirectory;

  // Only a length of 0 stops the run.
  if (GetExeSize(exe_path, platform) == 0) return RunEnd::kEmptyExecutable;

  if (GetExeVersion(exe_path, platform).empty()) return RunEnd::kNoVersion;
  return RunEnd::kVersionFormed;
}

RunEnd Main(AppPlatform& platform, registry::RegistryApi& registry,
            registry::MessageBoxSink& message_box) {
  const std::int32_t product_number =
      ProductNumberFromArgument(platform.ArgumentText());
  if (product_number <= 0) return RunEnd::kBadArgument;
  try {
    return InspectProduct(product_number, registry, message_box, platform);
  } catch (const std::exception&) {
    // The program shows nothing of its own; the status tells how far it got.
    return RunEnd::kRegistryError;
  }
}

}  // namespace quillprobe::app
