// quillreg: the registry from the command line, in reg.exe's command
// language (query, add, delete, import, export), over any RegistryApi.
//
// The tool never touches the process's streams or the platform directly:
// the caller hands it the registry, the three streams and whether standard
// input is a terminal, so that every command runs the same under tests.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "registry/registry_api.h"

namespace quillprobe::quillreg {

// The streams a command talks through. Results go to `out`, errors to `err`;
// questions go to `out` and their answers come from `in`, but only when
// `in_is_terminal` says that someone is there to answer.
struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool in_is_terminal = false;
  // Where the registry can tell why it answers 1009 (a database that does
  // not load: for the local registry, hive files that do not parse), the
  // reasons, one "FILE:LINE: reason" a line; may be empty.
  std::function<std::string()> explain_bad_database = {};
};

// Exit statuses, as reg.exe gives them.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;

// Runs one command line (`args` without the program name) and returns the
// exit status. A failure writes "ERROR: ..." to `console.err` and leaves the
// registry as it was.
int Run(std::span<const std::string> args, registry::RegistryApi& registry,
        Console& console);

}  // namespace quillprobe::quillreg
