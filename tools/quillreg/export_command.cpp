// export: a key and everything below it as a .reg file in the registry
// editor's form (Version 5.00, UTF-16LE with its byte order mark, CRLF), so
// that the file imports on Windows as well as here.
//
// The tree is read whole through the registry interface before the file is
// written, and the file is replaced only once its new content is complete.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/key_tree.h"
#include "registry/reg_file_writer.h"
#include "tools/quillreg/command_arguments.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/file_access.h"
#include "tools/quillreg/messages.h"
#include "tools/quillreg/registry_access.h"

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
using registry::Status;

constexpr std::string_view kCommand = "export";
constexpr OptionRule kSpecs[] = {{"y", false}};
constexpr std::string_view kPositionals[] = {"KEY", "FILE"};

// The tree under `key`, its top named by the key's full name so that every
// section of the file carries its full path. nullptr after reporting a key
// that cannot be read.
std::shared_ptr<registry::Key> ReadTree(registry::RegistryApi& api,
                                        const KeyName& key, Console& console) {
  std::shared_ptr<registry::Key> top = registry::Key::NewRoot(key.Display());
  std::unordered_map<std::string, registry::Key*> keys{{key.path, top.get()}};
  std::vector<ValueEntry> values;
  const auto visit = [&](const std::string& path, registry::HKey handle) {
    registry::Key* node = nullptr;
    if (path == key.path) {
      node = top.get();
    } else {
      const std::size_t separator = path.rfind('\\');
      node = &keys.at(path.substr(0, separator))
                  ->AddSubkey(path.substr(separator + 1), "");
      keys.emplace(path, node);
    }
    if (const Status read = ReadValues(api, handle, &values);
        read != status::kSuccess) {
      return read;
    }
    for (const ValueEntry& value : values) {
      node->SetValue(value.name, value.type, value.data);
    }
    return status::kSuccess;
  };
  std::string failed_path;
  if (const Status walked =
          WalkTree(api, key.root, key.path, visit, &failed_path);
      walked != status::kSuccess) {
    if (failed_path == key.path) {
      ReportStatus(console, walked);
    } else {
      ReportStatus(console, walked,
                   "(while reading " +
                       KeyName{key.root, key.root_name, failed_path}.Display() +
                       ")");
    }
    return nullptr;
  }
  return top;
}

}  // namespace

int RunExport(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console) {
  int exit_status = kFailure;
  const std::optional<CommandOptions> options =
      ReadOptions(console, kCommand, args, kSpecs, &exit_status);
  if (!options) return exit_status;
  if (!HasPositionals(console, kCommand, *options, kPositionals)) {
    return kFailure;
  }
  const std::optional<KeyName> key = ReadKey(console, options->positional()[0]);
  if (!key) return kFailure;
  const std::string& file = options->positional()[1];

  const std::shared_ptr<registry::Key> tree = ReadTree(registry, *key, console);
  if (!tree) return kFailure;

  if (!options->Has("y") && FileExists(file)) {
    if (!console.in_is_terminal) {
      return ReportError(
          console, "The file " + file +
                       " exists. Standard input is not a terminal, so "
                       "quillreg cannot ask whether to overwrite it: add /y "
                       "to overwrite it.");
    }
    if (!Confirm(console, "File " + file + " already exists. Overwrite")) {
      return ReportCancelled(console);
    }
  }
  std::string error;
  if (!ReplaceFile(file,
                   registry::WriteRegFile(
                       *tree, 0, registry::RegFileEncoding::kRegistryEditor),
                   &error)) {
    return ReportError(console, "Cannot write " + file + ": " + error + ".");
  }
  return ReportSuccess(console);
}

}  // namespace quillprobe::quillreg
