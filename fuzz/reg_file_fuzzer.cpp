// Arbitrary bytes as a hive file of HKEY_LOCAL_MACHINE: the .reg reader
// parses them and the import builds the tree, as the local registry does
// when it loads a hive.
//
// Beyond the sanitizers' checks: a file that loads is written in the
// canonical form, and that text loads again to the same tree (every key,
// value name, type and data byte for byte) and is written again to the same
// text. A file that loads also parses on its own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz/fuzz_check.h"
#include "fuzz/same_tree.h"
#include "registry/reg_file_reader.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace {

using quillprobe::fuzz::Check;
using quillprobe::registry::Key;
using KeyPointer = std::shared_ptr<Key>;

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  namespace registry = quillprobe::registry;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto document = registry::ReadRegFile(text, "fuzz.reg");
  const auto loaded = registry::LoadHiveText(text, kRoot, "fuzz.reg");
  const auto* tree = std::get_if<KeyPointer>(&loaded);
  if (tree == nullptr) return 0;
  Check(std::holds_alternative<registry::RegDocument>(document),
        "a file that loads parses");

  const std::string written = registry::WriteRegFile(**tree);
  const auto reloaded = registry::LoadHiveText(written, kRoot, "written.reg");
  const auto* again = std::get_if<KeyPointer>(&reloaded);
  Check(again != nullptr, "what the writer writes loads");
  Check(quillprobe::fuzz::SameTree(**tree, **again),
        "a round trip keeps every key and value");
  Check(registry::WriteRegFile(**again) == written,
        "the canonical form is written again as it is");
  return 0;
}
