// Applies a .reg document to the tree of one hive, the way the local
// registry loads a hive file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

#include "registry/key_tree.h"
#include "registry/reg_file.h"

namespace quillprobe::registry {

// Applies the sections of `document` in order to the tree under `root`:
// creates each section's key with the keys above it, sets and deletes its
// values, deletes the keys of [-PATH] sections with everything below them
// (values listed under such a section are ignored). Every path must begin
// with the root's name (long or short form, any case).
//
// Stops at the first line that the registry cannot hold, and returns it
// with `file_name`: a path under another root, a key name longer than 255
// characters, a value name longer than 16,383, a name with a NUL. What came
// before it has been applied.
std::optional<ParseError> ApplyRegDocument(const RegDocument& document,
                                           Key& root,
                                           std::string_view file_name);

// Looks up the subkey `name` of `parent`; null when there is none.
using SubkeyFinder = std::function<Key*(Key& parent, std::string_view name)>;

// Applies the .reg text `bytes` to the tree under `root` as LoadHiveText
// does, looking subkeys up through `find`, so that a tree read lazily is
// read as far as the text reaches into it. Returns where and why the text
// does not parse or apply; what came before has been applied.
std::optional<ParseError> ApplyHiveText(std::string_view bytes, Key& root,
                                        std::string_view file_name,
                                        const SubkeyFinder& find);

// The tree that a hive file's `bytes` describe, under a new root named
// `root_name`, or where and why they do not parse or apply.
std::variant<std::shared_ptr<Key>, ParseError> LoadHiveText(
    std::string_view bytes, std::string_view root_name,
    std::string_view file_name);

}  // namespace quillprobe::registry
