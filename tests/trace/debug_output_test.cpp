// OutputDebugStringA: one system-log record per line, lines cut, tagged with the name, and
// never a wait on a log that takes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/debug.h"
#include "trace_test_support.h"

namespace {

using cx::test::LogReceiver;

// One record per non-empty line, cut at 1122 characters, tagged with the name (blanks become
// '_', at most 31 characters).
TEST(OutputDebugString, SendsOneTaggedRecordPerLine) {
    const std::string long_line(2000, 'x');
    struct Case {
        const char* label;
        std::string text;
        std::vector<std::string> records;
        const char* name = "CX_MIB";
        std::string tag = "CX_MIB";
    } const cases[] = {
        {.label = "one line", .text = "hello\n", .records = {"hello"}},
        {.label = "no newline at the end", .text = "hello", .records = {"hello"}},
        {.label = "empty lines are left out",
         .text = "\n\nfirst\n\n\nsecond\n",
         .records = {"first", "second"}},
        {.label = "nothing", .text = "", .records = {}},
        {.label = "a long line is cut",
         .text = long_line + "\nnext",
         .records = {long_line.substr(0, 1122), "next"}},
        {.label = "carriage returns stay", .text = "a\r\nb", .records = {"a\r", "b"}},
        {.label = "blanks in the name",
         .text = "tagged\n",
         .records = {"tagged"},
         .name = "with blank\tand tab",
         .tag = "with_blank_and_tab"},
        {.label = "a long name",
         .text = "tagged\n",
         .records = {"tagged"},
         .name = "A123456789B123456789C123456789D123456789",
         .tag = "A123456789B123456789C123456789D"},
    };
    LogReceiver log;
    for (const Case& c : cases) {
        CxSetDebugOutputName(c.name);
        OutputDebugStringA(c.text.c_str());
        std::vector<std::string> got = log.Receive(c.records.size());
        ASSERT_EQ(got.size(), c.records.size()) << c.label;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(LogReceiver::Message(got[i], c.tag), c.records[i]) << c.label;
        EXPECT_TRUE(log.ReceiveWaiting().empty()) << c.label;
    }
}

TEST(OutputDebugString, AFullLogLosesRecordsInsteadOfBlocking) {
    LogReceiver log;  // read only at the end
    std::string line(1000, 'z');
    for (int i = 0; i < 5000; ++i)
        OutputDebugStringA(line.c_str());
    EXPECT_FALSE(log.ReceiveWaiting().empty());
}

}  // namespace
