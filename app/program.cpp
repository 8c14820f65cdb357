#include "app/program.h"

#include <exception>
#include <string>

#include "app/exe_inspection.h"
#include "app/numeric_reading.h"
#include "app/product_table.h"

namespace quillprobe::app {
namespace {

// The length of UTF-8 text in UTF-16 code units. A byte that is not a UTF-8
// continuation byte starts a character; a four-byte sequence needs two units.
std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;
    if (byte >= 0xF0 && byte <= 0xF4) ++units;
  }
  return units;
}

}  // namespace

std::int32_t ProductNumberFromArgument(std::string_view argument_text) {
  if (Utf16Length(argument_text) != 4) return 0;
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
