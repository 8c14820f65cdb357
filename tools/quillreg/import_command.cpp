// import: applies a .reg file to the registry.
//
// The whole file is read and checked before the registry changes: a file
// that does not parse, or that names something the registry cannot hold
// (an unknown root, a name too long, a root to delete), imports nothing and
// the error names its line. Before the first write, every key the file
// writes to is opened for writing, so a key the user may not change (a
// read-only hive) also stops the import while nothing has changed yet.
#include <string>
#include <variant>
#include <vector>

#include "registry/key_path.h"
#include "registry/reg_file.h"
#include "registry/reg_file_reader.h"
#include "tools/quillreg/command_arguments.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/file_access.h"
#include "tools/quillreg/messages.h"
#include "tools/quillreg/registry_access.h"

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
namespace access = registry::access;
using registry::ParseError;
using registry::RegDocument;
using registry::RegSection;
using registry::Status;

constexpr std::string_view kCommand = "import";
constexpr std::span<const OptionRule> kSpecs;
constexpr std::string_view kPositionals[] = {"FILE"};

// A section's key: its root and the path below it.
struct SectionKey {
  KeyName key;
  const RegSection* section;
};

// The reason a section or value cannot go into the registry, if any.
std::optional<std::string> CheckSection(const RegSection& section,
                                        std::optional<KeyName>* key) {
  *key = FindRoot(section.path.front());
  if (!*key) {
    return "\"" + section.path.front() + "\" is not a root key";
  }
  if (section.remove && section.path.size() == 1) {
    return "the root key " + (*key)->root_name + " cannot be deleted";
  }
  for (std::size_t i = 1; i < section.path.size(); ++i) {
    const std::string& name = section.path[i];
    if (name.find('\0') != std::string::npos) {
      return "a key name holds a NUL";
    }
    if (registry::NameLength(name) > registry::kMaxKeyNameLength) {
      return "the key name \"" + name + "\" is longer than 255 characters";
    }
    (*key)->path = JoinPath((*key)->path, name);
  }
  return std::nullopt;
}

std::optional<ParseError> CheckValues(const RegSection& section,
                                      std::string_view file) {
  if (section.remove) return std::nullopt;
  for (const registry::RegValueLine& value : section.values) {
    if (value.name.find('\0') != std::string::npos) {
      return ParseError{std::string(file), value.line,
                        "a value name holds a NUL"};
    }
    if (registry::NameLength(value.name) > registry::kMaxValueNameLength) {
      return ParseError{std::string(file), value.line,
                        "the value name is longer than 16383 characters"};
    }
  }
  return std::nullopt;
}

// Opens the key, or the nearest key above it that exists, for writing.
Status CheckWritable(registry::RegistryApi& api, const KeyName& key) {
  std::string path = key.path;
  for (;;) {
    OpenKey open(api);
    const Status result = open.Open(key.root, path, access::kWrite);
    if (result != status::kFileNotFound || path.empty()) return result;
    const std::size_t separator = path.rfind('\\');
    path.resize(separator == std::string::npos ? 0 : separator);
  }
}

Status ApplySection(registry::RegistryApi& api, const SectionKey& target,
                    std::size_t* failed_line) {
  const RegSection& section = *target.section;
  *failed_line = section.line;
  if (section.remove) {
    std::string failed_path;
    const Status deleted =
        DeleteTree(api, target.key.root, target.key.path, &failed_path);
    // Deleting a key that is not there is no error, as for the registry
    // editor.
    return deleted == status::kFileNotFound && failed_path == target.key.path
               ? status::kSuccess
               : deleted;
  }
  OpenKey open(api);
  if (const Status created =
          open.Create(target.key.root, target.key.path,
                      access::kQueryValue | access::kSetValue);
      created != status::kSuccess) {
    return created;
  }
  for (const registry::RegValueLine& value : section.values) {
    *failed_line = value.line;
    const Status result =
        value.remove
            ? api.DeleteValue(open.handle(), value.name)
            : api.SetValueEx(open.handle(), value.name, value.type, value.data);
    if (result != status::kSuccess &&
        !(value.remove && result == status::kFileNotFound)) {
      return result;
    }
  }
  return status::kSuccess;
}

}  // namespace

int RunImport(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console) {
  int exit_status = kFailure;
  const std::optional<CommandOptions> options =
      ReadOptions(console, kCommand, args, kSpecs, &exit_status);
  if (!options) return exit_status;
  if (!HasPositionals(console, kCommand, *options, kPositionals)) {
    return kFailure;
  }
  const std::string& file = options->positional().front();
  const std::string nothing_imported = "; nothing was imported.";

  std::string error;
  const std::optional<std::string> bytes = ReadWholeFile(file, &error);
  if (!bytes) {
    return ReportError(console, "Cannot read " + file + ": " + error + ".");
  }
  std::variant<RegDocument, ParseError> read =
      registry::ReadRegFile(*bytes, file);
  if (const ParseError* parse_error = std::get_if<ParseError>(&read)) {
    return ReportError(console, parse_error->Message() + nothing_imported);
  }
  const RegDocument& document = std::get<RegDocument>(read);

  std::vector<SectionKey> targets;
  targets.reserve(document.sections.size());
  for (const RegSection& section : document.sections) {
    std::optional<KeyName> key;
    if (std::optional<std::string> refused = CheckSection(section, &key)) {
      return ReportError(console,
                         ParseError{file, section.line, *refused}.Message() +
                             nothing_imported);
    }
    if (std::optional<ParseError> refused = CheckValues(section, file)) {
      return ReportError(console, refused->Message() + nothing_imported);
    }
    targets.push_back({std::move(*key), &section});
  }
  for (const SectionKey& target : targets) {
    if (const Status writable = CheckWritable(registry, target.key);
        writable != status::kSuccess) {
      return ReportStatus(console, writable,
                          "(" + target.key.Display() + ", " + file + ":" +
                              std::to_string(target.section->line) + ")" +
                              nothing_imported);
    }
  }
  for (const SectionKey& target : targets) {
    std::size_t failed_line = 0;
    if (const Status applied = ApplySection(registry, target, &failed_line);
        applied != status::kSuccess) {
      return ReportStatus(console, applied,
                          "(" + file + ":" + std::to_string(failed_line) +
                              "); the lines before it were imported.");
    }
  }
  return ReportSuccess(console);
}

}  // namespace quillprobe::quillreg
