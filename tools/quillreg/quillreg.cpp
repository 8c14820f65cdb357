#include "tools/quillreg/quillreg.h"

#include <algorithm>
#include <array>
#include <ostream>

#include "registry/unicode_case.h"
#include "tools/quillreg/command_options.h"
#include "tools/quillreg/commands.h"
#include "tools/quillreg/help_text.h"
#include "tools/quillreg/messages.h"

namespace quillprobe::quillreg {
namespace {

using CommandFunction = int (*)(std::span<const std::string>,
                                registry::RegistryApi&, Console&);

struct Command {
  std::string_view name;
  CommandFunction run;
};

constexpr std::array<Command, 5> kCommands{{
    {"query", RunQuery},
    {"add", RunAdd},
    {"delete", RunDelete},
    {"import", RunImport},
    {"export", RunExport},
}};

}  // namespace

int Run(std::span<const std::string> args, registry::RegistryApi& registry,
        Console& console) {
  if (args.empty()) {
    return ReportSyntaxError(console, "", "no command given.");
  }
  if (IsHelpRequest(args.front())) {
    console.out << ToolHelp();
    return kSuccess;
  }
  const auto command =
      std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) {
        return registry::EqualsIgnoreCase(args.front(), c.name);
      });
  if (command == kCommands.end()) {
    return ReportSyntaxError(console, "",
                             "unknown command \"" + args.front() + "\".");
  }
  return command->run(args.subspan(1), registry, console);
}

}  // namespace quillprobe::quillreg
