// CRegistry's writes: values set and deleted, keys created and deleted.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "registry/cregistry.h"
#include "registry/memory_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/recording_registry.h"
#include "tests/support/registry_seeding.h"

namespace quillprobe::registry {
namespace {

using test::CapturedMessageBoxes;
using test::KeyExists;
using test::ReadValue;
using test::SeedKey;
using test::SeedString;
using test::ShownBox;
using Call = RegistryCall;

constexpr char kPath[] = "SOFTWARE\\Quillmere Software\\Test";
constexpr HKey kHklm = roots::kLocalMachine;

std::vector<std::uint8_t> Sz(std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::string Join(std::string_view a, std::string_view b) {
  return std::string(a) + "\\" + std::string(b);
}

class CRegistryWriteTest : public ::testing::Test {
 protected:
  // An object bound to kPath, whose snapshot holds rows "first", "second".
  void SetUp() override {
    SeedString(memory_, kHklm, kPath, "first", "1");
    SeedString(memory_, kHklm, kPath, "second", "2");
    reg_.key(kPath);
    registry_.ClearCalls();
  }

  std::string Stored(std::string_view name, std::string_view path = kPath) {
    const auto value = ReadValue(memory_, kHklm, path, name);
    if (value.status != 0) return "<missing>";
    EXPECT_EQ(value.type, value_type::kSz);
    return std::string(value.data.begin(), value.data.end());
  }

  MemoryRegistry memory_;
  RecordingRegistry registry_{memory_};
  CapturedMessageBoxes boxes_;
  CRegistry reg_{registry_, boxes_};
};

TEST_F(CRegistryWriteTest, SetValueStoresTextWithItsTerminator) {
  EXPECT_TRUE(reg_.SetValue("colour", "red"));
  const auto value = ReadValue(memory_, kHklm, kPath, "colour");
  EXPECT_EQ(value.type, value_type::kSz);
  EXPECT_EQ(value.data, (std::vector<std::uint8_t>{0x72, 0x65, 0x64, 0x00}));
  EXPECT_EQ(reg_.HeldKey(), kNoKey);
  // Text is stored as UTF-8 bytes.
  EXPECT_TRUE(reg_.SetValue("word", "gr\xC3\xBC\xC3\x9F"));
  EXPECT_EQ(ReadValue(memory_, kHklm, kPath, "word").data,
            Sz("gr\xC3\xBC\xC3\x9F"));
}

TEST_F(CRegistryWriteTest, SetValueNamesTheValueByPositionOrText) {
  const struct {
    VariantRequest name;
    const char* stored_as;
  } cases[] = {
      {std::int16_t{0}, "first"},  // the name in row 0 of the snapshot
      {std::int16_t{1}, "second"},
      {std::int16_t{2}, ""},  // the empty last row: the unnamed value
      {std::int16_t{-1}, ""},
      {std::int16_t{99}, ""},
      {std::int32_t{1}, "1"},  // a 32-bit integer is a name
      {"text name", "text name"},
      {2.5, "2.5"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string data = "data " + std::to_string(++n);
    EXPECT_TRUE(reg_.SetValue(c.name, data)) << c.stored_as;
    EXPECT_EQ(Stored(c.stored_as), data + '\0') << c.stored_as;
  }
}

TEST_F(CRegistryWriteTest, SetValueLeavesTheSnapshotUntilRefresh) {
  EXPECT_TRUE(reg_.SetValue("first", "changed"));
  EXPECT_TRUE(reg_.SetValue("new", "value"));
  EXPECT_EQ(reg_.GetValue("first", ""), "1");
  EXPECT_EQ(reg_.GetValue("new", "none"), "none");
  EXPECT_EQ(reg_.ValueCount(), 2);
  reg_.Refresh();
  EXPECT_EQ(reg_.GetValue("first", ""), "changed");
  EXPECT_EQ(reg_.GetValue("new", "none"), "value");
  EXPECT_EQ(reg_.ValueCount(), 3);
}

TEST_F(CRegistryWriteTest, SetValueRefusesEmptyTextAndUnboundObjects) {
  EXPECT_FALSE(reg_.SetValue("first", ""));
  EXPECT_EQ(Stored("first"), std::string("1\0", 2));
  EXPECT_TRUE(registry_.Calls().empty());
  // The name is formed first: a request without text raises even so.
  EXPECT_THROW(reg_.SetValue(VariantRequest::Null{}, ""), RaisedError);

  CRegistry unbound(registry_, boxes_);
  EXPECT_FALSE(unbound.SetValue("name", "data"));
  unbound.key(kPath);
  unbound.root(0);
  EXPECT_FALSE(unbound.SetValue("name", "data"));
  EXPECT_EQ(Stored("name"), "<missing>");
}

TEST_F(CRegistryWriteTest, SetValueCreatesTheKeyOnlyWithAutoCreate) {
  const std::string missing = Join(kPath, "missing");
  CRegistry reg(registry_, boxes_);
  reg.AutoCreate(false);
  EXPECT_THROW(reg.key(missing), RaisedError);
  registry_.ClearCalls();
  EXPECT_FALSE(reg.SetValue("v", "x"));
  EXPECT_FALSE(KeyExists(memory_, kHklm, missing));
  ASSERT_EQ(registry_.Count(Call::kOpenKeyEx), 1u);
  EXPECT_EQ(registry_.CallsOf(Call::kOpenKeyEx)[0].access, 6u);

  reg.AutoCreate(true);
  EXPECT_TRUE(reg.SetValue("v", "x"));
  EXPECT_EQ(Stored("v", missing), std::string("x\0", 2));
}

TEST_F(CRegistryWriteTest, SetValueRaisesCreateErrorsAndReportsWriteFailures) {
  const struct {
    Status code;
    std::int32_t number;
    const char* description;
  } cases[] = {
      {status::kAccessDenied, kErrorUnknown, "Unknown Error: 5"},
      {status::kBadKey, kErrorCannotOpenKey, "Cannot Open Parent Key"},
      {status::kBadDb, kErrorUnknown, "Unknown Error: 1009"},
  };
  for (const auto& c : cases) {
    RecordingRegistry failing(memory_);
    failing.Inject(Call::kCreateKeyEx, c.code);
    CRegistry reg(failing, boxes_);
    try {
      reg.SetValue("v", "x");  // the object was never bound: key path empty
      reg.key(kPath);
      ADD_FAILURE() << "binding should have failed";
    } catch (const RaisedError&) {
    }
    try {
      reg.SetValue("v", "x");
      ADD_FAILURE() << "nothing was raised for " << c.code;
    } catch (const RaisedError& error) {
      EXPECT_EQ(error.Number(), c.number);
      EXPECT_EQ(error.Source(), "CreateEx");
      EXPECT_EQ(error.Description(), c.description);
    }
  }
  registry_.Inject(Call::kSetValueEx, status::kAccessDenied);
  EXPECT_FALSE(reg_.SetValue("v", "x"));
  EXPECT_EQ(reg_.HeldKey(), kNoKey);
}

TEST_F(CRegistryWriteTest, DeleteValueRemovesAndRenewsTheSnapshot) {
  SeedString(memory_, kHklm, kPath, "", "unnamed");
  EXPECT_TRUE(reg_.DeleteValue("FIRST"));
  EXPECT_EQ(reg_.ValueCount(), 2);  // "second" and the unnamed value
  EXPECT_EQ(reg_.GetValue("first", "gone"), "gone");
  EXPECT_EQ(reg_.GetValue("", "none"), "unnamed");

  EXPECT_TRUE(reg_.DeleteValue(""));
  EXPECT_EQ(reg_.GetValue("", "none"), "none");
  EXPECT_EQ(reg_.ValueCount(), 1);

  // A value that is not there: false, and the snapshot is renewed all the
  // same.
  SeedString(memory_, kHklm, kPath, "late", "arrival");
  EXPECT_FALSE(reg_.DeleteValue("never there"));
  EXPECT_EQ(reg_.GetValue("late", ""), "arrival");
  EXPECT_EQ(reg_.HeldKey(), kNoKey);
}

TEST_F(CRegistryWriteTest, DeleteValueNeverRaises) {
  // On a missing key with AutoCreate the key is created and is empty.
  CRegistry reg(registry_, boxes_);
  reg.key(Join(kPath, "fresh"));
  memory_.DeleteKey(kHklm, Join(kPath, "fresh"));
  EXPECT_FALSE(reg.DeleteValue("v"));
  EXPECT_TRUE(KeyExists(memory_, kHklm, Join(kPath, "fresh")));

  RecordingRegistry failing(memory_);
  CRegistry bound(failing, boxes_);
  bound.key(kPath);
  failing.Inject(Call::kCreateKeyEx, status::kAccessDenied);
  EXPECT_FALSE(bound.DeleteValue("first"));
  EXPECT_EQ(Stored("first"), std::string("1\0", 2));
}

TEST_F(CRegistryWriteTest, CreateMovesOntoTheSubkey) {
  EXPECT_TRUE(reg_.Create("S"));
  EXPECT_EQ(reg_.key(), Join(kPath, "S"));
  EXPECT_TRUE(KeyExists(memory_, kHklm, Join(kPath, "S")));
  // The name no longer equals the whole path: S again goes one deeper.
  EXPECT_TRUE(reg_.Create("S"));
  EXPECT_EQ(reg_.key(), Join(kPath, "S\\S"));
  // The whole path leaves it where it is.
  EXPECT_TRUE(reg_.Create(reg_.key()));
  EXPECT_EQ(reg_.key(), Join(kPath, "S\\S"));
  // No snapshot: lookups still describe the first key.
  EXPECT_EQ(reg_.GetValue("first", ""), "1");
  EXPECT_EQ(reg_.ValueCount(), 2);
  EXPECT_EQ(reg_.HeldKey(), kNoKey);
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(CRegistryWriteTest, CreateWritesAFirstValueOnlyWithBothArguments) {
  EXPECT_TRUE(reg_.Create("OnlyName", VariantRequest("v")));
  EXPECT_EQ(Stored("v", Join(kPath, "OnlyName")), "<missing>");
  reg_.key(kPath);
  EXPECT_TRUE(reg_.Create("OnlyValue", std::nullopt, "x"));
  EXPECT_EQ(Stored("", Join(kPath, "OnlyValue")), "<missing>");
  EXPECT_TRUE(boxes_.shown().empty());

  reg_.key(kPath);
  EXPECT_TRUE(reg_.Create("Both", VariantRequest("v"), "x"));
  EXPECT_EQ(Stored("v", Join(kPath, "Both")), std::string("x\0", 2));

  // A position names the value from the snapshot of the key the object was
  // on before it moved.
  reg_.key(kPath);
  EXPECT_TRUE(reg_.Create("ByPosition", VariantRequest(std::int16_t{1}), "y"));
  EXPECT_EQ(Stored("second", Join(kPath, "ByPosition")), std::string("y\0", 2));

  // An empty value cannot be written: the box, and still true.
  reg_.key(kPath);
  EXPECT_TRUE(reg_.Create("Empty", VariantRequest("v"), ""));
  EXPECT_EQ(boxes_.shown(),
            (std::vector<ShownBox>{{"Could not set value", std::nullopt}}));
  EXPECT_TRUE(KeyExists(memory_, kHklm, Join(kPath, "Empty")));

  // A name without text ends Create quietly; the key exists.
  boxes_.clear();
  reg_.key(kPath);
  EXPECT_TRUE(reg_.Create("Null", VariantRequest(VariantRequest::Null{}), "x"));
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(reg_.HeldKey(), kNoKey);
}

TEST_F(CRegistryWriteTest, CreateThatFailsReturnsFalseAndKeepsTheNewPath) {
  for (const Status code : {status::kAccessDenied, status::kBadKey}) {
    RecordingRegistry failing(memory_);
    CRegistry reg(failing, boxes_);
    reg.key(kPath);
    failing.Inject(Call::kCreateKeyEx, code);
    EXPECT_FALSE(reg.Create("Denied"));
    EXPECT_EQ(reg.key(), Join(kPath, "Denied"));
    EXPECT_FALSE(KeyExists(memory_, kHklm, Join(kPath, "Denied")));
  }
}

std::size_t OpenedHandles(const RecordingRegistry& registry) {
  std::size_t opened = 0;
  for (const auto& call : registry.Calls()) {
    if (call.opened != kNoKey) ++opened;
  }
  return opened;
}

// Records the full path of every key that DeleteKey removed, in order.
std::vector<std::string> DeletedPaths(const RecordingRegistry& registry) {
  std::map<HKey, std::string> opened;
  std::vector<std::string> deleted;
  for (const auto& call : registry.Calls()) {
    if (call.call == Call::kOpenKeyEx && call.status == 0) {
      opened[call.opened] = call.name;
    }
    if (call.call == Call::kDeleteKey && call.status == 0) {
      deleted.push_back(Join(opened.at(call.key), call.name));
    }
  }
  return deleted;
}

TEST_F(CRegistryWriteTest, DeleteKeyRemovesADeepTreeDeepestFirst) {
  // A chain 50 deep; every level also has two leaf children.
  std::vector<std::string> all;
  std::string path = Join(kPath, "Tree");
  for (int depth = 0; depth < 50; ++depth) {
    all.push_back(path);
    for (const char* leaf : {"leaf a", "Leaf b"}) {
      SeedKey(memory_, kHklm, Join(path, leaf));
      all.push_back(Join(path, leaf));
    }
    path = Join(path, "level" + std::to_string(depth));
  }
  SeedKey(memory_, kHklm, path);
  all.push_back(path);
  reg_.Refresh();
  ASSERT_EQ(reg_.SubKeyCount(), 1);

  EXPECT_TRUE(reg_.DeleteKey("Tree"));
  EXPECT_EQ(reg_.key(), kPath);
  EXPECT_FALSE(KeyExists(memory_, kHklm, Join(kPath, "Tree")));
  EXPECT_EQ(Stored("first"), std::string("1\0", 2));

  const auto deleted = DeletedPaths(registry_);
  EXPECT_EQ(deleted.size(), all.size());
  // Every key goes after everything below it.
  for (std::size_t i = 0; i < deleted.size(); ++i) {
    for (std::size_t j = i + 1; j < deleted.size(); ++j) {
      EXPECT_NE(deleted[j].rfind(deleted[i] + "\\", 0), 0u)
          << deleted[j] << " was deleted after its ancestor";
    }
  }
  EXPECT_EQ(deleted.back(), Join(kPath, "Tree"));
  // Every handle the deletion opened was closed.
  EXPECT_EQ(OpenedHandles(registry_), registry_.Count(Call::kCloseKey));
  // No snapshot: the deleted key is still counted until Refresh.
  EXPECT_EQ(reg_.SubKeyCount(), 1);
  EXPECT_EQ(reg_.GetSubKey(0), "Tree");
  reg_.Refresh();
  EXPECT_EQ(reg_.SubKeyCount(), 0);
}

TEST_F(CRegistryWriteTest, DeleteKeyReportsWhatItCannotDelete) {
  // A missing key: false, nothing changed.
  EXPECT_FALSE(reg_.DeleteKey("missing"));
  EXPECT_EQ(registry_.Count(Call::kDeleteKey), 0u);

  // A child that the registry refuses to delete ends the loop.
  SeedKey(memory_, kHklm, Join(kPath, "Stuck\\child\\grandchild"));
  registry_.Inject(Call::kDeleteKey, status::kAccessDenied)
      .ForName("grandchild");
  EXPECT_FALSE(reg_.DeleteKey("Stuck"));
  EXPECT_EQ(reg_.key(), kPath);
  EXPECT_TRUE(KeyExists(memory_, kHklm, Join(kPath, "Stuck\\child")));

  // An enumeration that fails ends it too.
  RecordingRegistry failing(memory_);
  CRegistry reg(failing, boxes_);
  reg.key(kPath);
  failing.Inject(Call::kEnumKeyEx, status::kKeyDeleted);
  EXPECT_FALSE(reg.DeleteKey("Stuck"));
  EXPECT_EQ(OpenedHandles(failing), failing.Count(Call::kCloseKey));
}

TEST_F(CRegistryWriteTest, DeleteKeyFailsWhenTheParentCannotBeReopened) {
  SeedKey(memory_, kHklm, Join(kPath, "Parent\\child"));
  // Reopening the current key, to delete Parent once its child is gone,
  // fails.
  registry_.Inject(Call::kOpenKeyEx, status::kAccessDenied).ForName(kPath);
  EXPECT_FALSE(reg_.DeleteKey("Parent"));
  EXPECT_TRUE(KeyExists(memory_, kHklm, Join(kPath, "Parent")));
  EXPECT_FALSE(KeyExists(memory_, kHklm, Join(kPath, "Parent\\child")));
}

TEST_F(CRegistryWriteTest, DeleteKeyHandlesTheLongestNames) {
  const std::string longest(kMaxKeyNameLength, 'n');
  SeedKey(memory_, kHklm, Join(kPath, "Long\\" + longest + "\\" + longest));
  EXPECT_TRUE(reg_.DeleteKey("Long"));
  EXPECT_FALSE(KeyExists(memory_, kHklm, Join(kPath, "Long")));
}

}  // namespace
}  // namespace quillprobe::registry
