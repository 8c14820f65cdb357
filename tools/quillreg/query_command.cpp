// query: a key's values and subkeys in reg.exe's layout.
//
// Without /s:              With /s:
//   (blank)                  (blank)
//   KEY                      KEY              (only when it has values)
//       name    TYPE    data     name    TYPE    data
//   (blank)                  (blank)
//   KEY\Subkey1              KEY\Subkey1      (every key below, in order,
//   KEY\Subkey2                  ...           each followed by its values
//                            (blank)           and a blank line)
// The KEY block is left out when the key has no values. With /v or /ve the
// block holds that value alone; with /s as well, every key that holds it
// gets a block, and a last line counts them.
#include <algorithm>
#include <ostream>
#include <string_view>

#include "registry/unicode_case.h"
#include "tools/quillreg/command_arguments.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/messages.h"
#include "tools/quillreg/registry_access.h"
#include "tools/quillreg/value_format.h"

namespace quillprobe::quillreg {
namespace {

namespace status = registry::status;
using registry::Status;

constexpr std::string_view kCommand = "query";
constexpr OptionRule kSpecs[] = {{"v", true}, {"ve", false}, {"s", false}};
constexpr std::string_view kValueChoices[] = {"v", "ve"};

// A value name as reg.exe shows it.
std::string_view ShownName(std::string_view name) {
  return name.empty() ? "(Default)" : name;
}

void WriteValueLine(std::ostream& out, std::string_view name,
                    std::uint32_t type, std::span<const std::uint8_t> data) {
  out << "    " << ShownName(name) << "    " << TypeName(type) << "    "
      << FormatData(type, data) << '\n';
}

const ValueEntry* FindValue(const std::vector<ValueEntry>& values,
                            std::string_view name) {
  const auto found =
      std::find_if(values.begin(), values.end(), [&](const ValueEntry& value) {
        return registry::EqualsIgnoreCase(value.name, name);
      });
  return found == values.end() ? nullptr : &*found;
}

std::string Display(const KeyName& top, const std::string& path) {
  return KeyName{top.root, top.root_name, path}.Display();
}

// The key's block: its name and its values, and a blank line; nothing when
// it has no values.
void WriteValuesBlock(std::ostream& out, const std::string& display,
                      const std::vector<ValueEntry>& values) {
  if (values.empty()) return;
  out << display << '\n';
  for (const ValueEntry& value : values) {
    WriteValueLine(out, value.name, value.type, value.data);
  }
  out << '\n';
}

int ReportWalkFailure(Console& console, const KeyName& key, Status result,
                      const std::string& failed_path) {
  if (failed_path == key.path) return ReportStatus(console, result);
  return ReportStatus(console, result,
                      "(while reading " + Display(key, failed_path) + ")");
}

int QueryKey(registry::RegistryApi& api, const KeyName& key, OpenKey& open,
             Console& console) {
  std::vector<ValueEntry> values;
  std::vector<std::string> subkeys;
  Status result = ReadValues(api, open.handle(), &values);
  if (result == status::kSuccess) {
    result = ReadSubkeyNames(api, open.handle(), &subkeys);
  }
  if (result != status::kSuccess) return ReportStatus(console, result);
  console.out << '\n';
  const std::string display = key.Display();
  WriteValuesBlock(console.out, display, values);
  for (const std::string& subkey : subkeys) {
    console.out << display << '\\' << subkey << '\n';
  }
  return kSuccess;
}

int QueryTree(registry::RegistryApi& api, const KeyName& key,
              Console& console) {
  console.out << '\n';
  std::vector<ValueEntry> values;
  const auto visit = [&](const std::string& path, registry::HKey handle) {
    if (const Status read = ReadValues(api, handle, &values);
        read != status::kSuccess) {
      return read;
    }
    if (path == key.path) {
      WriteValuesBlock(console.out, key.Display(), values);
    } else {
      // Keys below the top one show even without values.
      console.out << Display(key, path) << '\n';
      for (const ValueEntry& value : values) {
        WriteValueLine(console.out, value.name, value.type, value.data);
      }
      console.out << '\n';
    }
    return status::kSuccess;
  };
  std::string failed_path;
  if (const Status walked =
          WalkTree(api, key.root, key.path, visit, &failed_path);
      walked != status::kSuccess) {
    return ReportWalkFailure(console, key, walked, failed_path);
  }
  return kSuccess;
}

int QueryValue(registry::RegistryApi& api, const KeyName& key, OpenKey& open,
               std::string_view name, bool default_value, Console& console) {
  std::vector<ValueEntry> values;
  if (const Status read = ReadValues(api, open.handle(), &values);
      read != status::kSuccess) {
    return ReportStatus(console, read);
  }
  const ValueEntry* value = FindValue(values, name);
  if (value == nullptr && !default_value) {
    return ReportStatus(console, status::kFileNotFound);
  }
  console.out << '\n' << key.Display() << '\n';
  if (value == nullptr) {
    // reg.exe's word for a key whose default value was never set.
    console.out << "    (Default)    REG_SZ    (value not set)\n";
  } else {
    // The name as the user typed it, as reg.exe shows it.
    WriteValueLine(console.out, name, value->type, value->data);
  }
  console.out << '\n';
  return kSuccess;
}

int SearchValue(registry::RegistryApi& api, const KeyName& key,
                std::string_view name, Console& console) {
  console.out << '\n';
  std::size_t matches = 0;
  std::vector<ValueEntry> values;
  const auto visit = [&](const std::string& path, registry::HKey handle) {
    if (const Status read = ReadValues(api, handle, &values);
        read != status::kSuccess) {
      return read;
    }
    if (const ValueEntry* value = FindValue(values, name)) {
      console.out << Display(key, path) << '\n';
      WriteValueLine(console.out, name, value->type, value->data);
      console.out << '\n';
      ++matches;
    }
    return status::kSuccess;
  };
  std::string failed_path;
  if (const Status walked =
          WalkTree(api, key.root, key.path, visit, &failed_path);
      walked != status::kSuccess) {
    return ReportWalkFailure(console, key, walked, failed_path);
  }
  console.out << "End of search: " << matches << " match(es) found.\n";
  return kSuccess;
}

}  // namespace

int RunQuery(std::span<const std::string> args, registry::RegistryApi& registry,
             Console& console) {
  int exit_status = kFailure;
  const std::optional<KeyCommandArguments> given = ReadKeyCommand(
      console, kCommand, args, kSpecs, kValueChoices, &exit_status);
  if (!given) return exit_status;
  const CommandOptions& options = given->options;
  const KeyName& key = given->key;

  OpenKey open(registry);
  if (const Status opened =
          open.Open(key.root, key.path, registry::access::kRead);
      opened != status::kSuccess) {
    return ReportStatus(console, opened);
  }
  const bool recursive = options.Has("s");
  const std::optional<std::string> name = options.Value("v");
  if (name || options.Has("ve")) {
    const std::string value_name = name.value_or("");
    if (recursive) return SearchValue(registry, key, value_name, console);
    return QueryValue(registry, key, open, value_name, !name.has_value(),
                      console);
  }
  if (recursive) {
    open.Close();
    return QueryTree(registry, key, console);
  }
  return QueryKey(registry, key, open, console);
}

}  // namespace quillprobe::quillreg
