// add: stores one value, creating its key when needed.
//
// Everything that can be checked is checked before the registry changes: the
// arguments, the data, whether the value exists (and, if it does, the user's
// leave to overwrite it). Should storing the value still fail, the keys this
// command created are deleted again, so a failed add leaves no trace.
#include <algorithm>
#include <optional>
#include <ostream>
#include <vector>

#include "registry/key_path.h"
#include "registry/unicode_case.h"
#include "tools/quillreg/command_arguments.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/messages.h"
#include "tools/quillreg/registry_access.h"
#include "tools/quillreg/value_encoding.h"

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
namespace access = registry::access;
using registry::Status;

constexpr std::string_view kCommand = "add";
constexpr OptionRule kSpecs[] = {{"v", true}, {"ve", false}, {"t", true},
                                 {"s", true}, {"d", true},   {"f", false}};
constexpr std::string_view kValueChoices[] = {"v", "ve"};

// Whether the key holds a value of that name: nullopt (after reporting it)
// when the key exists and cannot be read.
std::optional<bool> ValueExists(registry::RegistryApi& api, const KeyName& key,
                                std::string_view name, Console& console) {
  OpenKey open(api);
  Status result = open.Open(key.root, key.path, access::kQueryValue);
  if (result == status::kFileNotFound) return false;
  std::vector<ValueEntry> values;
  if (result == status::kSuccess) {
    result = ReadValues(api, open.handle(), &values);
  }
  if (result != status::kSuccess) {
    ReportStatus(console, result);
    return std::nullopt;
  }
  return std::any_of(values.begin(), values.end(), [&](const ValueEntry& v) {
    return registry::EqualsIgnoreCase(v.name, name);
  });
}

// The path of the first key on the way to `key` that does not exist yet
// (what creating `key` would create first); nullopt when `key` exists.
std::optional<std::string> FirstMissingKey(registry::RegistryApi& api,
                                           const KeyName& key) {
  std::size_t end = 0;
  while (end != std::string::npos) {
    end = key.path.find('\\', end + 1);
    const std::string prefix = key.path.substr(0, end);
    OpenKey open(api);
    if (open.Open(key.root, prefix, access::kQueryValue) ==
        status::kFileNotFound) {
      return prefix;
    }
  }
  return std::nullopt;
}

int Store(registry::RegistryApi& api, const KeyName& key, std::string_view name,
          std::uint32_t type, const std::vector<std::uint8_t>& data,
          Console& console) {
  const std::optional<std::string> created =
      key.IsRoot() ? std::nullopt : FirstMissingKey(api, key);
  OpenKey open(api);
  if (const Status result = open.Create(key.root, key.path, access::kSetValue);
      result != status::kSuccess) {
    return ReportStatus(console, result);
  }
  const Status stored = api.SetValueEx(open.handle(), name, type, data);
  open.Close();
  if (stored != status::kSuccess) {
    if (created) {
      std::string failed_path;
      DeleteTree(api, key.root, *created, &failed_path);
    }
    return ReportStatus(console, stored);
  }
  return ReportSuccess(console);
}

}  // namespace

int RunAdd(std::span<const std::string> args, registry::RegistryApi& registry,
           Console& console) {
  int exit_status = kFailure;
  const std::optional<KeyCommandArguments> given = ReadKeyCommand(
      console, kCommand, args, kSpecs, kValueChoices, &exit_status);
  if (!given) return exit_status;
  const CommandOptions& options = given->options;
  const KeyName& key = given->key;

  // Without /v the default value is stored, as with /ve.
  const std::string name = options.Value("v").value_or("");
  if (registry::NameLength(name) > registry::kMaxValueNameLength) {
    return ReportError(console,
                       "The value name is longer than 16383 characters.");
  }
  std::uint32_t type = registry::value_type::kSz;
  if (const std::optional<std::string> type_name = options.Value("t")) {
    const std::optional<std::uint32_t> parsed = ParseAddType(*type_name);
    if (!parsed) {
      return ReportError(
          console, "Unsupported registry data type \"" + *type_name +
                       "\". The types are REG_SZ, REG_EXPAND_SZ, "
                       "REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY and "
                       "REG_NONE.");
    }
    type = *parsed;
  }
  const std::optional<std::string> separator = options.Value("s");
  if (separator && !IsOneCharacter(*separator)) {
    return ReportSyntaxError(console, kCommand, "/s takes a single character.");
  }
  std::string error;
  const std::optional<std::vector<std::uint8_t>> data = EncodeData(
      type, options.Value("d"),
      separator ? std::string_view(*separator) : kDefaultSeparator, &error);
  if (!data) return ReportError(console, error);

  const std::optional<bool> exists = ValueExists(registry, key, name, console);
  if (!exists) return kFailure;
  if (*exists && !options.Has("f")) {
    const std::string shown = name.empty() ? "(Default)" : name;
    if (!console.in_is_terminal) {
      return ReportError(console,
                         "The value " + shown + " exists in " + key.Display() +
                             ". Standard input is not a terminal, so quillreg "
                             "cannot ask whether to overwrite it: add /f to "
                             "overwrite it.");
    }
    if (!Confirm(console, "Value " + shown + " exists, overwrite")) {
      return ReportCancelled(console);
    }
  }
  return Store(registry, key, name, type, *data, console);
}

}  // namespace quillprobe::quillreg
