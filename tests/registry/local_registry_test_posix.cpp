// What the local registry does with its hive files: where they are, what
// they hold, how other processes' changes reach a registry, and what it does
// with hives that are corrupt, read-only or cannot be written.
#include "registry/local_registry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "registry/cregistry.h"
#include "registry/platform_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/environment_variable.h"
#include "tests/support/registry_seeding.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::registry {
namespace {

namespace fs = std::filesystem;
using test::ReadValue;
using test::SeedString;

constexpr HKey kHklm = roots::kLocalMachine;
constexpr char kRecord[] = "SOFTWARE\\Quillmere Software\\Tarnwick\\Path";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::uint8_t> Sz(std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::vector<std::string> ValueNames(RegistryApi& api, HKey key) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    char name[256];
    std::uint32_t length = sizeof name;
    if (api.EnumValue(key, i, name, &length, nullptr, nullptr, nullptr) != 0) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

class LocalRegistryTest : public ::testing::Test {
 protected:
  const fs::path& prefix() const { return scratch_.path(); }
  fs::path HivePath(std::string_view root) const {
    return prefix() / "registry" / (std::string(root) + ".reg");
  }
  fs::path Hklm() const { return HivePath("HKEY_LOCAL_MACHINE"); }

  HKey Open(RegistryApi& api, std::string_view path, std::uint32_t access) {
    HKey key = kNoKey;
    EXPECT_EQ(api.OpenKeyEx(kHklm, path, 0, access, &key), 0) << path;
    return key;
  }

  test::ScratchDirectory scratch_{test::MemoryBackedTempDirectory()};
  LocalRegistry registry_{scratch_.path()};
};

TEST_F(LocalRegistryTest, ChangesAreStoredAsCanonicalRegFiles) {
  // Reading a missing hive finds it empty and creates nothing.
  KeyInfo info;
  EXPECT_EQ(registry_.QueryInfoKey(kHklm, nullptr, nullptr, &info), 0);
  EXPECT_EQ(info.subkey_count, 0u);
  HKey key = kNoKey;
  EXPECT_EQ(registry_.OpenKeyEx(kHklm, "SOFTWARE", 0, access::kRead, &key),
            status::kFileNotFound);
  EXPECT_FALSE(fs::exists(prefix() / "registry"));

  SeedString(registry_, kHklm, kRecord, "EXE Path", "C:\\Apps\\Tarnwick\\");
  EXPECT_EQ(registry_.HivePath(kHklm), Hklm());
  // The first change writes the canonical text; the next ones are appended
  // to it as journal records, each a .reg section in a checksummed frame.
  EXPECT_EQ(ReadFile(Hklm()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\"
            "Path]\n\n"
            "; journal 98 4410a9a100776d60\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\"
            "Path]\n"
            "\"EXE Path\"=\"C:\\\\Apps\\\\Tarnwick\\\\\"\n\n");
  // Only the hive that changed has a file (with its lock and the record that
  // vouches for its canonical form); no temporary file stays behind.
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(prefix() / "registry")) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"HKEY_LOCAL_MACHINE.reg",
                                             "HKEY_LOCAL_MACHINE.reg.canonical",
                                             "HKEY_LOCAL_MACHINE.reg.lock"}));

  // Another registry on the same prefix (another process) reads it.
  LocalRegistry other(prefix());
  EXPECT_EQ(ReadValue(other, kHklm, kRecord, "EXE Path").data,
            Sz("C:\\Apps\\Tarnwick\\"));

  // A write keeps the permission bits of the file it replaces.
  fs::permissions(Hklm(), fs::perms::owner_read | fs::perms::owner_write |
                              fs::perms::group_read);
  SeedString(other, kHklm, kRecord, "More", "1");
  EXPECT_EQ(fs::status(Hklm()).permissions(), fs::perms::owner_read |
                                                  fs::perms::owner_write |
                                                  fs::perms::group_read);
}

TEST_F(LocalRegistryTest, SeesFilesAsTheyChangeOnDisk) {
  WriteFile(Hklm(),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "; written by hand\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"1\"\r\n");
  EXPECT_EQ(ReadValue(registry_, kHklm, "A", "v").data, Sz("1"));
  const HKey a = Open(registry_, "A", access::kRead);
  // Edited in place, larger.
  WriteFile(Hklm(),
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"2\"\n\"w\"=\"3\"\n");
  EXPECT_EQ(ReadValue(registry_, kHklm, "A", "v").data, Sz("2"));
  EXPECT_EQ(ValueNames(registry_, a), (std::vector<std::string>{"v", "w"}));
  // Removed: an empty hive, and the handle's key is gone.
  fs::remove(Hklm());
  EXPECT_EQ(ReadValue(registry_, kHklm, "A", "v").status,
            status::kFileNotFound);
  EXPECT_EQ(registry_.QueryInfoKey(a, nullptr, nullptr, nullptr),
            status::kKeyDeleted);
  EXPECT_EQ(registry_.CloseKey(a), 0);
}

TEST_F(LocalRegistryTest, HandlesFollowChangesOfAnotherProcess) {
  LocalRegistry other(prefix());
  HKey mine = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry_.CreateKeyEx(kHklm, "Shared\\Key", "", 0, access::kAllAccess,
                            nullptr, &mine, &disposition),
      0);
  const HKey theirs = Open(other, "shared\\KEY", access::kAllAccess);
  ASSERT_EQ(other.SetValueEx(theirs, "from other", 1, Sz("a")), 0);
  // Seen through the handle opened before the change.
  EXPECT_EQ(ValueNames(registry_, mine),
            (std::vector<std::string>{"from other"}));
  ASSERT_EQ(registry_.SetValueEx(mine, "from mine", 1, Sz("b")), 0);
  EXPECT_EQ(ValueNames(other, theirs),
            (std::vector<std::string>{"from other", "from mine"}));

  ASSERT_EQ(other.DeleteKey(theirs, ""), 0);
  EXPECT_EQ(registry_.SetValueEx(mine, "late", 1, Sz("c")),
            status::kKeyDeleted);
  EXPECT_EQ(registry_.QueryInfoKey(mine, nullptr, nullptr, nullptr),
            status::kKeyDeleted);
  EXPECT_EQ(registry_.CloseKey(mine), 0);
  EXPECT_EQ(other.CloseKey(theirs), 0);
  EXPECT_FALSE(test::KeyExists(registry_, kHklm, "Shared\\Key"));
  EXPECT_TRUE(test::KeyExists(registry_, kHklm, "Shared"));
}

TEST_F(LocalRegistryTest, CorruptHiveFailsEveryCallAndIsNeverWritten) {
  SeedString(registry_, kHklm, "A", "v", "1");
  const HKey a = Open(registry_, "A", access::kAllAccess);
  const std::string corrupt =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n"
      "\"v\"=hex:zz\n";
  WriteFile(Hklm(), corrupt);

  const std::vector<std::uint8_t> data = Sz("x");
  const std::function<Status(LocalRegistry&, HKey)> calls[] = {
      [](LocalRegistry& r, HKey k) {
        HKey out;
        return r.OpenKeyEx(k, "", 0, access::kRead, &out);
      },
      [](LocalRegistry& r, HKey k) {
        HKey out;
        return r.CreateKeyEx(k, "New", "", 0, access::kAllAccess, nullptr, &out,
                             nullptr);
      },
      [&](LocalRegistry& r, HKey k) { return r.SetValueEx(k, "w", 1, data); },
      [](LocalRegistry& r, HKey k) { return r.DeleteValue(k, "v"); },
      [](LocalRegistry& r, HKey k) { return r.DeleteKey(k, "A"); },
      [](LocalRegistry& r, HKey k) {
        return r.QueryInfoKey(k, nullptr, nullptr, nullptr);
      },
      [](LocalRegistry& r, HKey k) {
        char name[16];
        std::uint32_t length = sizeof name;
        return r.EnumValue(k, 0, name, &length, nullptr, nullptr, nullptr);
      },
      [](LocalRegistry& r, HKey k) {
        char name[16];
        std::uint32_t length = sizeof name;
        return r.EnumKeyEx(k, 0, name, &length, nullptr, nullptr, nullptr);
      },
  };
  LocalRegistry fresh(prefix());
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_EQ(calls[i](registry_, kHklm), status::kBadDb) << "call " << i;
    EXPECT_EQ(calls[i](registry_, a), status::kBadDb) << "call " << i;
    EXPECT_EQ(calls[i](fresh, kHklm), status::kBadDb) << "call " << i;
  }
  EXPECT_EQ(ReadFile(Hklm()), corrupt);
  EXPECT_FALSE(fs::exists(Hklm().string() + ".tmp"));
  const auto error = registry_.CheckHive(kHklm);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->Message(), Hklm().string() + ":4: expected a hex byte");

  // Other hives are not touched by it.
  SeedString(registry_, roots::kCurrentUser, "A", "v", "1");
  EXPECT_FALSE(registry_.CheckHive(roots::kCurrentUser).has_value());

  // Mended, it works again, through the old handle too.
  WriteFile(Hklm(),
            "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n");
  EXPECT_FALSE(registry_.CheckHive(kHklm).has_value());
  EXPECT_EQ(registry_.SetValueEx(a, "w", 1, data), 0);
  EXPECT_EQ(registry_.CloseKey(a), 0);

  // A hive file that cannot be read at all.
  fs::remove(Hklm());
  fs::create_directories(Hklm());
  EXPECT_EQ(fresh.QueryInfoKey(kHklm, nullptr, nullptr, nullptr),
            status::kBadDb);
  ASSERT_TRUE(fresh.CheckHive(kHklm).has_value());
  EXPECT_EQ(fresh.CheckHive(kHklm)->line, 0u);
}

TEST_F(LocalRegistryTest, ReadOnlyHiveGrantsNoWriteRights) {
  SeedString(registry_, kHklm, kRecord, "EXE Path", "C:\\Apps\\");
  fs::permissions(Hklm(), fs::perms::owner_read | fs::perms::group_read |
                              fs::perms::others_read);
  const std::string before = ReadFile(Hklm());

  // Whoever runs the test, root included.
  const struct {
    std::uint32_t access;
    Status expected;
  } cases[] = {
      {access::kRead, 0},
      {access::kQueryValue, 0},
      {0x80000000u, 0},  // GENERIC_READ
      {access::kSetValue, 5},
      {access::kCreateSubKey, 5},
      {access::kCreateLink, 5},
      {access::kWrite, 5},
      {access::kAllAccess, 5},
      {63, 5},
      {31, 5},
      {0x40000000u, 5},  // GENERIC_WRITE
      {0x10000000u, 5},  // GENERIC_ALL
      {0x02000000u, 5},  // MAXIMUM_ALLOWED
  };
  for (const auto& c : cases) {
    HKey key = kNoKey;
    EXPECT_EQ(registry_.OpenKeyEx(kHklm, kRecord, 0, c.access, &key),
              c.expected)
        << std::hex << c.access;
    if (key != kNoKey) registry_.CloseKey(key);
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry_.CreateKeyEx(kHklm, kRecord, "", 0, c.access, nullptr,
                                    &key, &disposition),
              c.expected)
        << std::hex << c.access;
    if (key != kNoKey) registry_.CloseKey(key);
  }
  HKey key = kNoKey;
  EXPECT_EQ(registry_.CreateKeyEx(kHklm, "New", "", 0, access::kRead, nullptr,
                                  &key, nullptr),
            status::kAccessDenied);
  EXPECT_EQ(registry_.SetValueEx(kHklm, "v", 1, Sz("x")),
            status::kAccessDenied);
  EXPECT_EQ(registry_.DeleteKey(kHklm, kRecord), status::kAccessDenied);
  EXPECT_EQ(ReadValue(registry_, kHklm, kRecord, "EXE Path").data,
            Sz("C:\\Apps\\"));

  // CRegistry: binding asks for write rights (63 or 31), whatever AutoCreate
  // says; SetValue raises the create error or reports failure.
  test::CapturedMessageBoxes boxes;
  for (const bool auto_create : {true, false}) {
    CRegistry reg(registry_, boxes);
    reg.AutoCreate(auto_create);
    try {
      reg.key(kRecord);
      ADD_FAILURE() << "binding should fail, AutoCreate " << auto_create;
    } catch (const RaisedError& error) {
      EXPECT_EQ(error.Number(), kErrorCannotOpenKey);
      EXPECT_EQ(error.Description(), "Unable to open Key");
    }
    if (auto_create) {
      try {
        reg.SetValue(std::string("EXE Path"), "D:\\");
        ADD_FAILURE() << "SetValue should raise";
      } catch (const RaisedError& error) {
        EXPECT_EQ(static_cast<std::uint32_t>(error.Number()), 0x80040209u);
        EXPECT_EQ(error.Description(), "Unknown Error: 5");
      }
    } else {
      EXPECT_FALSE(reg.SetValue(std::string("EXE Path"), "D:\\"));
    }
  }
  EXPECT_EQ(ReadFile(Hklm()), before);
  EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}

TEST_F(LocalRegistryTest, FailedSaveLeavesFileAndRegistryAsTheyWere) {
  SeedString(registry_, kHklm, "A", "v", "1");
  // A file the registry did not vouch for is rewritten whole by a change.
  fs::remove(Hklm().string() + ".canonical");
  LocalRegistry fresh(prefix());
  const std::string before = ReadFile(Hklm());
  // Something in the way of the temporary file.
  fs::create_directories(Hklm().string() + ".tmp");
  const HKey a = Open(fresh, "A", access::kAllAccess);
  EXPECT_EQ(fresh.SetValueEx(a, "w", 1, Sz("2")), status::kRegistryIoFailed);
  EXPECT_EQ(ReadFile(Hklm()), before);
  EXPECT_EQ(ValueNames(fresh, a), (std::vector<std::string>{"v"}));

  fs::remove(Hklm().string() + ".tmp");
  EXPECT_EQ(fresh.SetValueEx(a, "w", 1, Sz("2")), 0);
  LocalRegistry other(prefix());
  EXPECT_EQ(ValueNames(other, Open(other, "A", access::kRead)),
            (std::vector<std::string>{"v", "w"}));
}

// An append that fails half-way (here: the file may not grow past a limit)
// leaves no part of its record behind, and the change is not kept.
TEST_F(LocalRegistryTest, FailedAppendLeavesFileAndRegistryAsTheyWere) {
  SeedString(registry_, kHklm, "A", "v", "1");
  const std::string before = ReadFile(Hklm());
  const HKey a = Open(registry_, "A", access::kAllAccess);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = static_cast<rlim_t>(before.size() + 10);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const Status failed = registry_.SetValueEx(a, "w", 1, Sz("2"));
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(failed, status::kRegistryIoFailed);
  EXPECT_EQ(ReadFile(Hklm()), before);
  EXPECT_EQ(ValueNames(registry_, a), (std::vector<std::string>{"v"}));

  EXPECT_EQ(registry_.SetValueEx(a, "w", 1, Sz("2")), 0);
  LocalRegistry other(prefix());
  EXPECT_EQ(ValueNames(other, Open(other, "A", access::kRead)),
            (std::vector<std::string>{"v", "w"}));
}

TEST(PlatformRegistryTest, IsTheLocalRegistryUnderTheLocalPrefix) {
  const test::ScratchDirectory scratch;
  const test::ScopedEnvironmentVariable prefix("QUILLPROBE_PREFIX",
                                               scratch.path().string());
  CRegistry reg;  // on the platform's registry
  reg.key("SOFTWARE\\Quillmere Software\\Default");
  EXPECT_TRUE(reg.SetValue(std::string("v"), "x"));
  const std::string hive =
      ReadFile(scratch.path() / "registry" / "HKEY_LOCAL_MACHINE.reg");
  EXPECT_NE(hive.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere "
                      "Software\\Default]\n\"v\"=\"x\"\n"),
            std::string::npos)
      << hive;
  EXPECT_NE(dynamic_cast<LocalRegistry*>(&PlatformRegistry()), nullptr);
}

}  // namespace
}  // namespace quillprobe::registry
