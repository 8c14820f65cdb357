#include "tools/quillreg/messages.h"

#include <istream>
#include <ostream>

#include "registry/unicode_case.h"

namespace quillprobe::quillreg {

namespace status = registry::status;

std::string StatusText(registry::Status code) {
  switch (code) {
    case status::kFileNotFound:
      return "The system was unable to find the specified registry key or "
             "value.";
    case status::kAccessDenied:
      return "Access is denied.";
    case status::kInvalidHandle:
      return "The handle is invalid.";
    case status::kNotEnoughMemory:
      return "Not enough memory resources are available to process this "
             "command.";
    case status::kInvalidParameter:
      return "The parameter is incorrect.";
    case status::kBadPathname:
      return "The specified path is invalid.";
    case status::kBadDb:
      return "The configuration registry database is corrupt.";
    case status::kBadKey:
      return "The configuration registry key is invalid.";
    case status::kKeyDeleted:
      return "Illegal operation attempted on a registry key that has been "
             "marked for deletion.";
    default:
      return "The registry call failed with status " + std::to_string(code) +
             ".";
  }
}

int ReportSuccess(Console& console) {
  console.out << "The operation completed successfully.\n";
  return kSuccess;
}

int ReportError(Console& console, std::string_view text) {
  console.err << "ERROR: " << text << '\n';
  return kFailure;
}

int ReportStatus(Console& console, registry::Status code,
                 std::string_view detail) {
  std::string text = StatusText(code);
  if (!detail.empty()) text.append(" ").append(detail);
  if (code == status::kBadDb && console.explain_bad_database) {
    const std::string reasons = console.explain_bad_database();
    if (!reasons.empty()) text.append("\n").append(reasons);
  }
  return ReportError(console, text);
}

int ReportSyntaxError(Console& console, std::string_view command,
                      std::string_view reason) {
  console.err << "ERROR: Invalid syntax: " << reason << '\n'
              << "Type \"quillreg " << command << (command.empty() ? "" : " ")
              << "/?\" for usage.\n";
  return kFailure;
}

bool Confirm(Console& console, std::string_view question) {
  std::string answer;
  for (;;) {
    console.out << question << " (Yes/No)? " << std::flush;
    if (!std::getline(console.in, answer)) {
      console.out << '\n';
      return false;
    }
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    const std::string upper = registry::ToUpper(answer);
    if (upper == "Y" || upper == "YES") return true;
    if (upper == "N" || upper == "NO") return false;
  }
}

int ReportCancelled(Console& console) {
  console.out << "The operation was cancelled; nothing was changed.\n";
  return kSuccess;
}

}  // namespace quillprobe::quillreg
