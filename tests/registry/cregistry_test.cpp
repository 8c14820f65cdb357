// CRegistry's object state, properties, handles, snapshot and lookups.
#include "registry/cregistry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "registry/memory_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/recording_registry.h"
#include "tests/support/registry_seeding.h"

namespace quillprobe::registry {
namespace {

using test::CapturedMessageBoxes;
using Call = RegistryCall;
using test::SeedString;
using test::SeedValue;
using test::ShownBox;

constexpr char kPath[] = "SOFTWARE\\Quillmere Software\\Test";
constexpr std::int32_t kSnapshotError = kErrorCannotOpenKey;

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

class CRegistryTest : public ::testing::Test {
 protected:
  // Asserts that `call` raises the error with these number and texts.
  template <typename Call>
  static void ExpectRaises(Call call, std::int32_t number,
                           std::string_view source,
                           std::string_view description) {
    try {
      call();
      ADD_FAILURE() << "nothing was raised";
    } catch (const RaisedError& error) {
      EXPECT_EQ(error.Number(), number);
      EXPECT_EQ(error.Source(), source);
      EXPECT_EQ(error.Description(), description);
    }
  }

  std::uint32_t SubkeyCountOf(HKey root) {
    KeyInfo info;
    EXPECT_EQ(memory_.QueryInfoKey(root, nullptr, nullptr, &info), 0);
    return info.subkey_count;
  }

  // Handles that were opened through registry_ and not closed.
  std::size_t OpenHandles() const {
    std::multiset<HKey> open;
    for (const auto& call : registry_.Calls()) {
      if (call.opened != kNoKey) open.insert(call.opened);
      if (call.call == Call::kCloseKey && open.count(call.key) > 0) {
        open.erase(open.find(call.key));
      }
    }
    return open.size();
  }

  MemoryRegistry memory_;
  RecordingRegistry registry_{memory_};
  CapturedMessageBoxes boxes_;
};

TEST_F(CRegistryTest, NewObjectHasDefaultsAndTouchesNothing) {
  CRegistry reg(registry_, boxes_);
  EXPECT_EQ(reg.root(), kHkeyLocalMachine);
  EXPECT_EQ(reg.key(), "");
  EXPECT_TRUE(reg.AutoCreate());
  EXPECT_EQ(reg.ValueCount(), 0);
  EXPECT_EQ(reg.SubKeyCount(), 0);
  EXPECT_EQ(reg.Default(), "");
  EXPECT_EQ(reg.HeldKey(), kNoKey);
  EXPECT_TRUE(registry_.Calls().empty());
  // Lookups behave as on a key with no values and no subkeys.
  EXPECT_EQ(reg.GetValue(std::int16_t{0}, "dflt"), "dflt");
  EXPECT_EQ(reg.GetName(0), "");
  EXPECT_EQ(reg.GetSubKey(0), "");
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(CRegistryTest, PlainPropertiesHoldWhatTheyAreGiven) {
  CRegistry reg(registry_, boxes_);
  ExpectRaises([&] { reg.ValueCount(7); }, kErrorLetNotAvailable,
               "CRegistry.Let ValueCount", "The Let Property is not available");
  EXPECT_EQ(reg.ValueCount(), 0);

  reg.Default("fallback");
  EXPECT_EQ(reg.Default(), "fallback");

  reg.AutoCreate(false);
  EXPECT_FALSE(reg.AutoCreate());

  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  reg.SubKeyCount(-5);
  EXPECT_EQ(reg.SubKeyCount(), -5);
  reg.key(kPath);
  EXPECT_EQ(reg.SubKeyCount(), 0);
  EXPECT_EQ(reg.ValueCount(), 1);
}

TEST_F(CRegistryTest, RootSetterOpensTheCurrentKeyAndKeepsTheHandle) {
  CRegistry reg(registry_, boxes_);
  reg.root(kHkeyCurrentUser);  // empty key path: nothing is opened
  EXPECT_TRUE(registry_.Calls().empty());
  EXPECT_EQ(reg.HeldKey(), kNoKey);
  reg.root(kHkeyLocalMachine);

  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  reg.key(kPath);
  ASSERT_EQ(reg.ValueCount(), 1);

  // A missing key is created under the new root; the snapshot stays.
  reg.root(kHkeyUsers);
  EXPECT_TRUE(test::KeyExists(memory_, roots::kUsers, kPath));
  EXPECT_NE(reg.HeldKey(), kNoKey);
  EXPECT_EQ(reg.ValueCount(), 1);
  EXPECT_EQ(reg.GetValue("a", ""), "1");

  // Root 0 closes the held handle and never raises.
  reg.root(0);
  EXPECT_EQ(reg.HeldKey(), kNoKey);
  EXPECT_EQ(reg.root(), 0);
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(CRegistryTest, ReleasingTheObjectClosesAHeldHandle) {
  {
    CRegistry reg(registry_, boxes_);
    reg.key(kPath);
    reg.root(kHkeyLocalMachine);
    EXPECT_EQ(OpenHandles(), 1u);
  }
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(CRegistryTest, MissingKeyIsCreatedOnlyWithAutoCreate) {
  CRegistry reg(registry_, boxes_);
  reg.AutoCreate(false);
  ExpectRaises([&] { reg.key(kPath); }, kSnapshotError, "GetKeyInfo",
               "Unable to open Key");
  EXPECT_EQ(reg.key(), kPath);
  EXPECT_FALSE(test::KeyExists(memory_, roots::kLocalMachine, kPath));

  reg.AutoCreate(true);
  reg.key(kPath);
  EXPECT_TRUE(test::KeyExists(memory_, roots::kLocalMachine, kPath));
  EXPECT_EQ(reg.ValueCount(), 0);
  EXPECT_EQ(reg.HeldKey(), kNoKey);
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(CRegistryTest, CreateFailuresBecomeTheSnapshotError) {
  for (const Status code : {status::kAccessDenied, status::kBadKey}) {
    RecordingRegistry failing(memory_);
    failing.Inject(Call::kCreateKeyEx, code);
    CRegistry reg(failing, boxes_);
    ExpectRaises([&] { reg.key(kPath); }, kSnapshotError, "GetKeyInfo",
                 "Unable to open Key");
  }
  registry_.Inject(Call::kOpenKeyEx, status::kAccessDenied);
  CRegistry reg(registry_, boxes_);
  reg.AutoCreate(false);
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  ExpectRaises([&] { reg.key(kPath); }, kSnapshotError, "GetKeyInfo",
               "Unable to open Key");
}

TEST_F(CRegistryTest, SnapshotHoldsStringValuesInOrderAndSortedSubkeys) {
  SeedString(memory_, roots::kLocalMachine, kPath, "zeta", "last letter");
  SeedValue(memory_, roots::kLocalMachine, kPath, "number", value_type::kDword,
            {1, 0, 0, 0});
  SeedString(memory_, roots::kLocalMachine, kPath, "Alpha", "first letter");
  SeedValue(memory_, roots::kLocalMachine, kPath, "paths", value_type::kMultiSz,
            Bytes(std::string("a\0b\0\0", 5)));
  SeedValue(memory_, roots::kLocalMachine, kPath, "expand",
            value_type::kExpandSz, Bytes(std::string("%x%\0", 4)));
  SeedString(memory_, roots::kLocalMachine, kPath, "", "unnamed");
  for (const char* sub : {"beta", "Alpha", "gamma"}) {
    test::SeedKey(memory_, roots::kLocalMachine,
                     std::string(kPath) + "\\" + sub);
  }

  CRegistry reg(registry_, boxes_);
  reg.key(kPath);
  EXPECT_EQ(reg.ValueCount(), 3);
  EXPECT_EQ(reg.GetName(0), "zeta");
  EXPECT_EQ(reg.GetName(1), "Alpha");
  EXPECT_EQ(reg.GetName(2), "");
  EXPECT_EQ(reg.GetValue(std::int16_t{1}, ""), "first letter");
  EXPECT_EQ(reg.GetValue(std::int16_t{2}, ""), "unnamed");
  EXPECT_EQ(reg.GetValue("number", "none"), "none");
  EXPECT_EQ(reg.GetValue("paths", "none"), "none");
  EXPECT_EQ(reg.GetValue("expand", "none"), "none");

  EXPECT_EQ(reg.SubKeyCount(), 3);
  EXPECT_EQ(reg.GetSubKey(0), "Alpha");
  EXPECT_EQ(reg.GetSubKey(1), "beta");
  EXPECT_EQ(reg.GetSubKey(2), "gamma");
  for (const int outside : {-1, 3, 32767}) {
    EXPECT_EQ(reg.GetSubKey(static_cast<std::int16_t>(outside)), "") << outside;
  }
  EXPECT_EQ(reg.GetName(3), "");
  EXPECT_EQ(reg.GetName(4), "");
  EXPECT_EQ(reg.GetName(-1), "");
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(CRegistryTest, GetValueLooksUpByNameOrPosition) {
  SeedString(memory_, roots::kLocalMachine, kPath, "exe path", "C:\\Apps\\");
  SeedString(memory_, roots::kLocalMachine, kPath, "3", "by name three");
  SeedString(memory_, roots::kLocalMachine, kPath, "Empty", "");
  SeedString(memory_, roots::kLocalMachine, kPath,
             "Stra\xC3\x9F"
             "e",
             "street");
  SeedString(memory_, roots::kLocalMachine, kPath, "\xC3\xA9t\xC3\xA9",
             "summer");
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);
  ASSERT_EQ(reg.ValueCount(), 5);

  const struct {
    VariantRequest request;
    const char* expected;
  } cases[] = {
      {"EXE Path", "C:\\Apps\\"},  // letter case does not matter
      {"exe PATH", "C:\\Apps\\"},
      {std::int32_t{3}, "by name three"},  // a 32-bit integer is a name
      {"3", "by name three"},
      {std::int16_t{0}, "C:\\Apps\\"},
      {std::int16_t{1}, "by name three"},
      {"Empty", "dflt"},  // empty data gives the default
      {std::int16_t{2}, "dflt"},
      {std::int16_t{5}, "dflt"},  // the empty last row
      {"missing", "dflt"},
      {"", "dflt"},  // no unnamed value: the last row
      {"STRA\xC3\x9F"
       "E",
       "street"},
      {"\xC3\x89T\xC3\x89", "summer"},  // non-ASCII letters compare too
      {3.5, "dflt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reg.GetValue(c.request, "dflt"), c.expected);
  }
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(CRegistryTest, FailedLookupsShowAMessageBoxAndGiveEmptyText) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  SeedString(memory_, roots::kLocalMachine, kPath, "b", "2");
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);

  for (const int outside : {-1, 3, 32767, -32768}) {
    EXPECT_EQ(reg.GetValue(static_cast<std::int16_t>(outside), "dflt"), "")
        << outside;
  }
  EXPECT_EQ(reg.GetValue(VariantRequest::Null{}, "dflt"), "");
  const ShownBox out_of_range{"Subscript out of range", "CRegistry"};
  const ShownBox null{"Invalid use of Null", "CRegistry"};
  EXPECT_EQ(boxes_.shown(),
            (std::vector<ShownBox>{out_of_range, out_of_range, out_of_range,
                                   out_of_range, null}));
}

TEST_F(CRegistryTest, UnnamedValueAnswersTheEmptyName) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  SeedString(memory_, roots::kLocalMachine, kPath, "", "the default");
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);
  EXPECT_EQ(reg.GetValue("", "dflt"), "the default");
}

TEST_F(CRegistryTest, StringDataIsCutOnlyAtAStoredTerminator) {
  const struct {
    const char* name;
    std::string data;
    std::string text;
  } cases[] = {
      {"terminated", std::string("red\0", 4), "red"},
      {"unterminated", "red", "red"},
      {"zero bytes", "", ""},
      {"only a NUL", std::string("\0", 1), ""},
      {"two NULs", std::string("ab\0\0", 4), std::string("ab\0", 3)},
      {"utf8", std::string("gr\xC3\xBC\xC3\x9F\0", 7), "gr\xC3\xBC\xC3\x9F"},
  };
  for (const auto& c : cases) {
    SeedValue(memory_, roots::kLocalMachine, kPath, c.name, value_type::kSz,
              Bytes(c.data));
  }
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);  // zero-byte data does not fail the snapshot
  ASSERT_EQ(reg.ValueCount(), 6);
  for (const auto& c : cases) {
    EXPECT_EQ(reg.GetValue(c.name, ""), c.text) << c.name;
  }
}

TEST_F(CRegistryTest, RefreshShowsOnlyWhatRemains) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  SeedString(memory_, roots::kLocalMachine, kPath, "b", "2");
  test::SeedKey(memory_, roots::kLocalMachine, std::string(kPath) + "\\s");
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);
  ASSERT_EQ(reg.ValueCount(), 2);
  ASSERT_EQ(reg.SubKeyCount(), 1);

  HKey key = kNoKey;
  ASSERT_EQ(memory_.OpenKeyEx(roots::kLocalMachine, kPath, 0,
                              access::kAllAccess, &key),
            0);
  ASSERT_EQ(memory_.DeleteValue(key, "a"), 0);
  ASSERT_EQ(memory_.DeleteKey(key, "s"), 0);
  memory_.CloseKey(key);
  EXPECT_EQ(reg.GetValue("a", "gone"), "1");  // the snapshot is a copy

  reg.Refresh();
  EXPECT_EQ(reg.ValueCount(), 1);
  EXPECT_EQ(reg.SubKeyCount(), 0);
  EXPECT_EQ(reg.GetValue("a", "gone"), "gone");
  EXPECT_EQ(reg.GetName(0), "b");
  EXPECT_EQ(reg.GetSubKey(0), "");
}

TEST_F(CRegistryTest, SnapshotReadsTheKeyWithTheDocumentedCalls) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  SeedValue(memory_, roots::kLocalMachine, kPath, "n", value_type::kDword,
            {1, 0, 0, 0});
  CRegistry reg(registry_, boxes_);
  reg.AutoCreate(false);
  registry_.ClearCalls();
  reg.key(kPath);
  // Open with access 31, query, probe and read each string value, probe the
  // others, enumerate subkeys, close.
  std::vector<Call> sequence;
  for (const auto& call : registry_.Calls()) sequence.push_back(call.call);
  EXPECT_EQ(sequence, (std::vector<Call>{Call::kOpenKeyEx, Call::kQueryInfoKey,
                                         Call::kEnumValue, Call::kEnumValue,
                                         Call::kEnumValue, Call::kEnumValue,
                                         Call::kEnumKeyEx, Call::kCloseKey}));
  EXPECT_EQ(registry_.Calls().front().access, 31u);
}

// A snapshot that fails while it reads subkeys has already replaced the
// value table; the subkey list is the new, partial one and the count the
// old one.
TEST_F(CRegistryTest, FailureWhileReadingSubkeysLeavesAPartialSnapshot) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  test::SeedKey(memory_, roots::kLocalMachine, std::string(kPath) + "\\s");
  test::SeedKey(memory_, roots::kLocalMachine, std::string(kPath) + "\\t");
  CRegistry reg(registry_, boxes_);
  reg.key(kPath);
  ASSERT_EQ(reg.SubKeyCount(), 2);
  SeedString(memory_, roots::kLocalMachine, kPath, "b", "2");

  registry_.Inject(Call::kEnumKeyEx, status::kKeyDeleted).OnNth(2);
  ExpectRaises([&] { reg.Refresh(); }, kSnapshotError, "GetKeyInfo",
               "Unable to open Key");
  EXPECT_EQ(reg.ValueCount(), 2);
  EXPECT_EQ(reg.GetValue("b", ""), "2");
  EXPECT_EQ(reg.SubKeyCount(), 2);
  EXPECT_EQ(reg.GetSubKey(0), "s");
  EXPECT_EQ(reg.GetSubKey(1), "");
  // The failed snapshot's handle stays held until the next one closes it.
  EXPECT_NE(reg.HeldKey(), kNoKey);
  reg.Refresh();
  EXPECT_EQ(reg.GetSubKey(1), "t");
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(CRegistryTest, EnumerationErrorsEndTheSnapshotInsteadOfLooping) {
  SeedString(memory_, roots::kLocalMachine, kPath, "a", "1");
  CRegistry reg(registry_, boxes_);
  registry_.Inject(Call::kEnumValue, status::kKeyDeleted);
  ExpectRaises([&] { reg.key(kPath); }, kSnapshotError, "GetKeyInfo",
               "Unable to open Key");
}

// 32,767 string values are the most a snapshot can count; a lookup that
// misses runs the 16-bit row counter past the last row.
TEST_F(CRegistryTest, SixteenBitCountsOverflow) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      memory_.CreateKeyEx(roots::kLocalMachine, kPath, "", 0,
                          access::kAllAccess, nullptr, &key, &disposition),
      0);
  const std::vector<std::uint8_t> data = {'x', 0};
  for (int i = 0; i < 32767; ++i) {
    ASSERT_EQ(
        memory_.SetValueEx(key, "v" + std::to_string(i), value_type::kSz, data),
        0);
  }
  CRegistry reg(memory_, boxes_);
  reg.key(kPath);
  EXPECT_EQ(reg.ValueCount(), 32767);
  EXPECT_EQ(reg.GetValue("v32766", ""), "x");
  EXPECT_EQ(reg.GetValue(std::int16_t{32766}, ""), "x");
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(reg.GetValue("missing", "dflt"), "");
  EXPECT_EQ(boxes_.shown(), (std::vector<ShownBox>{{"Overflow", "CRegistry"}}));
  EXPECT_EQ(reg.GetValue("", "dflt"), "dflt");  // the last row matches

  ASSERT_EQ(memory_.SetValueEx(key, "v32767", value_type::kSz, data), 0);
  memory_.CloseKey(key);
  ExpectRaises([&] { reg.Refresh(); }, kSnapshotError, "GetKeyInfo",
               "Unable to open Key");
  EXPECT_EQ(reg.ValueCount(), 32767);  // the count of the last good snapshot
}

}  // namespace
}  // namespace quillprobe::registry
