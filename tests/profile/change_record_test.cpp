// The record of a profile file's unwritten changes: what a fresh read of the file becomes when
// this process's changes are applied again on top of someone else's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/change_record.h"
#include "profile_test_util.h"
#include "text_rows.h"

namespace {

using cx::platform::ChangeRecord;
using cx::platform::IniDocument;
using cx::platform::ProfileChange;
using Kind = ProfileChange::Kind;

TEST(ChangeRecord, MergesTheUnwrittenChangesOntoAFreshRead) {
    for (const auto& row : cx::test::ReadRows(CX_TEST_DATA "/profile/change_record.txt")) {
        SCOPED_TRACE(row[0]);
        ChangeRecord record(row.Number(3));
        const auto now = ChangeRecord::Clock::now();
        const auto changes = cx::test::ParseChanges(row[1]);
        const size_t written = row.Number(2);
        for (size_t i = 0; i < changes.size(); ++i) {
            const auto& change = changes[i];
            record.Add({change.set             ? Kind::kSet
                        : change.whole_section ? Kind::kDeleteSection
                                               : Kind::kDeleteKey,
                        change.section, change.key, change.value},
                       now);
            if (i + 1 == written) record.Written(record.Last());
        }
        EXPECT_EQ(record.Dirty(), written != changes.size());
        IniDocument fresh(row[4]);
        ASSERT_EQ(record.MergeInto(fresh), row[5] != "(refused)");
        if (row[5] != "(refused)") {
            EXPECT_EQ(fresh.Serialize(), row[5]);
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
