#include "tools/quillreg/command_options.h"

#include <algorithm>

#include "registry/unicode_case.h"

namespace quillprobe::quillreg {
namespace {

const OptionRule* FindRule(std::string_view token,
                           std::span<const OptionRule> rules) {
  if (!LooksLikeOption(token)) return nullptr;
  token.remove_prefix(1);
  const auto found =
      std::find_if(rules.begin(), rules.end(), [&](const OptionRule& rule) {
        return registry::EqualsIgnoreCase(token, rule.name);
      });
  return found == rules.end() ? nullptr : &*found;
}

}  // namespace

std::optional<CommandOptions> CommandOptions::Parse(
    std::span<const std::string> args, std::span<const OptionRule> rules,
    std::string* error) {
  CommandOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const OptionRule* rule = FindRule(args[i], rules);
    if (rule == nullptr) {
      if (IsHelpRequest(args[i])) {
        options.help_requested_ = true;
      } else {
        options.positional_.push_back(args[i]);
      }
      continue;
    }
    if (options.Has(rule->name)) {
      *error = "the option " + args[i] + " is given twice.";
      return std::nullopt;
    }
    Given given{rule->name, std::nullopt};
    if (rule->takes_value) {
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
