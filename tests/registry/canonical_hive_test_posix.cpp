// Reading single keys of a canonical hive file by binary search: every key of
// generated trees reads as the whole file describes it, and only a small
// part of a large file is read to find one. And the local registry's use of
// it: a hive it wrote reads lazily to the same registry as a full parse;
// any other file is parsed whole; changes are appended as journal records,
// which read back the same, are folded in once they grow, and are dropped
// when torn.
#include "registry/canonical_hive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "registry/hive_journal.h"
#include "registry/key_tree.h"
#include "registry/local_registry.h"
#include "registry/reg_file_writer.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::registry {
namespace {

class StringBytes final : public HiveBytes {
 public:
  explicit StringBytes(std::string text) : text_(std::move(text)) {}
  std::uint64_t size() const override { return text_.size(); }
  bool Read(std::uint64_t offset, std::size_t length,
            std::string* bytes) override {
    const auto at = std::min<std::uint64_t>(offset, text_.size());
    *bytes = text_.substr(static_cast<std::size_t>(at), length);
    read_ += bytes->size();
    return true;
  }
  std::uint64_t read() const { return read_; }

 private:
  std::string text_;
  std::uint64_t read_ = 0;
};

// Names chosen to sort differently with and without case, to need quoting
// in a path, or to look like section headers.
const std::vector<std::string> kNames = {"a",         "B",
                                         "c d",       "A1",
                                         "b0",        "\xc3\xa4rger",
                                         "\xc3\x84X", "[x]",
                                         "q\"uote",   "back\\\\slash",
                                         "ctl\x01",   "Z",
                                         "_",         "~tail",
                                         "0"};

std::shared_ptr<Key> GeneratedTree(unsigned seed, std::size_t keys) {
  std::mt19937 random(seed);
  auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
  std::vector<Key*> all = {root.get()};
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  while (all.size() < keys) {
    Key& parent = *all[pick(all.size())];
    std::string name = kNames[pick(kNames.size())];
    if (name.find('\\') != std::string::npos) name = "slash";
    name += std::to_string(pick(3));
    bool created = false;
    Key& child = parent.AddSubkey(name, "", &created);
    if (!created) continue;
    all.push_back(&child);
    for (std::size_t v = pick(4); v > 0; --v) {
      const std::string text = "line\n[HKEY_LOCAL_MACHINE]\n" + name;
      std::vector<std::uint8_t> data(text.begin(), text.end());
      data.push_back(0);
      child.SetValue(kNames[pick(kNames.size())], pick(2) ? 1 : 3, data);
    }
  }
  return root;
}

std::vector<std::string> PathOf(const Key& key) {
  std::vector<std::string> path;
  for (const Key* k = &key; k != nullptr; k = k->parent()) {
    path.push_back(k->name());
  }
  std::reverse(path.begin(), path.end());
  return path;
}

void ExpectEveryKeyReads(const Key& key, StringBytes& bytes) {
  const auto read = ReadCanonicalKey(bytes, PathOf(key));
  ASSERT_TRUE(read.has_value()) << key.name();
  ASSERT_EQ(read->values.size(), key.values().size()) << key.name();
  for (std::size_t i = 0; i < key.values().size(); ++i) {
    EXPECT_EQ(read->values[i].name, key.values()[i].name);
    EXPECT_EQ(read->values[i].type, key.values()[i].type);
    EXPECT_EQ(read->values[i].data, key.values()[i].data);
  }
  std::vector<std::string> names;
  for (const auto& subkey : key.subkeys()) names.push_back(subkey->name());
  EXPECT_EQ(read->subkeys, names) << key.name();
  for (const auto& subkey : key.subkeys()) ExpectEveryKeyReads(*subkey, bytes);
}

TEST(CanonicalHiveTest, EveryKeyReadsAsTheWholeFileDescribesIt) {
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    const auto tree = GeneratedTree(seed, 300);
    StringBytes bytes(WriteRegFile(*tree));
    ExpectEveryKeyReads(*tree, bytes);
  }
}

TEST(CanonicalHiveTest, MissingKeysAndOtherFilesReadAsNothing) {
  const auto tree = GeneratedTree(5, 50);
  StringBytes bytes(WriteRegFile(*tree));
  for (const std::vector<std::string>& path :
       std::vector<std::vector<std::string>>{
           {"HKEY_LOCAL_MACHINE", "no such key"},
           {"HKEY_CURRENT_USER"},
           {"HKEY_LOCAL_MACHINE", "a0", "a0", "a0", "a0", "a0", "a0"}}) {
    EXPECT_FALSE(ReadCanonicalKey(bytes, path).has_value()) << path.back();
  }
  StringBytes regedit4("REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\n");
  EXPECT_FALSE(ReadCanonicalKey(regedit4, {{"HKEY_LOCAL_MACHINE"}}));
  StringBytes cut("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MAC");
  EXPECT_FALSE(ReadCanonicalKey(cut, {{"HKEY_LOCAL_MACHINE"}}));
}

TEST(CanonicalHiveTest, FindsAKeyReadingLittleOfALargeFile) {
  auto root = Key::NewRoot("HKEY_LOCAL_MACHINE");
  const std::vector<std::uint8_t> data(40, 0x41);
  for (int vendor = 0; vendor < 100; ++vendor) {
    Key& v = root->AddSubkey("Vendor " + std::to_string(vendor), "");
    for (int product = 0; product < 100; ++product) {
      v.AddSubkey("Product " + std::to_string(product), "")
          .SetValue("Data", 3, data);
    }
  }
  StringBytes bytes(WriteRegFile(*root));
  const auto read = ReadCanonicalKey(
      bytes, {{"HKEY_LOCAL_MACHINE", "vendor 57", "PRODUCT 3"}});
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->values.at(0).data, data);
  EXPECT_LT(bytes.read(), bytes.size() / 20);
}

namespace fs = std::filesystem;
constexpr HKey kHklm = roots::kLocalMachine;

void WriteFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Every key under `key` with its values and their data, as the registry
// interface shows them.
void Dump(RegistryApi& api, HKey key, const std::string& path,
          std::string* out) {
  *out += "[" + path + "]\n";
  for (std::uint32_t i = 0;; ++i) {
    char name[300];
    std::uint8_t data[300];
    std::uint32_t name_length = sizeof name, data_length = sizeof data;
    std::uint32_t type = 0;
    const Status got =
        api.EnumValue(key, i, name, &name_length, &type, data, &data_length);
    if (got == status::kNoMoreItems) break;
    ASSERT_EQ(got, status::kSuccess) << path;
    *out += std::string(name, name_length) + "=" + std::to_string(type) + ":" +
            std::string(data, data + data_length) + "\n";
  }
  for (std::uint32_t i = 0;; ++i) {
    char name[300];
    std::uint32_t length = sizeof name;
    const Status got =
        api.EnumKeyEx(key, i, name, &length, nullptr, nullptr, nullptr);
    if (got == status::kNoMoreItems) break;
    ASSERT_EQ(got, status::kSuccess) << path;
    const std::string subkey(name, length);
    HKey child = kNoKey;
    ASSERT_EQ(api.OpenKeyEx(key, subkey, 0, access::kRead, &child), 0);
    Dump(api, child, path + "\\" + subkey, out);
    api.CloseKey(child);
  }
}

std::string Dump(const fs::path& prefix) {
  LocalRegistry api(prefix);
  std::string out;
  Dump(api, kHklm, "HKLM", &out);
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Opening a key that the file holds and creating one both fail with 1009.
void ExpectBadDb(RegistryApi& api, std::string_view existing) {
  HKey key = kNoKey;
  EXPECT_EQ(api.OpenKeyEx(kHklm, existing, 0, access::kRead, &key),
            status::kBadDb);
  EXPECT_EQ(api.CreateKeyEx(kHklm, "C", "", 0, access::kAllAccess, nullptr,
                            &key, nullptr),
            status::kBadDb);
}

class LazyHiveTest : public ::testing::Test {
 protected:
  fs::path Hive() const {
    return scratch_.path() / "registry" / "HKEY_LOCAL_MACHINE.reg";
  }
  fs::path Record() const { return Hive().string() + ".canonical"; }

  // Writes `text` as the hive, then has the registry write it once, so that
  // it is canonical and known to be.
  void WriteThroughRegistry(std::string_view text) {
    WriteFile(Hive(), text);
    LocalRegistry api(scratch_.path());
    HKey key = kNoKey;
    ASSERT_EQ(api.CreateKeyEx(kHklm, "Written", "", 0, access::kAllAccess,
                              nullptr, &key, nullptr),
              status::kSuccess);
    api.CloseKey(key);
    ASSERT_TRUE(fs::exists(Record()));
  }

  // Vouches for the hive file as it is now, as the registry vouches for
  // what it wrote: `base` bytes of canonical text, then journal records;
  // without `base`, in the form of records that say the file is all text.
  void Vouch(std::optional<std::size_t> base) {
    struct stat info {};
    ASSERT_EQ(::stat(Hive().c_str(), &info), 0);
    std::string record = "canonical " + std::to_string(info.st_dev) + " " +
                         std::to_string(info.st_ino) + " " +
                         std::to_string(info.st_size) + " " +
                         std::to_string(info.st_mtim.tv_sec * 1000000000LL +
                                        info.st_mtim.tv_nsec);
    if (base) record += " " + std::to_string(*base);
    WriteFile(Record(), record + "\n");
  }

  test::ScratchDirectory scratch_;
};

TEST_F(LazyHiveTest, LazyReadShowsTheSameRegistryAsAFullParse) {
  for (const unsigned seed : {7u, 8u}) {
    WriteThroughRegistry(WriteRegFile(*GeneratedTree(seed, 200)));
    const std::string lazy = Dump(scratch_.path());
    fs::remove(Record());
    const std::string full = Dump(scratch_.path());
    EXPECT_EQ(lazy, full);
    EXPECT_NE(full.find("Written"), std::string::npos);
  }
}

// A file the registry wrote is not parsed whole: damage off the path of a
// lookup goes unseen while the record vouches for the file, and is found as
// soon as it does not.
TEST_F(LazyHiveTest, ReadsOnlyWhatItNeedsOfAFileItWrote) {
  // Records as this system writes them, and as it wrote them before files
  // could hold journal records (all of the file canonical).
  for (const bool older_record : {false, true}) {
    WriteThroughRegistry(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n\n"
        "[HKEY_LOCAL_MACHINE\\B]\n\"v\"=\"2\"\n\n");
    std::string text = ReadFile(Hive());
    const auto at = text.find("\"v\"=\"2\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 7, "\"v\"=?2");  // same length, no longer parses
    WriteFile(Hive(), text);
    Vouch(older_record ? std::nullopt : std::optional(text.size()));
    {
      LocalRegistry api(scratch_.path());
      HKey key = kNoKey;
      EXPECT_EQ(api.OpenKeyEx(kHklm, "A", 0, access::kRead, &key), 0)
          << older_record;
    }
    fs::remove(Record());
    // Without the record the file is parsed whole.
    LocalRegistry api(scratch_.path());
    ExpectBadDb(api, "A");
    EXPECT_EQ(ReadFile(Hive()), text);
  }
}

std::uint64_t InodeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_ino;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

HKey CreateKey(RegistryApi& api, std::string_view path) {
  HKey key = kNoKey;
  EXPECT_EQ(api.CreateKeyEx(kHklm, path, "", 0, access::kAllAccess, nullptr,
                            &key, nullptr),
            status::kSuccess)
      << path;
  return key;
}

void SetValue(RegistryApi& api, std::string_view path, std::string_view name,
              std::uint32_t type, std::string_view data) {
  const HKey key = CreateKey(api, path);
  EXPECT_EQ(api.SetValueEx(key, name, type, Bytes(data)), status::kSuccess)
      << path << " " << name;
  api.CloseKey(key);
}

constexpr std::string_view kJournalBase =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Base]\n\"keep\"=\"1\"\n\"old\"=\"2\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Base\\Child]\n\"c\"=\"3\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Gone]\n\"g\"=\"4\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Gone\\Deep]\n\"d\"=\"5\"\n\n";

// Every kind of change, appended as records to the file, reads back the
// same in another process (lazily, the records applied to the keys they
// reach) and when the file is parsed whole.
TEST_F(LazyHiveTest, JournalRecordsReadBackAsTheChangesLeftTheRegistry) {
  WriteThroughRegistry(kJournalBase);
  const std::string canonical = ReadFile(Hive());
  const std::uint64_t inode = InodeOf(Hive());
  std::string writer_view;
  {
    LocalRegistry api(scratch_.path());
    SetValue(api, "Base", "old", 1, std::string_view("two\0", 4));
    SetValue(api, "Base", "new", 3, std::string_view("\0\xff\n", 3));
    SetValue(api, "Base", "", 4, "abcd");
    SetValue(api, "Base", "two\nlines", 1, "");
    SetValue(api, "Base", "\xff\xfe", 7, std::string_view("a\0b\0\0", 5));
    HKey base = CreateKey(api, "Base");
    EXPECT_EQ(api.DeleteValue(base, "KEEP"), status::kSuccess);
    EXPECT_EQ(api.DeleteKey(base, "Child"), status::kSuccess);
    api.CloseKey(base);
    SetValue(api, "New\\Sub\\ctl\x01name", "v", 1, "deep");
    EXPECT_EQ(api.DeleteKey(kHklm, "Gone\\Deep"), status::kSuccess);
    EXPECT_EQ(api.DeleteKey(kHklm, "Gone"), status::kSuccess);
    // A key made anew does not bring back what the file held under it.
    SetValue(api, "GONE", "fresh", 1, "6");
    api.CloseKey(CreateKey(api, "Gone\\Empty"));
    Dump(api, kHklm, "HKLM", &writer_view);
  }
  EXPECT_EQ(writer_view.find("\nkeep="), std::string::npos);
  EXPECT_EQ(writer_view.find("\ng="), std::string::npos);
  EXPECT_NE(writer_view.find("\nfresh="), std::string::npos);

  // Appended, not rewritten.
  const std::string text = ReadFile(Hive());
  EXPECT_EQ(InodeOf(Hive()), inode);
  EXPECT_EQ(text.substr(0, canonical.size()), canonical);
  EXPECT_NE(text.find("; journal ", canonical.size()), std::string::npos);

  EXPECT_EQ(Dump(scratch_.path()), writer_view);
  fs::remove(Record());
  EXPECT_EQ(Dump(scratch_.path()), writer_view);
}

TEST_F(LazyHiveTest, RecordsAreFoldedInOnceTheyGrow) {
  WriteThroughRegistry(kJournalBase);
  const std::uint64_t inode = InodeOf(Hive());
  const std::size_t canonical_size = ReadFile(Hive()).size();
  LocalRegistry api(scratch_.path());
  const std::string data = std::string(250, 'x') + '\0';
  std::size_t journal_before = 0;  // before the last write
  for (int writes = 0; InodeOf(Hive()) == inode && writes < 1000; ++writes) {
    journal_before = fs::file_size(Hive()) - canonical_size;
    SetValue(api, "Base", "v" + std::to_string(writes), 1, data);
  }
  // The write that takes the records past 64 KiB writes the file anew,
  // without them.
  EXPECT_LE(journal_before, 65536u);
  EXPECT_GT(journal_before, 65536u - 400);
  EXPECT_EQ(ReadFile(Hive()).find("; journal "), std::string::npos);
  std::string writer_view;
  Dump(api, kHklm, "HKLM", &writer_view);
  EXPECT_EQ(Dump(scratch_.path()), writer_view);
  // And records are appended to the new file again.
  SetValue(api, "Base", "after", 1, "1");
  EXPECT_NE(ReadFile(Hive()).find("; journal "), std::string::npos);
}

// The call whose record crosses the line folds the records in and still
// answers as any other: the key it created is there, through its handle too.
TEST_F(LazyHiveTest, ACreateThatFoldsGivesAWorkingHandle) {
  WriteThroughRegistry(kJournalBase);
  LocalRegistry api(scratch_.path());
  api.CloseKey(CreateKey(api, "Base"));  // read lazily from here on
  const std::uint64_t inode = InodeOf(Hive());
  const std::string long_name(200, 'k');
  HKey key = kNoKey;
  int creates = 0;
  for (; InodeOf(Hive()) == inode && creates < 1000; ++creates) {
    api.CloseKey(key);
    key = CreateKey(api, "Base\\" + long_name + std::to_string(creates));
  }
  ASSERT_LT(creates, 1000);
  EXPECT_EQ(api.SetValueEx(key, "v", 1, Bytes("1")), status::kSuccess);
  api.CloseKey(key);
  std::string writer_view;
  Dump(api, kHklm, "HKLM", &writer_view);
  EXPECT_NE(
      writer_view.find(long_name + std::to_string(creates - 1) + "]\nv=1:1"),
      std::string::npos);
  EXPECT_EQ(Dump(scratch_.path()), writer_view);
}

// A record cut short by a crash: readers never see it, and the next change
// cuts it off, whether or not the file was vouched for with it.
TEST_F(LazyHiveTest, ATornRecordIsNeverSeenAndTheNextChangeCutsItOff) {
  for (const bool vouched : {false, true}) {
    WriteThroughRegistry(kJournalBase);
    const std::string before = ReadFile(Hive());
    std::string torn =
        FrameJournalRecord("[HKEY_LOCAL_MACHINE\\Base]\n\"torn\"=\"x\"\n\n");
    torn.resize(torn.size() - 4);
    WriteFile(Hive(), before + torn);
    if (vouched) Vouch(before.size());
    const std::string seen = Dump(scratch_.path());
    EXPECT_EQ(seen.find("torn"), std::string::npos) << vouched;
    EXPECT_NE(seen.find("keep="), std::string::npos) << vouched;
    {
      LocalRegistry api(scratch_.path());
      SetValue(api, "Base", "w", 1, "2");
    }
    const std::string after = ReadFile(Hive());
    EXPECT_EQ(after.find("torn"), std::string::npos) << vouched;
    if (vouched) {
      EXPECT_EQ(after.substr(0, before.size()), before);
    }
    EXPECT_NE(Dump(scratch_.path()).find("\nw="), std::string::npos);
  }
}

// A damaged record with records after it is no tear: the hive does not load
// and is never written.
TEST_F(LazyHiveTest, ADamagedRecordInTheMiddleFailsTheHive) {
  WriteThroughRegistry(kJournalBase);
  const std::size_t canonical_size = ReadFile(Hive()).size();
  {
    LocalRegistry api(scratch_.path());
    SetValue(api, "Base", "a", 1, "1");
    SetValue(api, "Base", "b", 1, "2");
  }
  std::string text = ReadFile(Hive());
  const std::size_t at = text.find("\"a\"=", canonical_size);
  ASSERT_NE(at, std::string::npos);
  text[at + 1] = 'z';
  WriteFile(Hive(), text);
  LocalRegistry api(scratch_.path());
  ExpectBadDb(api, "Base");
  const auto error = api.CheckHive(kHklm);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->reason, "a journal record that does not match its checksum");
  const std::size_t frame = text.rfind("; journal ", at);
  EXPECT_EQ(error->line,
            static_cast<std::size_t>(std::count(
                text.begin(), text.begin() + static_cast<std::ptrdiff_t>(frame),
                '\n')) +
                1);
  EXPECT_EQ(ReadFile(Hive()), text);
}

}  // namespace
}  // namespace quillprobe::registry
