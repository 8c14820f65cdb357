#include "tools/quillreg/command_options.h"

#include <algorithm>

#include "registry/unicode_case.h"

namespace quillprobe::quillreg {
namespace {

const OptionSpec* FindSpec(std::string_view token,
                           std::span<const OptionSpec> specs) {
  if (!LooksLikeOption(token)) return nullptr;
  token.remove_prefix(1);
  const auto found =
      std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& spec) {
        return registry::EqualsIgnoreCase(token, spec.name);
      });
  return found == specs.end() ? nullptr : &*found;
}

}  // namespace

std::optional<CommandOptions> CommandOptions::Parse(
    std::span<const std::string> args, std::span<const OptionSpec> specs,
    std::string* error) {
  CommandOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const OptionSpec* spec = FindSpec(args[i], specs);
    if (spec == nullptr) {
      if (IsHelpRequest(args[i])) {
        options.help_requested_ = true;
      } else {
        options.positional_.push_back(args[i]);
      }
      continue;
    }
    if (options.Has(spec->name)) {
      *error = "the option " + args[i] + " is given twice.";
      return std::nullopt;
    }
    Given given{spec->name, std::nullopt};
    if (spec->takes_value) {
      if (i + 1 == args.size()) {
        *error = "the option " + args[i] + " needs a value.";
        return std::nullopt;
      }
      given.value = args[++i];
    }
    options.given_.push_back(std::move(given));
  }
  return options;
}

bool CommandOptions::Has(std::string_view name) const {
  return std::any_of(given_.begin(), given_.end(),
                     [&](const Given& given) { return given.name == name; });
}

std::optional<std::string> CommandOptions::Value(std::string_view name) const {
  for (const Given& given : given_) {
    if (given.name == name) return given.value;
  }
  return std::nullopt;
}

bool IsHelpRequest(std::string_view token) {
  return token == "/?" || token == "-?" || token == "--help";
}

bool LooksLikeOption(std::string_view token) {
  return token.size() > 1 && (token.front() == '/' || token.front() == '-');
}

}  // namespace quillprobe::quillreg
