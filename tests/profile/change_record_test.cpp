// The record of a profile file's unwritten changes: what a fresh read of the file becomes when
// this process's changes are applied again on top of someone else's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/change_record.h"

namespace {

using cx::platform::ChangeRecord;
using cx::platform::IniDocument;
using cx::platform::ProfileChange;
using Kind = ProfileChange::Kind;

struct Case {
    const char* what;
    std::vector<ProfileChange> changes;
    int written;          // how many of them reached the disk before the other writer's change
    std::size_t kept;     // the record's limit
    const char* on_disk;  // the file as the other writer left it
    bool merged;
    const char* expected;  // the merged document (when merged)
};

TEST(ChangeRecord, MergesTheUnwrittenChangesOntoAFreshRead) {
    const Case cases[] = {
        {"set and deletions in order",
         {{Kind::kSet, "S", "a", "1"},
          {Kind::kDeleteKey, "S", "b", ""},
          {Kind::kDeleteSection, "T", "", ""}},
         0,
         100,
         "[S]\r\nb=2\r\nc=3\r\n[T]\r\nx=1\r\n",
         true,
         "[S]\r\nc=3\r\na=1\r\n"},
        {"written changes are not applied again",
         {{Kind::kSet, "S", "a", "1"}, {Kind::kSet, "S", "b", "2"}},
         1,
         100,
         "[S]\r\na=other\r\n",
         true,
         "[S]\r\na=other\r\nb=2\r\n"},
        {"everything written",
         {{Kind::kSet, "S", "a", "1"}},
         1,
         100,
         "[S]\r\na=other\r\n",
         true,
         "[S]\r\na=other\r\n"},
        {"too many to keep: ours wins",
         {{Kind::kSet, "S", "a", "1"}, {Kind::kSet, "S", "b", "2"}, {Kind::kSet, "S", "c", "3"}},
         0,
         2,
         "[S]\r\na=other\r\n",
         false,
         ""},
    };
    for (const Case& c : cases) {
        ChangeRecord record(c.kept);
        const auto now = ChangeRecord::Clock::now();
        for (std::size_t i = 0; i < c.changes.size(); ++i) {
            record.Add(c.changes[i], now);
            if (static_cast<int>(i) + 1 == c.written) record.Written(record.Last());
        }
        EXPECT_EQ(record.Dirty(), c.written != static_cast<int>(c.changes.size())) << c.what;
        IniDocument fresh(c.on_disk);
        ASSERT_EQ(record.MergeInto(fresh), c.merged) << c.what;
        if (c.merged) {
            EXPECT_EQ(fresh.Serialize(), c.expected) << c.what;
        }
    }
}

TEST(ChangeRecord, WritingOrDiscardingEverythingMakesTheRecordWholeAgain) {
    ChangeRecord record(1);
    const auto first = ChangeRecord::Clock::now();
    record.Add({Kind::kSet, "S", "a", "1"}, first);
    EXPECT_EQ(record.OldestKept(), first);
    record.Add({Kind::kSet, "S", "b", "2"}, first);  // beyond the limit: the record gives up
    EXPECT_FALSE(record.OldestKept().has_value());
    IniDocument fresh("");
    EXPECT_FALSE(record.MergeInto(fresh));

    record.Discard();
    EXPECT_FALSE(record.Dirty());
    record.Add({Kind::kSet, "S", "c", "3"}, first);
    EXPECT_TRUE(record.MergeInto(fresh));
    EXPECT_EQ(fresh.Serialize(), "[S]\r\nc=3\r\n");
    record.Written(record.Last());
    EXPECT_FALSE(record.Dirty());
    EXPECT_FALSE(record.OldestKept().has_value());
}

}  // namespace
