// The arguments of one command, in reg.exe's style: switches that begin with
// '/' or '-' in any case (/v NAME, /ve, /f ...) and positional arguments.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillprobe::quillreg {

// A switch a command knows, without its leading '/' or '-'.
struct OptionRule {
  std::string_view name;
  bool takes_value = false;
};

class CommandOptions {
 public:
  // Reads `args` against the switches in `rules`. A token that names a
  // switch is one (and the next token is its value when it takes one, even
  // when that token begins with '/' or '-' or asks for help); a help request
  // (/?, -?, --help) is noted; any other token is positional. A switch given
  // twice, or missing its value, is an error: nullopt, with the reason in
  // *error.
  static std::optional<CommandOptions> Parse(std::span<const std::string> args,
                                             std::span<const OptionRule> rules,
                                             std::string* error);

  // Whether the switch was given; its value, when it takes one.
  bool Has(std::string_view name) const;
  std::optional<std::string> Value(std::string_view name) const;

  const std::vector<std::string>& positional() const { return positional_; }
  bool help_requested() const { return help_requested_; }

 private:
  struct Given {
    std::string_view name;
    std::optional<std::string> value;
  };
  std::vector<Given> given_;
  std::vector<std::string> positional_;
  bool help_requested_ = false;
};

// True for the tokens that ask for help: /?, -? and --help.
bool IsHelpRequest(std::string_view token);

// True for a token that has the form of a switch.
bool LooksLikeOption(std::string_view token);

}  // namespace quillprobe::quillreg
