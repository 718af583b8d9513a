// Manufacturing dates in the collectors' forms turned into "yyyy-mm-dd 00:00:00", and the
// dates that cannot be read left as they are.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "inventory_fixture.h"

namespace cx::test {
namespace {

using ManuDateTest = InventoryTest;

constexpr const char* kFormatMessage = "\n   DATE NOT IN FORMAT mm/dd/yy";

TEST_F(ManuDateTest, ConvertsOrKeepsEachForm) {
    struct Case {
        std::string date;
        std::string expected;  // "" : unchanged, with the format message
    };
    const Case cases[] = {
        {"12/31/05", "2005-12-31 00:00:00"},
        {"01-02-99", "1999-01-02 00:00:00"},
        {"07/04/70", "2070-07-04 00:00:00"},
        {"07/04/71", "1971-07-04 00:00:00"},
        {"07-04-1999", "1999-07-04 00:00:00"},
        {"7/4/2006 10:20", "2006-07-04 00:00:00"},
        {"1/2/3/4", "2004-01-02 00:00:00"},
        {"ab/cd/ef", "2000-00-00 00:00:00"},  // not numbers: read as 0
        {"12/31/99999999999999", "2147483647-12-31 00:00:00"},
        {"12/31/" + std::string(121, '9'), "2147483647-12-31 00:00:00"},
        {"20051020", ""},
        {"12/2005", ""},
        {"2005-10", ""},
        {"", ""},
    };
    std::size_t messages = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        ComponentEntry entry(0);
        CopyEntryText(entry.ManuDate, c.date.c_str());
        agent_->ConvertManuDate(&entry);
        if (c.expected.empty()) {
            EXPECT_EQ(std::string(entry.ManuDate), c.date);
            ++messages;
        } else {
            EXPECT_EQ(std::string(entry.ManuDate), c.expected);
        }
        EXPECT_EQ(TraceCount(kFormatMessage), messages);
    }
}

TEST_F(ManuDateTest, UnterminatedDateIsReadWithinTheField) {
    ComponentEntry entry(0);
    std::memset(entry.ManuDate, '1', sizeof(entry.ManuDate));
    entry.ManuDate[2] = '/';
    entry.ManuDate[5] = '/';
    agent_->ConvertManuDate(&entry);
    EXPECT_STREQ(entry.ManuDate, "2147483647-11-11 00:00:00");
}

}  // namespace
}  // namespace cx::test
