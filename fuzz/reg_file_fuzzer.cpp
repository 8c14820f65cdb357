// Arbitrary bytes as a hive file of HKEY_LOCAL_MACHINE: the .reg reader
// parses them and the import builds the tree, as the local registry does
// when it loads a hive.
//
// Beyond the sanitizers' checks: a file that loads is written in the
// canonical form, and that text loads again to the same tree (every key,
// value name, type and data byte for byte) and is written again to the same
// text. In the canonical text, reading one key at a time finds every key
// of the tree (up to a bound per input) with its values and subkeys, and
// finds no key that is not there. A file that loads also parses on its own.
// Read as journal records at the end of a hive file, the bytes keep a prefix
// of whole records, which framed again are the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/same_tree.h"
#include "registry/canonical_hive.h"
#include "registry/hive_journal.h"
#include "registry/reg_file_reader.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace {

using quillprobe::fuzz::Check;
using quillprobe::registry::Key;
using KeyPointer = std::shared_ptr<Key>;

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
// Keys read one at a time per input; enough to reach every key of most
// inputs while a tree of thousands of keys stays quick.
constexpr std::size_t kKeysReadAlone = 32;

// A file's bytes held in memory, served as the store serves a hive file.
class TextBytes final : public quillprobe::registry::HiveBytes {
 public:
  explicit TextBytes(std::string_view text) : text_(text) {}
  std::uint64_t size() const override { return text_.size(); }
  bool Read(std::uint64_t offset, std::size_t length,
            std::string* bytes) override {
    if (offset >= text_.size()) {
      bytes->clear();
    } else {
      bytes->assign(text_.substr(static_cast<std::size_t>(offset), length));
    }
    return true;
  }

 private:
  std::string_view text_;
};

// Reads keys of `root` one at a time out of `canonical`, its canonical text,
// and checks each against the tree, and a name under it that the tree lacks.
void CheckKeysReadAlone(const Key& root, std::string_view canonical) {
  namespace registry = quillprobe::registry;
  TextBytes bytes(canonical);
  std::vector<std::pair<const Key*, std::vector<std::string>>> pending = {
      {&root, {root.name()}}};
  for (std::size_t count = 0; !pending.empty() && count < kKeysReadAlone;
       ++count) {
    auto [key, path] = std::move(pending.back());
    pending.pop_back();
    const auto read = registry::ReadCanonicalKey(bytes, path);
    Check(read.has_value(), "every key is found alone");
    Check(read->values.size() == key->values().size(),
          "a key read alone has its values");
    for (std::size_t i = 0; i < read->values.size(); ++i) {
      const auto& line = read->values[i];
      const auto& value = key->values()[i];
      Check(!line.remove && line.name == value.name &&
                line.type == value.type && line.data == value.data,
            "a key read alone has its values, byte for byte, in order");
    }
    Check(read->subkeys.size() == key->subkeys().size(),
          "a key read alone has its subkeys");
    for (std::size_t i = 0; i < read->subkeys.size(); ++i) {
      Check(read->subkeys[i] == key->subkeys()[i]->name(),
            "a key read alone has its subkeys, in order");
    }
    if (key->FindSubkey("\x01") == nullptr) {
      path.push_back("\x01");
      Check(!registry::ReadCanonicalKey(bytes, path).has_value(),
            "a key that is not there is not found");
      path.pop_back();
    }
    for (const auto& subkey : key->subkeys()) {
      auto below = path;
      below.push_back(subkey->name());
      pending.emplace_back(subkey.get(), std::move(below));
    }
  }
}

// The bytes as the end of a hive file: what is kept of them is a prefix,
// made of whole records, and records read alone are the same records.
void CheckJournalReads(std::string_view text) {
  namespace registry = quillprobe::registry;
  std::size_t damaged_line = 0;
  const std::size_t untorn = registry::UntornLength(text, &damaged_line);
  Check(untorn <= text.size(), "the untorn part lies within the file");
  Check(damaged_line == 0 || untorn == 0, "damage keeps nothing");
  const auto records = registry::ReadJournalRecords(text);
  if (!records) return;
  Check(records->end <= text.size(), "whole records lie within the bytes");
  std::string framed;
  for (const std::string_view body : records->bodies) {
    framed += registry::FrameJournalRecord(body);
  }
  Check(framed == text.substr(0, records->end),
        "the records read are the bytes, framed again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  namespace registry = quillprobe::registry;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  CheckJournalReads(text);
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
  CheckKeysReadAlone(**tree, written);
  return 0;
}
