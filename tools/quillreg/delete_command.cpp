// delete: a value, every value of a key, or a key with everything below it.
//
// What is to be deleted must exist before anyone is asked; without /f the
// user is asked when standard input is a terminal, and the command refuses
// otherwise.
#include <algorithm>
#include <optional>
#include <vector>

#include "registry/unicode_case.h"
#include "tools/quillreg/command_arguments.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/messages.h"
#include "tools/quillreg/registry_access.h"

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
namespace access = registry::access;
using registry::Status;

constexpr std::string_view kCommand = "delete";
constexpr OptionRule kSpecs[] = {
    {"v", true}, {"ve", false}, {"va", false}, {"f", false}};
constexpr std::string_view kValueChoices[] = {"v", "ve", "va"};

// True to go ahead: /f was given, or the user said yes. Otherwise reports
// the refusal or the cancellation in *exit_status.
bool MayDelete(const CommandOptions& options, Console& console,
               std::string_view question, int* exit_status) {
  if (options.Has("f")) return true;
  if (!console.in_is_terminal) {
    *exit_status = ReportError(
        console,
        "Standard input is not a terminal, so quillreg cannot ask before "
        "deleting: add /f to delete without being asked.");
    return false;
  }
  if (Confirm(console, question)) return true;
  *exit_status = ReportCancelled(console);
  return false;
}

int DeleteKey(registry::RegistryApi& api, const KeyName& key,
              const CommandOptions& options, Console& console) {
  if (key.IsRoot()) {
    return ReportError(console,
                       "The root key " + key.root_name + " cannot be deleted.");
  }
  {
    OpenKey open(api);
    if (const Status opened = open.Open(key.root, key.path, access::kRead);
        opened != status::kSuccess) {
      return ReportStatus(console, opened);
    }
  }
  int exit_status = kSuccess;
  if (!MayDelete(options, console,
                 "Permanently delete the registry key " + key.Display(),
                 &exit_status)) {
    return exit_status;
  }
  std::string failed_path;
  if (const Status deleted = DeleteTree(api, key.root, key.path, &failed_path);
      deleted != status::kSuccess) {
    return ReportStatus(
        console, deleted,
        "(deleting " + KeyName{key.root, key.root_name, failed_path}.Display() +
            ")");
  }
  return ReportSuccess(console);
}

int DeleteValues(registry::RegistryApi& api, const KeyName& key,
                 const CommandOptions& options, Console& console) {
  OpenKey open(api);
  std::vector<ValueEntry> values;
  Status result =
      open.Open(key.root, key.path, access::kQueryValue | access::kSetValue);
  if (result == status::kSuccess) {
    result = ReadValues(api, open.handle(), &values);
  }
  if (result != status::kSuccess) return ReportStatus(console, result);

  const bool all = options.Has("va");
  const std::string name = options.Value("v").value_or("");
  std::string question =
      "Delete all values under the registry key " + key.Display();
  if (!all) {
    const auto found = std::find_if(
        values.begin(), values.end(), [&](const ValueEntry& value) {
          return registry::EqualsIgnoreCase(value.name, name);
        });
    if (found == values.end()) {
      return ReportStatus(console, status::kFileNotFound);
    }
    values = {*found};
    question = "Delete the registry value " +
               (name.empty() ? std::string("(Default)") : name);
  }
  int exit_status = kSuccess;
  if (!MayDelete(options, console, question, &exit_status)) return exit_status;
  for (const ValueEntry& value : values) {
    const Status deleted = api.DeleteValue(open.handle(), value.name);
    // A value that someone else deleted meanwhile is gone all the same.
    if (deleted != status::kSuccess && deleted != status::kFileNotFound) {
      return ReportStatus(console, deleted);
    }
  }
  return ReportSuccess(console);
}

}  // namespace

int RunDelete(std::span<const std::string> args,
              registry::RegistryApi& registry, Console& console) {
  int exit_status = kFailure;
  const std::optional<KeyCommandArguments> given = ReadKeyCommand(
      console, kCommand, args, kSpecs, kValueChoices, &exit_status);
  if (!given) return exit_status;
  const CommandOptions& options = given->options;
  const KeyName& key = given->key;
  if (options.Has("v") || options.Has("ve") || options.Has("va")) {
    return DeleteValues(registry, key, options, console);
  }
  return DeleteKey(registry, key, options, console);
}

}  // namespace quillprobe::quillreg
