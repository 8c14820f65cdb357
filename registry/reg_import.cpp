#include "registry/reg_import.h"

#include <string>
#include <vector>

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

// Applies sections and values to the tree under a root as they come.
class TreeBuilder final : public RegSink {
 public:
  TreeBuilder(Key& root, const SubkeyFinder& find)
      : root_(root), find_(find), root_index_(RootIndexFromName(root.name())) {}

  std::optional<std::string> Section(
      std::size_t /*line*/, bool remove,
      std::span<const std::string_view> path) override {
    current_ = nullptr;
    if (!root_index_ || RootIndexFromName(path.front()) != root_index_) {
      return "the key path does not begin with " + root_.name();
    }
    Key* key = &root_;
    for (const std::string_view name : path.subspan(1)) {
      // NameLength never exceeds the byte length.
      if (name.size() > kMaxKeyNameLength &&
          NameLength(name) > kMaxKeyNameLength) {
        return "a key name longer than 255 characters";
      }
      if (HasNul(name)) return "a key name with a NUL";
      Key* const found = find_(*key, name);
      if (found == nullptr && remove) return std::nullopt;  // nothing to delete
      key =
          found != nullptr ? found : &key->AddSubkey(name, std::string_view{});
    }
    if (remove) {
      if (key == &root_) return "a root cannot be deleted";
      DeleteTree(*key);
      return std::nullopt;  // values that follow are ignored
    }
    current_ = key;
    return std::nullopt;
  }

  std::optional<std::string> Value(
      std::size_t /*line*/, std::string_view name, bool remove,
      std::uint32_t type, std::span<const std::uint8_t> data) override {
    if (name.size() > kMaxValueNameLength &&
        NameLength(name) > kMaxValueNameLength) {
      return "a value name longer than 16,383 characters";
    }
    if (HasNul(name)) return "a value name with a NUL";
    if (current_ == nullptr) return std::nullopt;
    if (remove) {
      current_->DeleteValue(name);
    } else {
      current_->SetValue(name, type, data);
    }
    return std::nullopt;
  }

 private:
  Key& root_;
  const SubkeyFinder& find_;
  std::optional<std::size_t> root_index_;
  Key* current_ = nullptr;  // null in a [-PATH] section
};

}  // namespace

std::optional<ParseError> ApplyRegDocument(const RegDocument& document,
                                           Key& root,
                                           std::string_view file_name) {
  const SubkeyFinder find = [](Key& parent, std::string_view name) {
    return parent.FindSubkey(name);
  };
  TreeBuilder builder(root, find);
  std::vector<std::string_view> path;
  const auto fail = [&](std::size_t line, std::string reason) {
    return ParseError{std::string(file_name), line, std::move(reason)};
  };
  for (const RegSection& section : document.sections) {
    path.assign(section.path.begin(), section.path.end());
    if (auto refused = builder.Section(section.line, section.remove, path)) {
      return fail(section.line, std::move(*refused));
    }
    for (const RegValueLine& value : section.values) {
      if (auto refused = builder.Value(value.line, value.name, value.remove,
                                       value.type, value.data)) {
        return fail(value.line, std::move(*refused));
      }
    }
  }
  return std::nullopt;
}

std::variant<std::shared_ptr<Key>, ParseError> LoadHiveText(
    std::string_view bytes, std::string_view root_name,
    std::string_view file_name) {
  auto root = Key::NewRoot(root_name);
  const SubkeyFinder find = [](Key& parent, std::string_view name) {
    return parent.FindSubkey(name);
  };
  if (auto error = ApplyHiveText(bytes, *root, file_name, find)) {
    return std::move(*error);
  }
  return root;
}

std::optional<ParseError> ApplyHiveText(std::string_view bytes, Key& root,
                                        std::string_view file_name,
                                        const SubkeyFinder& find) {
  TreeBuilder builder(root, find);
  return ReadRegFile(bytes, file_name, builder);
}

}  // namespace quillprobe::registry
