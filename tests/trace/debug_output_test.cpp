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
    const std::string long_name = "A123456789B123456789C123456789D123456789";
    struct Case {
        std::string text;
        std::vector<std::string> records;
        std::string name = "CX_MIB";
        std::string tag = "CX_MIB";
    } const cases[] = {
        {"hello\n", {"hello"}},
        {"hello", {"hello"}},                              // no newline at the end
        {"\n\nfirst\n\n\nsecond\n", {"first", "second"}},  // empty lines are left out
        {"", {}},
        {long_line + "\nnext", {long_line.substr(0, 1122), "next"}},
        {"a\r\nb", {"a\r", "b"}},  // carriage returns stay
        {"tagged\n", {"tagged"}, "with blank\tand tab", "with_blank_and_tab"},
        {"tagged\n", {"tagged"}, long_name, long_name.substr(0, 31)},
    };
    LogReceiver log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        CxSetDebugOutputName(c.name.c_str());
        OutputDebugStringA(c.text.c_str());
        std::vector<std::string> got = log.Receive(c.records.size());
        ASSERT_EQ(got.size(), c.records.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(LogReceiver::Message(got[i], c.tag), c.records[i]);
        EXPECT_TRUE(log.ReceiveWaiting().empty());
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
