// Journal records at the end of a hive file: a record cut anywhere is
// dropped with everything after it, whole records before it are kept, a
// damaged record in the middle is reported, and comments that merely look
// like frames stay comments.
#include "registry/hive_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillprobe::registry {
namespace {

constexpr std::string_view kBase =
    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE]\n\n";
const std::vector<std::string> kBodies = {
    "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n\n",
    "[-HKEY_LOCAL_MACHINE\\A]\n\n",
    "[HKEY_LOCAL_MACHINE\\B]\n\"w\"=-\n\n",
};

TEST(HiveJournalTest, ATornRecordIsDroppedWhereverItIsCut) {
  std::string file(kBase);
  std::vector<std::size_t> ends = {file.size()};  // after each whole record
  for (const std::string& body : kBodies) {
    file += FrameJournalRecord(body);
    ends.push_back(file.size());
  }
  for (std::size_t cut = kBase.size(); cut <= file.size(); ++cut) {
    const std::string_view bytes = std::string_view(file).substr(0, cut);
    std::size_t whole = 0;
    while (whole + 1 < ends.size() && ends[whole + 1] <= cut) ++whole;
    std::size_t damaged_line = 0;
    EXPECT_EQ(UntornLength(bytes, &damaged_line), ends[whole]) << cut;
    EXPECT_EQ(damaged_line, 0u);
    const auto records = ReadJournalRecords(bytes.substr(kBase.size()));
    ASSERT_TRUE(records.has_value()) << cut;
    EXPECT_EQ(records->end, ends[whole] - kBase.size()) << cut;
    ASSERT_EQ(records->bodies.size(), whole) << cut;
    for (std::size_t i = 0; i < whole; ++i) {
      EXPECT_EQ(records->bodies[i], kBodies[i]);
    }
  }
}

TEST(HiveJournalTest, ADamagedRecordIsDroppedOnlyAtTheEnd) {
  std::string last_damaged(kBase);
  last_damaged += FrameJournalRecord(kBodies[0]);
  const std::size_t first_end = last_damaged.size();
  last_damaged += FrameJournalRecord(kBodies[1]);
  last_damaged[last_damaged.size() - 3] ^= 1;  // as a crash may leave it
  std::size_t damaged_line = 0;
  EXPECT_EQ(UntornLength(last_damaged, &damaged_line), first_end);
  EXPECT_EQ(damaged_line, 0u);

  // Followed by another record, the same damage is no tear.
  std::string middle_damaged = last_damaged + FrameJournalRecord(kBodies[2]);
  EXPECT_EQ(UntornLength(middle_damaged, &damaged_line), 0u);
  EXPECT_EQ(damaged_line, 9u);  // the frame line of the damaged record
  EXPECT_FALSE(
      ReadJournalRecords(std::string_view(middle_damaged).substr(kBase.size()))
          .has_value());
}

TEST(HiveJournalTest, OnlyExactFrameLinesAreFrames) {
  for (const std::string comment :
       {"; journal of changes", "; journal 12 not-a-checksum",
        "; journal 5 0123456789abcdef0", "; journal 5 0123456789ABCDEF",
        "; journal 05 0123456789abcdef", ";journal 5 0123456789abcdef",
        "; journal 5 0123456789abcdef\r"}) {
    const std::string file = std::string(kBase) + comment +
                             "\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n\n";
    std::size_t damaged_line = 0;
    EXPECT_EQ(UntornLength(file, &damaged_line), file.size()) << comment;
    EXPECT_EQ(damaged_line, 0u);
    // Where only records may stand, anything else is refused.
    EXPECT_FALSE(ReadJournalRecords(comment + "\n").has_value()) << comment;
  }
}

}  // namespace
}  // namespace quillprobe::registry
