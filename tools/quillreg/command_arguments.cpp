#include "tools/quillreg/command_arguments.h"

#include <ostream>
#include <utility>

#include "tools/quillreg/help_text.h"
#include "tools/quillreg/messages.h"

namespace quillprobe::quillreg {

std::optional<CommandOptions> ReadOptions(Console& console,
                                          std::string_view command,
                                          std::span<const std::string> args,
                                          std::span<const OptionRule> rules,
                                          int* exit_status) {
  std::string error;
  std::optional<CommandOptions> options =
      CommandOptions::Parse(args, rules, &error);
  if (!options) {
    *exit_status = ReportSyntaxError(console, command, error);
  } else if (options->help_requested()) {
    console.out << CommandHelp(command).value_or(ToolHelp());
    *exit_status = kSuccess;
    options.reset();
  }
  return options;
}

bool HasPositionals(Console& console, std::string_view command,
                    const CommandOptions& options,
                    std::span<const std::string_view> names) {
  const std::vector<std::string>& given = options.positional();
  if (given.size() < names.size()) {
    ReportSyntaxError(console, command,
                      std::string(names[given.size()]) + " is missing.");
    return false;
  }
  if (given.size() > names.size()) {
    const std::string& extra = given[names.size()];
    ReportSyntaxError(
        console, command,
        (LooksLikeOption(extra) ? "unknown option " + extra
                                : "unexpected argument \"" + extra + "\"") +
            ".");
    return false;
  }
  return true;
}

bool AtMostOneOf(Console& console, std::string_view command,
                 const CommandOptions& options,
                 std::span<const std::string_view> names) {
  std::string given;
  for (const std::string_view name : names) {
    if (!options.Has(name)) continue;
    if (!given.empty()) {
      ReportSyntaxError(console, command,
                        "/" + given + " and /" + std::string(name) +
                            " cannot be used together.");
      return false;
    }
    given = name;
  }
  return true;
}

std::optional<KeyName> ReadKey(Console& console, std::string_view text) {
  std::string error;
  std::optional<KeyName> key = ParseKeyName(text, &error);
  if (!key) ReportError(console, error);
  return key;
}

std::optional<KeyCommandArguments> ReadKeyCommand(
    Console& console, std::string_view command,
    std::span<const std::string> args, std::span<const OptionRule> rules,
    std::span<const std::string_view> value_choices, int* exit_status) {
  static constexpr std::string_view kPositionals[] = {"KEY"};
  std::optional<CommandOptions> options =
      ReadOptions(console, command, args, rules, exit_status);
  if (!options) return std::nullopt;
  *exit_status = kFailure;
  if (!HasPositionals(console, command, *options, kPositionals) ||
      !AtMostOneOf(console, command, *options, value_choices)) {
    return std::nullopt;
  }
  std::optional<KeyName> key = ReadKey(console, options->positional().front());
  if (!key) return std::nullopt;
  return KeyCommandArguments{std::move(*options), std::move(*key)};
}

}  // namespace quillprobe::quillreg
