// quillreg's commands end to end on an in-memory registry: what each command
// line prints, its exit status, and what it leaves in the registry.
#include "tools/quillreg/quillreg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "registry/memory_registry.h"
#include "tests/support/recording_registry.h"
#include "tests/support/registry_seeding.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::quillreg {
namespace {

using namespace std::string_view_literals;
namespace roots = registry::roots;
namespace value_type = registry::value_type;
using registry::RegistryCall;
using test::KeyExists;
using test::ReadValue;
using test::SeedKey;
using test::SeedString;
using test::SeedValue;

constexpr char kTarnwick[] = "SOFTWARE\\Quillmere Software\\Tarnwick";
constexpr char kPath[] = "SOFTWARE\\Quillmere Software\\Tarnwick\\Path";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A registry with one value of every type under HKLM\...\Tarnwick, the
// product record below it and an empty key beside it.
class QuillregTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SeedString(memory_, roots::kLocalMachine, kTarnwick, "", "Tarnwick");
    SeedString(memory_, roots::kLocalMachine, kTarnwick, "Sz", "hello world");
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Expand",
              value_type::kExpandSz, Text("%ProgramFiles%\\Tarnwick\0", 25));
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Multi",
              value_type::kMultiSz, Text("one\0two\0\0", 9));
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Dword",
              value_type::kDword, {0x2a, 0, 0, 0});
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Qword",
              value_type::kQword, {0x90, 0x78, 0x56, 0x34, 0x12, 0, 0, 0});
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Binary",
              value_type::kBinary, {0x0a, 0x0b, 0xfc});
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "None",
              value_type::kNone, {});
    SeedValue(memory_, roots::kLocalMachine, kTarnwick, "Odd", 0x1234,
              {0x01, 0x02});
    SeedString(memory_, roots::kLocalMachine, kPath, "EXE Path",
               "C:\\Apps\\Tarnwick\\");
    SeedKey(memory_, roots::kLocalMachine,
            "SOFTWARE\\Quillmere Software\\Empty");
  }

  static std::vector<std::uint8_t> Text(const char* text, std::size_t size) {
    return {text, text + size};
  }

  Outcome RunCommand(const std::vector<std::string>& args,
                     registry::RegistryApi& api, const std::string& input = "",
                     bool terminal = false,
                     std::function<std::string()> explain = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Console console{in, out, err, terminal, std::move(explain)};
    const int status = quillreg::Run(args, api, console);
    return {status, out.str(), err.str()};
  }

  Outcome RunCommand(const std::vector<std::string>& args,
                     const std::string& input = "", bool terminal = false) {
    return RunCommand(args, memory_, input, terminal);
  }

  registry::MemoryRegistry memory_;
};

struct CommandCase {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

std::ostream& operator<<(std::ostream& os, const CommandCase& c) {
  for (const std::string& arg : c.args) os << '[' << arg << "] ";
  return os;
}

const std::string kNotFound =
    "ERROR: The system was unable to find the specified registry key or "
    "value.\n";

// Command lines whose output and status are exact, and that change nothing.
const CommandCase kReadOnlyCases[] = {
    // Every type as reg.exe renders it; the name as stored, in insertion
    // order; subkeys by full name after a blank line.
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick
    (Default)    REG_SZ    Tarnwick
    Sz    REG_SZ    hello world
    Expand    REG_EXPAND_SZ    %ProgramFiles%\Tarnwick
    Multi    REG_MULTI_SZ    one\0two
    Dword    REG_DWORD    0x2a
    Qword    REG_QWORD    0x1234567890
    Binary    REG_BINARY    0A0BFC
    None    REG_NONE    
    Odd    REG_UNKNOWN(0x1234)    0102

HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick\Path
)",
     ""},
    // Short and long root names in any case; the path shows as typed; a
    // key without values lists only its subkeys.
    {{"query", "hkey_local_machine\\software\\quillmere software\\"},
     0,
     R"(
HKEY_LOCAL_MACHINE\software\quillmere software\Empty
HKEY_LOCAL_MACHINE\software\quillmere software\Tarnwick
)",
     ""},
    {{"QUERY", "hklm\\SOFTWARE\\Quillmere Software\\Empty"}, 0, "\n", ""},
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software", "/s"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Empty

HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick
    (Default)    REG_SZ    Tarnwick
    Sz    REG_SZ    hello world
    Expand    REG_EXPAND_SZ    %ProgramFiles%\Tarnwick
    Multi    REG_MULTI_SZ    one\0two
    Dword    REG_DWORD    0x2a
    Qword    REG_QWORD    0x1234567890
    Binary    REG_BINARY    0A0BFC
    None    REG_NONE    
    Odd    REG_UNKNOWN(0x1234)    0102

HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick\Path
    EXE Path    REG_SZ    C:\Apps\Tarnwick\

)",
     ""},
    // One value: the name as typed.
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path", "/v",
      "exe path"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick\Path
    exe path    REG_SZ    C:\Apps\Tarnwick\

)",
     ""},
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "-VE"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick
    (Default)    REG_SZ    Tarnwick

)",
     ""},
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path", "/ve"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick\Path
    (Default)    REG_SZ    (value not set)

)",
     ""},
    // A search below a key.
    {{"query", "HKLM\\SOFTWARE", "/v", "EXE PATH", "/s"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick\Path
    EXE PATH    REG_SZ    C:\Apps\Tarnwick\

End of search: 1 match(es) found.
)",
     ""},
    {{"query", "HKLM\\SOFTWARE", "/ve", "/s"},
     0,
     R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Quillmere Software\Tarnwick
    (Default)    REG_SZ    Tarnwick

End of search: 1 match(es) found.
)",
     ""},
    // Missing key or value.
    {{"query", "HKLM\\SOFTWARE\\Nobody"}, 1, "", kNotFound},
    {{"query", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "/v", "Nope"},
     1,
     "",
     kNotFound},
    {{"delete", "HKLM\\SOFTWARE\\Nobody", "/f"}, 1, "", kNotFound},
    {{"delete", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "/v", "Nope",
      "/f"},
     1,
     "",
     kNotFound},
    {{"delete", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path", "/ve",
      "/f"},
     1,
     "",
     kNotFound},
    // Bad roots and key names.
    {{"query", "HKXX\\SOFTWARE"},
     1,
     "",
     "ERROR: Invalid key name: \"HKXX\" is not a root key. The roots are "
     "HKLM, HKCU, HKCR, HKU and HKCC, or their long names "
     "(HKEY_LOCAL_MACHINE, ...).\n"},
    {{"query", "SOFTWARE\\Quillmere Software"},
     1,
     "",
     "ERROR: Invalid key name: \"SOFTWARE\" is not a root key. The roots are "
     "HKLM, HKCU, HKCR, HKU and HKCC, or their long names "
     "(HKEY_LOCAL_MACHINE, ...).\n"},
    {{"query", "HKLM\\SOFTWARE\\\\Quillmere Software"},
     1,
     "",
     "ERROR: Invalid key name: \"HKLM\\SOFTWARE\\\\Quillmere Software\" has "
     "an empty component (two backslashes in a row).\n"},
    {{"query", "\\\\server\\HKLM\\SOFTWARE"},
     1,
     "",
     "ERROR: Remote registries are not supported: \"\\\\server\\HKLM\\SOFTWARE"
     "\" names a key on another machine.\n"},
    {{"delete", "HKCU", "/f"},
     1,
     "",
     "ERROR: The root key HKEY_CURRENT_USER cannot be deleted.\n"},
    // Bad type, bad data.
    {{"add", "HKLM\\SOFTWARE\\New", "/v", "x", "/t", "REG_FOO", "/d", "1"},
     1,
     "",
     "ERROR: Unsupported registry data type \"REG_FOO\". The types are "
     "REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY "
     "and REG_NONE.\n"},
    {{"add", "HKLM\\SOFTWARE\\New", "/v", "x", "/t", "REG_DWORD", "/d",
      "4294967296"},
     1,
     "",
     "ERROR: The option /d must be followed by a valid numeric value: "
     "\"4294967296\" (a decimal or 0x-hexadecimal number from 0 to "
     "4294967295).\n"},
    {{"add", "HKLM\\SOFTWARE\\New", "/v", "x", "/t", "REG_QWORD"},
     1,
     "",
     "ERROR: The option /d is required for REG_QWORD.\n"},
    {{"add", "HKLM\\SOFTWARE\\New", "/v", "x", "/t", "REG_BINARY", "/d",
      "0x0a"},
     1,
     "",
     "ERROR: The option /d must be followed by a valid hexadecimal value: "
     "\"0x0a\" (hex digits only, two for each byte).\n"},
    {{"add", "HKLM\\SOFTWARE\\New", "/v", "x", "/t", "REG_MULTI_SZ", "/d",
      "a\\0\\0b"},
     1,
     "",
     "ERROR: The option /d must be followed by a valid string: a "
     "REG_MULTI_SZ cannot hold an empty string (two separators in a "
     "row).\n"},
    // Syntax.
    {{},
     1,
     "",
     "ERROR: Invalid syntax: no command given.\n"
     "Type \"quillreg /?\" for usage.\n"},
    {{"list", "HKLM"},
     1,
     "",
     "ERROR: Invalid syntax: unknown command \"list\".\n"
     "Type \"quillreg /?\" for usage.\n"},
    {{"query"},
     1,
     "",
     "ERROR: Invalid syntax: KEY is missing.\n"
     "Type \"quillreg query /?\" for usage.\n"},
    {{"query", "HKLM", "/x"},
     1,
     "",
     "ERROR: Invalid syntax: unknown option /x.\n"
     "Type \"quillreg query /?\" for usage.\n"},
    {{"query", "HKLM", "HKCU"},
     1,
     "",
     "ERROR: Invalid syntax: unexpected argument \"HKCU\".\n"
     "Type \"quillreg query /?\" for usage.\n"},
    {{"query", "HKLM", "/s", "-S"},
     1,
     "",
     "ERROR: Invalid syntax: the option -S is given twice.\n"
     "Type \"quillreg query /?\" for usage.\n"},
    {{"query", "HKLM", "/v"},
     1,
     "",
     "ERROR: Invalid syntax: the option /v needs a value.\n"
     "Type \"quillreg query /?\" for usage.\n"},
    {{"delete", "HKLM\\SOFTWARE", "/va", "/v", "x"},
     1,
     "",
     "ERROR: Invalid syntax: /v and /va cannot be used together.\n"
     "Type \"quillreg delete /?\" for usage.\n"},
    {{"add", "HKLM\\SOFTWARE\\New", "/t", "REG_MULTI_SZ", "/s", "ab"},
     1,
     "",
     "ERROR: Invalid syntax: /s takes a single character.\n"
     "Type \"quillreg add /?\" for usage.\n"},
    // Deleting without /f and without a terminal to ask on.
    {{"delete", "HKLM\\SOFTWARE\\Quillmere Software"},
     1,
     "",
     "ERROR: Standard input is not a terminal, so quillreg cannot ask before "
     "deleting: add /f to delete without being asked.\n"},
    {{"add", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "/v", "SZ", "/d",
      "other"},
     1,
     "",
     "ERROR: The value SZ exists in HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere "
     "Software\\Tarnwick. Standard input is not a terminal, so quillreg "
     "cannot ask whether to overwrite it: add /f to overwrite it.\n"},
};

class ReadOnlyCommandTest : public QuillregTest,
                            public ::testing::WithParamInterface<CommandCase> {
};

TEST_P(ReadOnlyCommandTest, PrintsAndExitsAsExpectedAndChangesNothing) {
  const CommandCase& c = GetParam();
  const Outcome before = RunCommand({"query", "HKLM", "/s"});
  const Outcome outcome = RunCommand(c.args);
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_EQ(outcome.out, c.out);
  EXPECT_EQ(outcome.err, c.err);
  EXPECT_EQ(RunCommand({"query", "HKLM", "/s"}).out, before.out);
  EXPECT_EQ(memory_.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadOnlyCommandTest,
                         ::testing::ValuesIn(kReadOnlyCases));

// What add stores for each type, read back byte for byte.
struct AddCase {
  std::vector<std::string> options;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

std::ostream& operator<<(std::ostream& os, const AddCase& c) {
  for (const std::string& option : c.options) os << '[' << option << "] ";
  return os;
}

class AddTest : public QuillregTest,
                public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddTest, StoresTheTypeAndBytes) {
  std::vector<std::string> args = {"add", "HKCU\\Software\\A\\B", "/v", "X"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  const Outcome outcome = RunCommand(args);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "The operation completed successfully.\n");
  const test::StoredValue stored =
      ReadValue(memory_, roots::kCurrentUser, "Software\\A\\B", "X");
  ASSERT_EQ(stored.status, 0);
  EXPECT_EQ(stored.type, GetParam().type);
  EXPECT_EQ(stored.data, GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddTest,
    ::testing::Values(
        AddCase{{"/d", "C:\\Apps\\"},
                value_type::kSz,
                {'C', ':', '\\', 'A', 'p', 'p', 's', '\\', 0}},
        AddCase{{}, value_type::kSz, {0}},
        AddCase{{"/t", "reg_expand_sz", "/d", "%A%"},
                value_type::kExpandSz,
                {'%', 'A', '%', 0}},
        AddCase{{"/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0"},
                value_type::kMultiSz,
                {'a', 0, 'b', 'c', 0, 0}},
        AddCase{{"/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b\\0c"},
                value_type::kMultiSz,
                {'a', 0, 'b', '\\', '0', 'c', 0, 0}},
        AddCase{{"/t", "REG_MULTI_SZ"}, value_type::kMultiSz, {0}},
        AddCase{{"/t", "REG_DWORD", "/d", "4294967295"},
                value_type::kDword,
                {0xff, 0xff, 0xff, 0xff}},
        AddCase{{"/t", "REG_DWORD", "/d", "0x1A"},
                value_type::kDword,
                {0x1a, 0, 0, 0}},
        AddCase{{"/t", "REG_QWORD", "/d", "0x1122334455667788"},
                value_type::kQword,
                {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
        AddCase{{"/t", "REG_BINARY", "/d", "abc"},
                value_type::kBinary,
                {0x0a, 0xbc}},
        AddCase{{"/t", "REG_BINARY"}, value_type::kBinary, {}},
        AddCase{{"/t", "REG_NONE", "/d", "h\xC3\xA9"},
                value_type::kNone,
                {'h', 0, 0xe9, 0, 0, 0}}));

TEST_F(QuillregTest, AddWithoutAValueNameSetsTheDefaultValue) {
  EXPECT_EQ(RunCommand({"add", "HKCU\\Software\\K", "/d", "text"}).status, 0);
  EXPECT_EQ(ReadValue(memory_, roots::kCurrentUser, "Software\\K", "").data,
            Text("text", 5));
  EXPECT_EQ(RunCommand({"add", "HKCU\\Software\\K", "/ve", "/f"}).status, 0);
  EXPECT_EQ(ReadValue(memory_, roots::kCurrentUser, "Software\\K", "").data,
            Text("", 1));
}

TEST_F(QuillregTest, AddOverwritesWithForceWithoutAsking) {
  const Outcome outcome =
      RunCommand({"add", std::string("HKLM\\") + kTarnwick, "/v", "dword", "/t",
                  "REG_DWORD", "/d", "7", "/f"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "The operation completed successfully.\n");
  const auto stored =
      ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Dword");
  EXPECT_EQ(stored.data, (std::vector<std::uint8_t>{7, 0, 0, 0}));
}

TEST_F(QuillregTest, AddAsksOnATerminalBeforeOverwriting) {
  const std::vector<std::string> args = {
      "add", std::string("HKLM\\") + kTarnwick, "/v", "Sz", "/d", "new"};
  // No leaves the value as it was; the question is repeated until the
  // answer is yes or no.
  Outcome outcome = RunCommand(args, "maybe\nNO\n", true);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "Value Sz exists, overwrite (Yes/No)? "
            "Value Sz exists, overwrite (Yes/No)? "
            "The operation was cancelled; nothing was changed.\n");
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Sz").data,
            Text("hello world", 12));
  // The end of input is a no.
  EXPECT_EQ(RunCommand(args, "", true).status, 0);
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Sz").data,
            Text("hello world", 12));

  outcome = RunCommand(args, "yes\r\n", true);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "Value Sz exists, overwrite (Yes/No)? "
            "The operation completed successfully.\n");
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Sz").data,
            Text("new", 4));
}

TEST_F(QuillregTest, AddThatFailsToStoreRemovesTheKeysItCreated) {
  registry::RecordingRegistry recording(memory_);
  recording.Inject(RegistryCall::kSetValueEx, registry::status::kAccessDenied);
  const Outcome outcome = RunCommand(
      {"add", "HKLM\\SOFTWARE\\Quillmere Software\\New\\Deeper", "/v", "x"},
      recording);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "ERROR: Access is denied.\n");
  EXPECT_FALSE(KeyExists(memory_, roots::kLocalMachine,
                         "SOFTWARE\\Quillmere Software\\New"));
  EXPECT_TRUE(
      KeyExists(memory_, roots::kLocalMachine, "SOFTWARE\\Quillmere Software"));
  EXPECT_EQ(memory_.OpenHandleCount(), 0u);
}

TEST_F(QuillregTest, DeleteRemovesOneValueTheDefaultValueOrAllValues) {
  const std::string key = std::string("HKLM\\") + kTarnwick;
  EXPECT_EQ(RunCommand({"delete", key, "/v", "sz", "/f"}).status, 0);
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Sz").status,
            2);
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Dword").status,
            0);

  EXPECT_EQ(RunCommand({"delete", key, "/ve", "/f"}).status, 0);
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "").status, 2);

  const Outcome all = RunCommand({"delete", key, "/va", "/f"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.out, "The operation completed successfully.\n");
  // No values left; the subkey stays.
  EXPECT_EQ(RunCommand({"query", key}).out,
            "\nHKEY_LOCAL_MACHINE\\" + std::string(kPath) + "\n");
}

TEST_F(QuillregTest, DeleteRemovesAKeyAndEverythingBelowIt) {
  SeedString(memory_, roots::kLocalMachine, std::string(kPath) + "\\a\\b\\c",
             "v", "deep");
  SeedKey(memory_, roots::kLocalMachine, std::string(kPath) + "\\a\\z");
  const Outcome outcome = RunCommand(
      {"delete", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "/f"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "The operation completed successfully.\n");
  EXPECT_FALSE(KeyExists(memory_, roots::kLocalMachine, kTarnwick));
  EXPECT_TRUE(KeyExists(memory_, roots::kLocalMachine,
                        "SOFTWARE\\Quillmere Software\\Empty"));
  EXPECT_EQ(memory_.OpenHandleCount(), 0u);
}

TEST_F(QuillregTest, DeleteAsksOnATerminal) {
  const std::string key = "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick";
  Outcome outcome = RunCommand({"delete", key}, "n\n", true);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "Permanently delete the registry key HKEY_LOCAL_MACHINE\\SOFTWARE"
            "\\Quillmere Software\\Tarnwick (Yes/No)? "
            "The operation was cancelled; nothing was changed.\n");
  EXPECT_TRUE(KeyExists(memory_, roots::kLocalMachine, kPath));

  outcome = RunCommand({"delete", key, "/v", "Dword"}, "y\n", true);
  EXPECT_EQ(outcome.out,
            "Delete the registry value Dword (Yes/No)? "
            "The operation completed successfully.\n");
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Dword").status,
            2);

  outcome = RunCommand({"delete", key, "/va"}, "Y\n", true);
  EXPECT_EQ(outcome.out,
            "Delete all values under the registry key HKEY_LOCAL_MACHINE\\"
            "SOFTWARE\\Quillmere Software\\Tarnwick (Yes/No)? "
            "The operation completed successfully.\n");

  outcome = RunCommand({"delete", key}, "yes\n", true);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(KeyExists(memory_, roots::kLocalMachine, kTarnwick));
}

TEST_F(QuillregTest, DeleteOfATreeThatCannotBeListedDeletesNothing) {
  SeedKey(memory_, roots::kLocalMachine, std::string(kPath) + "\\Locked");
  registry::RecordingRegistry recording(memory_);
  recording.Inject(RegistryCall::kOpenKeyEx, registry::status::kAccessDenied)
      .ForName(std::string(kPath) + "\\Locked");
  const Outcome outcome = RunCommand(
      {"delete", "HKLM\\SOFTWARE\\Quillmere Software\\Tarnwick", "/f"},
      recording);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "ERROR: Access is denied. (deleting HKEY_LOCAL_MACHINE\\SOFTWARE\\"
            "Quillmere Software\\Tarnwick\\Path\\Locked)\n");
  EXPECT_EQ(recording.Count(RegistryCall::kDeleteKey), 0u);
  EXPECT_TRUE(KeyExists(memory_, roots::kLocalMachine, kPath));
}

TEST_F(QuillregTest, HelpForTheToolAndEachCommand) {
  for (const char* token : {"/?", "-?", "--help"}) {
    const Outcome tool = RunCommand({token});
    EXPECT_EQ(tool.status, 0);
    EXPECT_TRUE(tool.out.starts_with("quillreg: the registry")) << tool.out;
    EXPECT_EQ(tool.err, "");
  }
  for (const char* command : {"query", "add", "delete", "import", "export"}) {
    const Outcome help = RunCommand({command, "HKLM", "/?"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(std::string("quillreg ") + command))
        << help.out;
    EXPECT_EQ(RunCommand({command, "--help"}).out, help.out);
  }
  // A value that happens to look like a help request is a value.
  EXPECT_EQ(RunCommand({"add", "HKCU\\Software\\K", "/v", "/?"}).out,
            "The operation completed successfully.\n");
  EXPECT_EQ(ReadValue(memory_, roots::kCurrentUser, "Software\\K", "/?").status,
            0);
}

TEST_F(QuillregTest, ACorruptDatabaseIsExplainedWhereTheRegistryCan) {
  registry::RecordingRegistry recording(memory_);
  recording.Inject(RegistryCall::kOpenKeyEx, registry::status::kBadDb);
  const Outcome outcome =
      RunCommand({"query", "HKLM\\SOFTWARE"}, recording, "", false,
                 [] { return std::string("HKLM.reg:3: a bad line"); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "ERROR: The configuration registry database is corrupt.\n"
            "HKLM.reg:3: a bad line\n");
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

// The registry editor's export of a product record: UTF-16LE with its byte
// order mark, CRLF line ends (tests/fixtures/regedit_export.reg).
constexpr std::uint8_t kRegeditExport[] = {
#include "regedit_export.inc"
};

class ImportExportTest : public QuillregTest {
 protected:
  std::string File(std::string_view name) const {
    return (scratch_.path() / name).string();
  }
  // Everything in the registry, as query /s shows it.
  std::string Dump(registry::RegistryApi& api) {
    std::string dump;
    for (const char* root : {"HKLM", "HKCU", "HKCR", "HKU", "HKCC"}) {
      dump += RunCommand({"query", root, "/s"}, api).out;
    }
    return dump;
  }

  test::ScratchDirectory scratch_;
};

TEST_F(ImportExportTest, ImportThenExportGivesTheRegistryEditorsFileBack) {
  const std::string_view regedit(reinterpret_cast<const char*>(kRegeditExport),
                                 sizeof kRegeditExport);
  WriteFile(File("in.reg"), regedit);
  registry::MemoryRegistry fresh;
  Outcome outcome = RunCommand({"import", File("in.reg")}, fresh);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "The operation completed successfully.\n");
  outcome = RunCommand(
      {"export", "HKLM\\SOFTWARE\\Quillmere Software", File("out.reg")}, fresh);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadFile(File("out.reg")), regedit);
  EXPECT_EQ(fresh.OpenHandleCount(), 0u);
}

TEST_F(ImportExportTest, EveryTypeSurvivesAnExportAndAnImport) {
  ASSERT_EQ(RunCommand({"export", "HKLM\\SOFTWARE", File("all.reg")}).status,
            0);
  const std::string exported = ReadFile(File("all.reg"));
  EXPECT_TRUE(exported.starts_with("\xff\xfeW\0i\0n\0"sv));
  registry::MemoryRegistry fresh;
  ASSERT_EQ(RunCommand({"import", File("all.reg")}, fresh).status, 0);
  EXPECT_EQ(Dump(fresh), Dump(memory_));
  ASSERT_EQ(
      RunCommand({"export", "HKLM\\SOFTWARE", File("again.reg")}, fresh).status,
      0);
  EXPECT_EQ(ReadFile(File("again.reg")), exported);
}

TEST_F(ImportExportTest, ImportAppliesDeletionsInTheOrderOfTheFile) {
  WriteFile(
      File("changes.reg"),
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path]"
      "\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Not There]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick]\r\n"
      "\"Sz\"=-\r\n"
      "\"Not There\"=-\r\n"
      "\"Dword\"=dword:00000010\r\n\r\n"
      "[HKCU\\Software\\New]\r\n"
      "@=\"made\"\r\n");
  const Outcome outcome = RunCommand({"import", File("changes.reg")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_FALSE(KeyExists(memory_, roots::kLocalMachine, kPath));
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Sz").status,
            2);
  EXPECT_EQ(ReadValue(memory_, roots::kLocalMachine, kTarnwick, "Dword").data,
            (std::vector<std::uint8_t>{0x10, 0, 0, 0}));
  EXPECT_EQ(ReadValue(memory_, roots::kCurrentUser, "Software\\New", "").data,
            Text("made", 5));
}

TEST_F(ImportExportTest, AFileWithAnErrorImportsNothing) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::string good =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick]\n"
      "\"Sz\"=\"changed\"\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Empty]\n"
      "[HKEY_CURRENT_USER\\Software\\New]\n";
  struct BadFile {
    std::string text;
    std::string reason;
  };
  const BadFile bad_files[] = {
      {header + good + "\"n\"=dword:xyz\n",
       ":7: a dword needs 1 to 8 hex digits"},
      {header + good + "[HKEY_NOWHERE\\x]\n",
       ":7: \"HKEY_NOWHERE\" is not a root key"},
      {header + good + "[-HKEY_CURRENT_USER]\n",
       ":7: the root key HKEY_CURRENT_USER cannot be deleted"},
      {header + good + "[HKCU\\" + std::string(256, 'k') + "]\n",
       ":7: the key name \"" + std::string(256, 'k') +
           "\" is longer than 255 characters"},
      {header + good + "[HKCU\\x]\n\"" + std::string(16384, 'v') + "\"=-\n",
       ":8: the value name is longer than 16383 characters"},
  };
  for (const BadFile& bad : bad_files) {
    const std::string before = Dump(memory_);
    WriteFile(File("bad.reg"), bad.text);
    const Outcome outcome = RunCommand({"import", File("bad.reg")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "ERROR: " + File("bad.reg") + bad.reason +
                               "; nothing was imported.\n");
    EXPECT_EQ(Dump(memory_), before);
  }
  const Outcome missing = RunCommand({"import", File("missing.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "ERROR: Cannot read " + File("missing.reg") +
                             ": it does not exist.\n");
}

TEST_F(ImportExportTest, AKeyThatCannotBeWrittenStopsTheImportBeforeAnyChange) {
  WriteFile(File("locked.reg"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\"
            "Tarnwick]\n\"Sz\"=\"changed\"\n\n[HKEY_CURRENT_USER\\Locked\\"
            "Below]\n\"x\"=\"1\"\n");
  SeedKey(memory_, roots::kCurrentUser, "Locked");
  registry::RecordingRegistry recording(memory_);
  recording.Inject(RegistryCall::kOpenKeyEx, registry::status::kAccessDenied)
      .ForName("Locked");
  const std::string before = Dump(memory_);
  const Outcome outcome = RunCommand({"import", File("locked.reg")}, recording);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "ERROR: Access is denied. (HKEY_CURRENT_USER\\Locked\\"
            "Below, " +
                File("locked.reg") + ":6); nothing was imported.\n");
  EXPECT_EQ(Dump(memory_), before);
  EXPECT_EQ(recording.Count(RegistryCall::kSetValueEx), 0u);
}

TEST_F(ImportExportTest, ExportOverwritesOnlyWhenAllowed) {
  const std::string file = File("out.reg");
  WriteFile(file, "old");
  const std::vector<std::string> args = {"export", "HKLM\\SOFTWARE", file};
  Outcome outcome = RunCommand(args);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "ERROR: The file " + file +
                " exists. Standard input is not a terminal, so quillreg cannot "
                "ask whether to overwrite it: add /y to overwrite it.\n");
  EXPECT_EQ(ReadFile(file), "old");

  outcome = RunCommand(args, "no\n", true);
  EXPECT_EQ(outcome.out, "File " + file +
                             " already exists. Overwrite (Yes/No)? The "
                             "operation was cancelled; nothing was changed.\n");
  EXPECT_EQ(ReadFile(file), "old");

  outcome = RunCommand({"export", "HKLM\\SOFTWARE", file, "/Y"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(ReadFile(file).starts_with("\xff\xfe"));

  // A key that is not there writes no file.
  outcome = RunCommand({"export", "HKLM\\Nothing", File("none.reg")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, kNotFound);
  EXPECT_FALSE(std::filesystem::exists(File("none.reg")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch_.path()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
}

}  // namespace
}  // namespace quillprobe::quillreg
