// The first steps every command takes with its arguments: reading the
// switches, checking the positional arguments, reading a key name.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/quillreg/command_options.h"
#include "tools/quillreg/key_name.h"
#include "tools/quillreg/quillreg.h"

namespace quillprobe::quillreg {

// The switches of `command`; or nullopt when the command is done already,
// with *exit_status set: after showing its usage when asked for help, or
// after reporting a syntax error.
std::optional<CommandOptions> ReadOptions(Console& console,
                                          std::string_view command,
                                          std::span<const std::string> args,
                                          std::span<const OptionRule> rules,
                                          int* exit_status);

// True when the positional arguments are exactly the ones `names` lists
// (KEY, FILE, ...); otherwise reports the first missing or extra one (an
// extra one that looks like a switch is an unknown option).
bool HasPositionals(Console& console, std::string_view command,
                    const CommandOptions& options,
                    std::span<const std::string_view> names);

// At most one of the switches in `names` was given; otherwise reports a
// syntax error and returns false.
bool AtMostOneOf(Console& console, std::string_view command,
                 const CommandOptions& options,
                 std::span<const std::string_view> names);

// `text` read as a key name, or nullopt after reporting why it is none.
std::optional<KeyName> ReadKey(Console& console, std::string_view text);

// The arguments of a command on one key: its switches and the key named by
// its only positional argument, KEY.
struct KeyCommandArguments {
  CommandOptions options;
  KeyName key;
};

// The arguments of a command on one key, with at most one of the switches in
// `value_choices`; or nullopt when the command is done already, with
// *exit_status set: as ReadOptions sets it, or to kFailure after reporting
// what is wrong.
std::optional<KeyCommandArguments> ReadKeyCommand(
    Console& console, std::string_view command,
    std::span<const std::string> args, std::span<const OptionRule> rules,
    std::span<const std::string_view> value_choices, int* exit_status);

}  // namespace quillprobe::quillreg
