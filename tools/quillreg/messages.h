// What the commands say: reg.exe's success line, its "ERROR: ..." lines on
// standard error, the text of registry status codes, and the Yes/No question
// asked before a change that cannot be undone.
#pragma once

#include <string>
#include <string_view>

#include "registry/registry_api.h"
#include "tools/quillreg/quillreg.h"

namespace quillprobe::quillreg {

// The sentence Windows uses for a registry status code.
std::string StatusText(registry::Status status);

// "The operation completed successfully." on standard output; kSuccess.
int ReportSuccess(Console& console);

// "ERROR: <text>" on standard error; kFailure.
int ReportError(Console& console, std::string_view text);

// "ERROR: <StatusText>", followed by `detail` when there is one; kFailure.
// For 1009 the lines of console.explain_bad_database follow.
int ReportStatus(Console& console, registry::Status status,
                 std::string_view detail = {});

// "ERROR: Invalid syntax: <reason>" and where to find the command's usage;
// kFailure. `command` is empty for the tool itself.
int ReportSyntaxError(Console& console, std::string_view command,
                      std::string_view reason);

// Asks `question` followed by " (Yes/No)? " until the answer is yes or no
// (y, yes, n, no in any case). True for yes; the end of input is a no.
bool Confirm(Console& console, std::string_view question);

// Says that the user declined; kSuccess, as nothing failed.
int ReportCancelled(Console& console);

}  // namespace quillprobe::quillreg
