// The .reg codec: what the writer writes reads back to the same keys and
// values byte for byte, the reader takes the registry editor's files, and
// bad files fail at the right line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "registry/key_tree.h"
#include "registry/reg_file_reader.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace quillprobe::registry {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr std::string_view kRootSection = "[HKEY_LOCAL_MACHINE]\n\n";

// The registry editor's export of a small product record: UTF-16LE with its
// byte order mark, CRLF line ends (tests/fixtures/regedit_export.reg).
constexpr std::uint8_t kRegeditExport[] = {
#include "regedit_export.inc"
};

Bytes B(std::string_view text) { return {text.begin(), text.end()}; }

// A key and its values, for comparing trees.
struct FlatKey {
  std::string path;
  std::vector<std::string> values;  // "name|type|hex data"
  bool operator==(const FlatKey&) const = default;
};

void PrintTo(const FlatKey& key, std::ostream* out) {
  *out << key.path << " " << ::testing::PrintToString(key.values);
}

std::string Describe(const Value& value) {
  std::string text = value.name + "|" + std::to_string(value.type) + "|";
  for (const std::uint8_t byte : value.data) {
    constexpr char kDigits[] = "0123456789abcdef";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

void Flatten(const Key& key, const std::string& path,
             std::vector<FlatKey>& out) {
  FlatKey& flat = out.emplace_back();
  flat.path = path;
  for (const Value& value : key.values()) {
    flat.values.push_back(Describe(value));
  }
  for (const auto& subkey : key.subkeys()) {
    Flatten(*subkey, path + "\\" + subkey->name(), out);
  }
}

std::vector<FlatKey> Flatten(const Key& root) {
  std::vector<FlatKey> out;
  Flatten(root, root.name(), out);
  return out;
}

// The hive that `text` describes; a failure when it does not load.
std::shared_ptr<Key> Load(std::string_view text) {
  auto loaded = LoadHiveText(text, "HKEY_LOCAL_MACHINE", "test.reg");
  if (const auto* error = std::get_if<ParseError>(&loaded)) {
    ADD_FAILURE() << error->Message();
    return Key::NewRoot("HKEY_LOCAL_MACHINE");
  }
  return std::get<std::shared_ptr<Key>>(loaded);
}

// Why `text` does not load; an empty error when it does.
ParseError LoadError(std::string_view text) {
  auto loaded = LoadHiveText(text, "HKEY_LOCAL_MACHINE", "test.reg");
  if (auto* error = std::get_if<ParseError>(&loaded)) return *error;
  return {};
}

// Writes `root`, reads it back and checks that nothing changed, not even
// the text when written again. Returns the text.
std::string RoundTrip(const Key& root) {
  const std::string text = WriteRegFile(root);
  const auto loaded = Load(text);
  EXPECT_EQ(Flatten(*loaded), Flatten(root)) << text;
  EXPECT_EQ(WriteRegFile(*loaded), text);
  return text;
}

TEST(RegFileRoundTrip, EveryValueComesBackByteForByte) {
  const struct {
    const char* what;
    std::string name;
    std::uint32_t type;
    Bytes data;
    std::string line;  // as written
  } cases[] = {
      {"plain text", "EXE Path", 1, B(std::string("C:\\Apps\\\0", 9)),
       R"("EXE Path"="C:\\Apps\\")"},
      {"quotes", "say \"hi\"", 1, B(std::string("a \"b\"\0", 6)),
       R"("say \"hi\""="a \"b\"")"},
      {"tab in text", "Tab", 1, B(std::string("a\tb\0", 4)),
       "\"Tab\"=\"a\tb\""},
      {"non-ASCII", "Café", 1, B(std::string("Crème 😀\0", 12)),
       "\"Café\"=\"Crème 😀\""},
      {"just a NUL", "Nul", 1, {0}, R"("Nul"="")"},
      {"no terminating NUL", "NoNul", 1, B("abc"),
       R"("NoNul"=hex(1):61,00,62,00,63,00)"},
      {"zero bytes", "Zero", 1, {}, R"("Zero"=hex(1):)"},
      {"two NULs at the end", "TwoNuls", 1, B(std::string("a\0\0", 3)),
       R"("TwoNuls"=hex(1):61,00,00,00,00,00)"},
      {"embedded NUL", "Inner", 1, B(std::string("a\0b\0", 4)),
       R"("Inner"=hex(1):61,00,00,00,62,00,00,00)"},
      {"line break in text", "Lines", 1, B(std::string("a\r\nb\0", 5)),
       R"("Lines"=hex(1):61,00,0d,00,0a,00,62,00,00,00)"},
      {"control character", "Esc", 1, B(std::string("\x1b[0m\0", 5)),
       R"("Esc"=hex(1):1b,00,5b,00,30,00,6d,00,00,00)"},
      {"invalid UTF-8", "Latin1", 1, B(std::string("\xff\xc3\0", 3)),
       R"("Latin1"=hex(1):ff,dc,c3,dc,00,00)"},
      {"UTF-8 of a surrogate", "Surrogate", 1, B("\xed\xb2\x80"),
       R"("Surrogate"=hex(1):ed,dc,b2,dc,80,dc)"},
      {"expandable text", "Temp", 2, B(std::string("%TEMP%\0", 7)),
       R"("Temp"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00)"},
      {"multi-string", "List", 7, B(std::string("a\0😀\0\0", 8)),
       R"("List"=hex(7):61,00,00,00,3d,d8,00,de,00,00,00,00)"},
      {"binary", "Blob", 3, {0xde, 0xad, 0x00}, R"("Blob"=hex:de,ad,00)"},
      {"empty binary", "Blob0", 3, {}, R"("Blob0"=hex:)"},
      {"dword",
       "Count",
       4,
       {0x78, 0x56, 0x34, 0x12},
       R"("Count"=dword:12345678)"},
      {"short dword", "Short", 4, {1, 2, 3}, R"("Short"=hex(4):01,02,03)"},
      {"empty dword", "NoDword", 4, {}, R"("NoDword"=hex(4):)"},
      {"big-endian dword",
       "Big",
       5,
       {0, 0, 0, 1},
       R"("Big"=hex(5):00,00,00,01)"},
      {"qword",
       "Q",
       11,
       {1, 0, 0, 0, 0, 0, 0, 0x80},
       R"("Q"=hex(b):01,00,00,00,00,00,00,80)"},
      {"none", "None", 0, {0x41}, R"("None"=hex(0):41)"},
      {"link, not transcoded",
       "Link",
       6,
       {0x41, 0x00},
       R"("Link"=hex(6):41,00)"},
      {"type above 11",
       "Custom",
       0x100000,
       {0xff},
       R"("Custom"=hex(100000):ff)"},
      {"largest type", "Max", 0xffffffffu, {}, R"("Max"=hex(ffffffff):)"},
      {"unnamed value", "", 1, B(std::string("x\0", 2)), R"(@="x")"},
      {"a value named @", "@", 4, {1, 0, 0, 0}, R"("@"=dword:00000001)"},
      {"backslash in a name",
       "a\\b",
       4,
       {0, 0, 0, 0},
       R"("a\\b"=dword:00000000)"},
      {"line breaks in a name",
       "two\nlines\r",
       4,
       {0, 0, 0, 0},
       R"("two\x0alines\x0d"=dword:00000000)"},
      {"invalid UTF-8 in a name",
       "\xff\xfe",
       4,
       {0, 0, 0, 0},
       R"("\xff\xfe"=dword:00000000)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
    root->AddSubkey("K", "").SetValue(c.name, c.type, c.data);
    const std::string text = RoundTrip(*root);
    EXPECT_NE(text.find("\n" + c.line + "\n"), std::string::npos) << text;
  }
}

TEST(RegFileRoundTrip, KeyNamesComeBackExactly) {
  const struct {
    const char* what;
    std::string name;
    std::string header;  // of the key's section
  } cases[] = {
      {"brackets", "a]b[c", R"([HKEY_LOCAL_MACHINE\a]b[c])"},
      {"quote and dash", "\"-x\"", R"([HKEY_LOCAL_MACHINE\"-x"])"},
      {"blanks at both ends", " padded ", "[HKEY_LOCAL_MACHINE\\ padded ]"},
      {"tab", "a\tb", R"(["HKEY_LOCAL_MACHINE\\a\x09b"])"},
      {"comment and value marks", ";@=", R"([HKEY_LOCAL_MACHINE\;@=])"},
      {"non-ASCII", "Ünïcødé ключ", "[HKEY_LOCAL_MACHINE\\Ünïcødé ключ]"},
      {"line break", "two\nlines", R"(["HKEY_LOCAL_MACHINE\\two\x0alines"])"},
      {"invalid UTF-8", "\xc3(", R"(["HKEY_LOCAL_MACHINE\\\xc3("])"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
    Key& key = root->AddSubkey(c.name, "");
    key.SetValue("v", 4, Bytes{1, 2, 3, 4});
    key.AddSubkey("child \"2\"", "");
    const std::string text = RoundTrip(*root);
    EXPECT_NE(text.find("\n" + c.header + "\n"), std::string::npos) << text;
  }
}

TEST(RegFileRoundTrip, WholeTreesKeepTheirShape) {
  const auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
  root->SetValue("at the root", 1, B(std::string("r\0", 2)));
  Key& software = root->AddSubkey("SOFTWARE", "");
  software.AddSubkey("Empty", "");
  Key& product = software.AddSubkey("b", "").AddSubkey("Deep", "");
  // Insertion order, not name order.
  product.SetValue("z", 4, Bytes{1, 0, 0, 0});
  product.SetValue("a", 4, Bytes{2, 0, 0, 0});
  software.AddSubkey("A", "");
  Bytes long_data(200);
  for (std::size_t i = 0; i < long_data.size(); ++i) {
    long_data[i] = static_cast<std::uint8_t>(i);
  }
  product.SetValue("Long", 3, long_data);

  const std::string text = RoundTrip(*root);
  EXPECT_TRUE(text.starts_with(std::string(kHeader) +
                               "[HKEY_LOCAL_MACHINE]\n\"at the root\"=\"r\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"))
      << text;
  // Subkeys in case-insensitive order, each key once, empty ones too.
  const std::vector<std::string> order = {
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\n",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\b]\n\n",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\b\\Deep]\n\"z\"=dword:00000001\n"
      "\"a\"=dword:00000002\n\"Long\"=hex:00,01,",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n\n"};
  std::size_t at = 0;
  for (const std::string& section : order) {
    const std::size_t found = text.find(section, at);
    ASSERT_NE(found, std::string::npos) << section << "\nin\n" << text;
    at = found + section.size();
  }
  // Long lists wrap as the registry editor wraps them: lines of at most 80
  // columns, continued with a backslash, the next indented by two blanks.
  std::size_t line_start = 0;
  std::size_t continued = 0;
  while (line_start < text.size()) {
    const std::size_t end = text.find('\n', line_start);
    const std::string_view line(text.data() + line_start, end - line_start);
    EXPECT_LE(line.size(), 80u) << line;
    if (line.ends_with(",\\")) {
      ++continued;
      EXPECT_EQ(text.substr(end + 1, 2), "  ");
    }
    line_start = end + 1;
  }
  EXPECT_GE(continued, 7u);
}

TEST(RegFileReader, ReadsTheRegistryEditorsExport) {
  const std::string_view bytes(reinterpret_cast<const char*>(kRegeditExport),
                               sizeof kRegeditExport);
  ASSERT_TRUE(bytes.starts_with("\xff\xfe"));
  const auto root = Load(bytes);
  const auto z = [](std::string_view text) {
    Bytes data = B(text);
    data.push_back(0);
    return data;
  };
  const std::vector<FlatKey> expected = {
      {"HKEY_LOCAL_MACHINE", {}},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE", {}},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software", {}},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick",
       {Describe({"", 1, z("Tarnwick Studio")}),
        Describe({"Version", 4, {0x0a, 0x00, 0x03, 0x00}})}},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path",
       {Describe(
            {"EXE Path", 1, z("C:\\Program Files\\Quillmere\\Tarnwick\\")}),
        Describe({"Motto", 1, z("say \"hi\"")}),
        Describe({"Data Dir", 2, z("%PROGRAMDATA%\\Tarn")}),
        Describe({"Plugins", 7, B(std::string("one\0two\0\0", 9))}),
        Describe({"Key", 3, {0xde, 0xad, 0xbe, 0xef}}),
        Describe({"Installed", 11, {0, 0x10, 0, 0, 0, 0, 0, 0}}),
        Describe({"Nothing", 0, {}}),
        Describe({"Café", 1, z("Crème brûlée")})}},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Vesperine", {}},
  };
  EXPECT_EQ(Flatten(*root), expected);
  RoundTrip(*root);
}

TEST(RegFileReader, TakesTheVariantsOfTheFormat) {
  const struct {
    const char* what;
    std::string input;
    std::string canonical;  // after the header and the root's section
  } cases[] = {
      {"BOM, CRLF, comments, blanks",
       "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; note\r\n"
       "  [HKEY_LOCAL_MACHINE\\A]  \r\n\t\"x\" = dword:1 \r\n",
       "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:00000001\n\n"},
      {"continued lists",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n"
       "\"b\"=hex:01, 02 ,\\\n   03,\\\n  4\n",
       "[HKEY_LOCAL_MACHINE\\A]\n\"b\"=hex:01,02,03,04\n\n"},
      {"@ and \"\" both name the unnamed value",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n"
       "@=\"one\"\n\"\"=\"two\"\n",
       "[HKEY_LOCAL_MACHINE\\A]\n@=\"two\"\n\n"},
      {"short root name, doubled and trailing separators",
       "Windows Registry Editor Version 5.00\n[hklm\\A\\\\B\\]\n",
       "[HKEY_LOCAL_MACHINE\\A]\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\n"},
      {"deletions",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n"
       "\"v\"=\"1\"\n[-HKEY_LOCAL_MACHINE\\a]\n\"ignored\"=\"1\"\n"
       "[-HKEY_LOCAL_MACHINE\\Missing\\Key]\n[HKEY_LOCAL_MACHINE\\D]\n"
       "\"x\"=\"1\"\n\"y\"=\"2\"\n\"X\"=-\n\"absent\"=-\n",
       "[HKEY_LOCAL_MACHINE\\D]\n\"y\"=\"2\"\n\n"},
      {"REGEDIT4 strings are bytes",
       "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"e\"=hex(2):41,42,00\n",
       "[HKEY_LOCAL_MACHINE\\A]\n\"e\"=hex(2):41,00,42,00,00,00\n\n"},
      {"letter case of types and digits",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n"
       "\"d\"=DWORD:ABCDEF01\n\"h\"=HEX(A):F,0a\n\"b\"=Hex:\n",
       "[HKEY_LOCAL_MACHINE\\A]\n\"d\"=dword:abcdef01\n\"h\"=hex(a):0f,0a\n"
       "\"b\"=hex:\n\n"},
      {"byte escapes in names and a quoted path",
       "Windows Registry Editor Version 5.00\n"
       "[\"HKEY_LOCAL_MACHINE\\\\A\\x41\"]\n\"n\\x41\"=\"\\x41\"\n",
       "[HKEY_LOCAL_MACHINE\\AA]\n\"nA\"=\"A\"\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WriteRegFile(*Load(c.input)),
              std::string(kHeader) + std::string(kRootSection) + c.canonical);
  }
}

TEST(RegFileReader, NamesTheLineAndTheReasonOfAnError) {
  const std::string h = "Windows Registry Editor Version 5.00\n";
  const std::string s = h + "[HKEY_LOCAL_MACHINE]\n";
  const std::string too_long_key(256, 'k');
  const std::string too_long_value(16384, 'v');
  const struct {
    std::string input;
    std::size_t line;
    std::string reason;  // a part of it
  } cases[] = {
      {"", 1, "empty"},
      {"Windows Registry Editor Version 4.00\n", 1, "not a registry file"},
      {"\xFE\xFF", 1, "big-endian"},
      {h + "\n\"a\"=\"b\"\n", 3, "before the first section"},
      {h + "[HKEY_LOCAL_MACHINE\\A\n", 2, "closing ']'"},
      {h + "[HKEY_LOCAL_MACHINE\\A] x\n", 2, "after a section header"},
      {h + "[]\n", 2, "without a key path"},
      {h + "[-\\\\]\n", 2, "without a key path"},
      {h + "[\"HKEY_LOCAL_MACHINE\"x]\n", 2, "after a quoted key path"},
      {h + "garbage\n", 2, "expected a [section]"},
      {s + "\"a\"=\"b\n", 3, "closing quote"},
      {s + "\"a\\q\"=\"b\"\n", 3, "unknown escape"},
      {s + "\"a\\x4\"=\"b\"\n", 3, "unknown escape"},
      {s + "\"a\" \"b\"\n", 3, "expected '='"},
      {s + "@\n", 3, "expected '='"},
      {s + "\"a\"=\"b\" c\n", 3, "text after a quoted value"},
      {s + "\"a\"=dword:123456789\n", 3, "dword"},
      {s + "\"a\"=dword:\n", 3, "dword"},
      {s + "\"a\"=hex:1,zz\n", 3, "expected a hex byte"},
      {s + "\"a\"=hex:010\n", 3, "expected ','"},
      {s + "\"a\"=hex(:00\n", 3, "hex(N):"},
      {s + "\"a\"=hex(1ffffffff):00\n", 3, "hex(N):"},
      {s + "\"a\"=str:x\n", 3, "unknown value data"},
      {s + "\"a\"=hex:01,\\", 3, "ends inside"},
      {s + "\n\"a\"=hex:01,\\\n  02,\\\n  zz\n", 6, "expected a hex byte"},
      // Contents the registry cannot hold.
      {h + "[HKEY_CURRENT_USER\\A]\n", 2, "does not begin with"},
      {h + "[-HKLM]\n", 2, "root cannot be deleted"},
      {h + "[HKLM\\" + too_long_key + "]\n", 2, "longer than 255"},
      {h + "[\"HKLM\\\\a\\x00b\"]\n", 2, "NUL"},
      {s + "\"" + too_long_value + "\"=-\n", 3, "longer than 16,383"},
      {s + "\"a\\x00\"=\"\"\n", 3, "NUL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 120));
    const ParseError error = LoadError(c.input);
    EXPECT_EQ(error.file, "test.reg");
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
    EXPECT_EQ(error.Message(),
              "test.reg:" + std::to_string(c.line) + ": " + error.reason);
  }
}

TEST(RegFileReader, SurvivesHostileInput) {
  // A key path tens of thousands of levels deep loads, writes without
  // recursion and is released without exhausting the stack.
  constexpr std::size_t kDepth = 50000;
  std::string deep =
      "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE";
  for (std::size_t i = 0; i < kDepth; ++i) deep += "\\k";
  deep += "]\n";
  auto root = Load(deep);
  std::size_t depth = 0;
  for (const Key* key = root.get(); !key->subkeys().empty();
       key = key->subkeys().front().get()) {
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  root.reset();

  // UTF-16 with an unpaired surrogate and an odd last byte.
  std::string utf16 = "\xff\xfe";
  for (const char c : std::string("REGEDIT4\n[HKLM\\")) {
    utf16 += c;
    utf16 += '\0';
  }
  utf16 += std::string("\x00\xd8]\x00\n\x00;\x00\x41", 9);
  const auto odd = Load(utf16);
  ASSERT_EQ(odd->subkeys().size(), 1u);
  EXPECT_EQ(odd->subkeys()[0]->name(), "\xef\xbf\xbd");

  // Foreign UTF-16 string data: lone surrogates outside the byte escapes
  // become U+FFFD, an odd last byte stays.
  const auto foreign = Load(
      "Windows Registry Editor Version 5.00\n[HKLM\\A]\n"
      "\"s\"=hex(1):00,d8,41,00,00,dc,42\n");
  ASSERT_NE(foreign->FindSubkey("A"), nullptr);
  EXPECT_EQ(foreign->FindSubkey("A")->values()[0].data, B("\xef\xbf\xbd"
                                                          "A\xef\xbf\xbd"
                                                          "B"));
}

}  // namespace
}  // namespace quillprobe::registry
