#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "registry/wide_text_windows.h"
#include "tools/quillreg/platform_console.h"

namespace quillprobe::quillreg {

std::vector<std::string> ProcessArguments(int, char**) {
  int count = 0;
  LPWSTR* const wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    args.push_back(registry::Utf8FromWide(wide[i]));
  }
  LocalFree(wide);
  return args;
}

// A console input handle answers GetConsoleMode; a pipe, a file or NUL does
// not (NUL is a character device, so the C runtime's _isatty would take it
// for a terminal).
bool StdinIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// The Windows registry says no more than its status.
std::string ExplainBadDatabase() { return {}; }

// The console's output code page belongs to the console, which outlives
// the process: it is put back as it was.
Utf8ConsoleOutput::Utf8ConsoleOutput() {
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0) return;
  previous_code_page_ = GetConsoleOutputCP();
  if (previous_code_page_ == CP_UTF8 || SetConsoleOutputCP(CP_UTF8) == 0) {
    previous_code_page_ = 0;
  }
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (previous_code_page_ != 0) SetConsoleOutputCP(previous_code_page_);
}

}  // namespace quillprobe::quillreg
