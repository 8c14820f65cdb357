#include "tools/quillreg/help_text.h"

#include <array>

#include "registry/unicode_case.h"

namespace quillprobe::quillreg {
namespace {

constexpr std::string_view kToolHelp =
    R"(quillreg: the registry from the command line, in reg.exe's conventions.

quillreg COMMAND [arguments]

  query    Shows the values and subkeys of a key.
  add      Adds or changes a value, creating its key when needed.
  delete   Deletes a value, every value of a key, or a key and its subkeys.
  import   Applies a .reg file to the registry.
  export   Writes a key and everything below it to a .reg file.

KEY is ROOT\Path\To\Key, where ROOT is one of
  HKLM  HKEY_LOCAL_MACHINE      HKU   HKEY_USERS
  HKCU  HKEY_CURRENT_USER       HKCC  HKEY_CURRENT_CONFIG
  HKCR  HKEY_CLASSES_ROOT
in any case. Options begin with / or - and are read in any case.

On Windows quillreg works on the Windows registry; elsewhere on the local
registry (the .reg files under $QUILLPROBE_PREFIX/registry, by default
~/.local/share/quillprobe/registry).

Exit status: 0 on success, 1 on failure (with the reason on standard error;
a command that fails changes nothing).

Type "quillreg COMMAND /?" for the usage of a command.
)";

constexpr std::string_view kQueryHelp =
    R"(quillreg query KEY [/v NAME | /ve] [/s]

Shows the values of KEY, one line each (name, type, data), and then the
full names of its subkeys.

  /v NAME   Shows only the value NAME.
  /ve       Shows only the default (unnamed) value.
  /s        Goes through every key below KEY as well. With /v or /ve, shows
            each key below KEY that holds that value, and how many did.

Data shows as reg.exe shows it: text as it is, REG_MULTI_SZ strings joined
by \0, REG_DWORD and REG_QWORD as 0x and hex digits, anything else as hex
bytes.

Examples:
  quillreg query "HKLM\SOFTWARE\Quillmere Software"
  quillreg query "HKLM\SOFTWARE\Quillmere Software\Tarnwick\Path" /v "EXE Path"
  quillreg query HKCU\Software /s
)";

constexpr std::string_view kAddHelp =
    R"(quillreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]

Stores a value in KEY, creating KEY and the keys above it when they are
missing.

  /v NAME        The value to store.
  /ve            The default (unnamed) value; also what is stored when
                 neither /v nor /ve is given.
  /t TYPE        REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ,
                 REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE.
  /s SEPARATOR   The one character that separates the strings of a
                 REG_MULTI_SZ in DATA; without it, the two characters \0.
  /d DATA        The data: text for the string types (and REG_NONE, stored
                 as UTF-16 text as reg.exe does); a decimal or 0x-hex number
                 for REG_DWORD and REG_QWORD; hex digits for REG_BINARY.
  /f             Overwrites an existing value without asking. Without /f,
                 quillreg asks when standard input is a terminal and refuses
                 otherwise.

Examples:
  quillreg add "HKLM\SOFTWARE\Quillmere Software\Tarnwick\Path" /v "EXE Path" /d "C:\Apps\Tarnwick\\" /f
  quillreg add HKCU\Software\Example /v Count /t REG_DWORD /d 0x10
  quillreg add HKCU\Software\Example /v List /t REG_MULTI_SZ /d "one\0two"
)";

constexpr std::string_view kDeleteHelp =
    R"(quillreg delete KEY [/v NAME | /ve | /va] [/f]

Deletes KEY with every key below it, or only values of KEY.

  /v NAME   Deletes the value NAME.
  /ve       Deletes the default (unnamed) value.
  /va       Deletes every value of KEY (its subkeys stay).
  /f        Deletes without asking. Without /f, quillreg asks when standard
            input is a terminal and refuses otherwise.

A root key cannot be deleted.

Examples:
  quillreg delete "HKLM\SOFTWARE\Quillmere Software\Tarnwick" /f
  quillreg delete HKCU\Software\Example /v Count
)";

constexpr std::string_view kImportHelp =
    R"(quillreg import FILE

Applies the .reg file FILE to the registry: "Windows Registry Editor
Version 5.00" or REGEDIT4, in UTF-8 or UTF-16LE with a byte order mark.
A section [KEY] creates KEY and sets its values; [-KEY] deletes KEY and
everything below it; "NAME"=- deletes a value.

The whole file is read and checked before anything changes: a file with an
error names its line and imports nothing.

Example:
  quillreg import tarnwick.reg
)";

constexpr std::string_view kExportHelp =
    R"(quillreg export KEY FILE [/y]

Writes KEY and every key below it to the .reg file FILE as the Windows
registry editor does (Version 5.00, UTF-16LE with a byte order mark, CRLF
line ends), so that the file imports on Windows as well.

  /y   Overwrites FILE when it exists. Without /y, quillreg asks when
       standard input is a terminal and refuses otherwise.

Example:
  quillreg export "HKLM\SOFTWARE\Quillmere Software" quillmere.reg
)";

struct CommandEntry {
  std::string_view name;
  std::string_view help;
};

constexpr std::array<CommandEntry, 5> kCommands{{
    {"query", kQueryHelp},
    {"add", kAddHelp},
    {"delete", kDeleteHelp},
    {"import", kImportHelp},
    {"export", kExportHelp},
}};

}  // namespace

std::string_view ToolHelp() { return kToolHelp; }

std::optional<std::string_view> CommandHelp(std::string_view command) {
  for (const CommandEntry& entry : kCommands) {
    if (registry::EqualsIgnoreCase(command, entry.name)) return entry.help;
  }
  return std::nullopt;
}

}  // namespace quillprobe::quillreg
