#include "registry/reg_import.h"

#include <string>

#include "registry/key_path.h"
#include "registry/predefined_roots.h"
#include "registry/reg_file_reader.h"

namespace quillprobe::registry {
namespace {

// Deletes `key` and everything below it, deepest keys first, without
// recursion.
void DeleteTree(Key& key) {
  while (!key.subkeys().empty()) {
    Key* leaf = &key;
    while (!leaf->subkeys().empty()) leaf = leaf->subkeys().back().get();
    leaf->Delete();
  }
  key.Delete();
}

bool HasNul(std::string_view name) {
  return name.find('\0') != std::string_view::npos;
}

}  // namespace

std::optional<ParseError> ApplyRegDocument(const RegDocument& document,
                                           Key& root,
                                           std::string_view file_name) {
  const auto fail = [&](std::size_t line, std::string reason) {
    return ParseError{std::string(file_name), line, std::move(reason)};
  };
  const std::optional<std::size_t> root_index = RootIndexFromName(root.name());
  for (const RegSection& section : document.sections) {
    const std::string& first = section.path.front();
    if (RootIndexFromName(first) != root_index || !root_index) {
      return fail(section.line,
                  "the key path does not begin with " + root.name());
    }
    Key* key = &root;
    for (std::size_t i = 1; i < section.path.size() && key != nullptr; ++i) {
      const std::string& name = section.path[i];
      if (NameLength(name) > kMaxKeyNameLength) {
        return fail(section.line, "a key name longer than 255 characters");
      }
      if (HasNul(name)) return fail(section.line, "a key name with a NUL");
      key = section.remove ? key->FindSubkey(name)
                           : &key->AddSubkey(name, std::string_view{});
    }
    if (section.remove) {
      if (key == &root) return fail(section.line, "a root cannot be deleted");
      if (key != nullptr) DeleteTree(*key);
      continue;
    }
    for (const RegValueLine& value : section.values) {
      if (NameLength(value.name) > kMaxValueNameLength) {
        return fail(value.line, "a value name longer than 16,383 characters");
      }
      if (HasNul(value.name))
        return fail(value.line, "a value name with a NUL");
      if (value.remove) {
        key->DeleteValue(value.name);
      } else {
        key->SetValue(value.name, value.type, value.data);
      }
    }
  }
  return std::nullopt;
}

std::variant<std::shared_ptr<Key>, ParseError> LoadHiveText(
    std::string_view bytes, std::string_view root_name,
    std::string_view file_name) {
  auto read = ReadRegFile(bytes, file_name);
  if (auto* error = std::get_if<ParseError>(&read)) return std::move(*error);
  auto root = Key::NewRoot(root_name);
  if (auto error =
          ApplyRegDocument(std::get<RegDocument>(read), *root, file_name)) {
    return std::move(*error);
  }
  return root;
}

}  // namespace quillprobe::registry
