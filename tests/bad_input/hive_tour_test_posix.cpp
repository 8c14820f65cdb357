// Hostile hives: files and calls with invalid UTF-8, NUL bytes in names, a
// 1 MB value name, keys nested 600 deep and a 100 MB value. Each one gives
// a clear error (87 for a call, 1009 naming the line for a file) or the
// neutral result, the registry holding exactly what it was given; a hive
// file that is refused is never written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "registry/local_registry.h"
#include "tests/support/registry_seeding.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::registry {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr HKey kHklm = roots::kLocalMachine;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes Sz(std::string_view text) {
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

class HiveTourTest : public testing::Test {
 protected:
  fs::path hive() const {
    return scratch_.path() / "registry" / "HKEY_LOCAL_MACHINE.reg";
  }

  void WriteHive(std::string_view text) {
    fs::create_directories(hive().parent_path());
    std::ofstream(hive(), std::ios::binary) << text;
  }

  // The registry as a new process sees it.
  LocalRegistry Reopened() { return LocalRegistry(scratch_.path()); }

  // Expects the hive file to be refused at `line` with a reason that
  // contains `reason`: every call fails with 1009, and an attempted write
  // leaves the file as it was.
  void ExpectRefused(std::size_t line, std::string_view reason) {
    const std::string before = ReadFile(hive());
    LocalRegistry registry = Reopened();
    const auto error = registry.CheckHive(kHklm);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->line, line) << error->Message();
    EXPECT_NE(error->reason.find(reason), std::string::npos)
        << error->Message();
    HKey key = kNoKey;
    EXPECT_EQ(registry.OpenKeyEx(kHklm, "SOFTWARE", 0, access::kRead, &key),
              status::kBadDb);
    EXPECT_EQ(registry.SetValueEx(kHklm, "new", value_type::kSz, Sz("x")),
              status::kBadDb);
    EXPECT_EQ(ReadFile(hive()), before);
  }

  test::ScratchDirectory scratch_{test::MemoryBackedTempDirectory()};
};

// Bytes that are not UTF-8 in names and in string data are names and data
// like any other: stored, found and written back byte for byte.
TEST_F(HiveTourTest, InvalidUtf8IsKeptByteForByte) {
  const std::string key = "SOFTWARE\\Caf\xE9\\\xC0\xAF\\\xED\xA0\x80";
  const std::string name = "\xFF\xFE n\x80me";
  {
    LocalRegistry registry = Reopened();
    test::SeedString(registry, kHklm, key, name, "d\xE9j\xE0 vu\xF5");
  }
  const std::string file = ReadFile(hive());
  LocalRegistry registry = Reopened();
  ASSERT_EQ(registry.CheckHive(kHklm), std::nullopt) << file;
  const auto value = test::ReadValue(registry, kHklm, key, name);
  ASSERT_EQ(value.status, status::kSuccess) << file;
  EXPECT_EQ(value.type, value_type::kSz);
  EXPECT_EQ(value.data, Sz("d\xE9j\xE0 vu\xF5"));

  // A hand-written file in Latin-1 reads the same way.
  WriteHive(
      std::string(kHeader) +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xE9]\n\"Cr\xE8me\"=\"br\xFBl\xE9"
      "e\"\n");
  LocalRegistry latin1 = Reopened();
  ASSERT_EQ(latin1.CheckHive(kHklm), std::nullopt);
  EXPECT_EQ(
      test::ReadValue(latin1, kHklm, "SOFTWARE\\Caf\xE9", "Cr\xE8me").data,
      Sz("br\xFBl\xE9"
         "e"));
}

// A call cuts a name at its NUL, as Windows does with C strings; a hive
// file cannot smuggle a NUL into a name.
TEST_F(HiveTourTest, NulBytesInNames) {
  {
    LocalRegistry registry = Reopened();
    test::SeedString(registry, kHklm, std::string("SOFTWARE\\Ke\0y", 13),
                     std::string("na\0me", 5), "x");
  }
  LocalRegistry registry = Reopened();
  EXPECT_EQ(test::ReadValue(registry, kHklm, "SOFTWARE\\Ke", "na").data,
            Sz("x"));

  const struct {
    const char* name;
    std::string text;
    std::size_t line;
  } files[] = {
      {"an escaped NUL in a value name",
       "[HKEY_LOCAL_MACHINE\\A]\n\"na\\x00me\"=\"x\"\n", 4},
      {"an escaped NUL in a key name", "[\"HKEY_LOCAL_MACHINE\\\\A\\x00B\"]\n",
       3},
      {"a raw NUL in a value name",
       std::string("[HKEY_LOCAL_MACHINE\\A]\n\"na\0me\"=\"x\"\n", 35), 4},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    WriteHive(std::string(kHeader) + f.text);
    ExpectRefused(f.line, "");
  }
}

// A value name of 1 MB: refused with 87 by a call, and with the line of the
// value in a file.
TEST_F(HiveTourTest, MegabyteValueName) {
  const std::string name(1 << 20, 'n');
  {
    LocalRegistry registry = Reopened();
    HKey key = kNoKey;
    ASSERT_EQ(registry.CreateKeyEx(kHklm, "SOFTWARE", "", 0, access::kAllAccess,
                                   nullptr, &key, nullptr),
              status::kSuccess);
    EXPECT_EQ(registry.SetValueEx(key, name, value_type::kSz, Sz("x")),
              status::kInvalidParameter);
    EXPECT_EQ(registry.DeleteValue(key, name), status::kFileNotFound);
    registry.CloseKey(key);
  }
  LocalRegistry registry = Reopened();
  EXPECT_EQ(registry.CheckHive(kHklm), std::nullopt);

  WriteHive(std::string(kHeader) +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"a\"=\"b\"\n\"" + name +
            "\"=\"x\"\n");
  ExpectRefused(5, "16,383");
}

// Keys nested 600 deep (deeper than the 512 levels Windows documents) are
// created, saved and loaded again whole; nothing recurses that deep.
TEST_F(HiveTourTest, KeysNested600Deep) {
  std::string path = "SOFTWARE";
  for (int depth = 1; depth < 600; ++depth)
    path += "\\k" + std::to_string(depth);
  {
    LocalRegistry registry = Reopened();
    test::SeedString(registry, kHklm, path, "deepest", "here");
  }
  LocalRegistry registry = Reopened();
  ASSERT_EQ(registry.CheckHive(kHklm), std::nullopt);
  EXPECT_EQ(test::ReadValue(registry, kHklm, path, "deepest").data, Sz("here"));
  // Deleting the tree takes the keys one at a time from the bottom.
  std::string key = path;
  while (key != "SOFTWARE") {
    ASSERT_EQ(registry.DeleteKey(kHklm, key), status::kSuccess) << key;
    key.resize(key.rfind('\\'));
  }
  LocalRegistry after = Reopened();
  EXPECT_FALSE(test::KeyExists(after, kHklm, "SOFTWARE\\k1"));
}

// A value of 100 MB is stored and read back whole by another process.
TEST_F(HiveTourTest, HundredMegabyteValue) {
  Bytes data(100u << 20);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>('a' + i % 26);
  }
  data.back() = 0;
  {
    LocalRegistry registry = Reopened();
    test::SeedValue(registry, kHklm, "SOFTWARE\\Big", "blob", value_type::kSz,
                    data);
  }
  LocalRegistry registry = Reopened();
  const auto value = test::ReadValue(registry, kHklm, "SOFTWARE\\Big", "blob");
  ASSERT_EQ(value.status, status::kSuccess);
  EXPECT_EQ(value.data.size(), data.size());
  EXPECT_TRUE(value.data == data);
}

}  // namespace
}  // namespace quillprobe::registry
