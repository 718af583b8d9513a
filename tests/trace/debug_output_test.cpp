// OutputDebugStringA: one system-log record per line, lines cut, tagged with the name, and
// never a wait on a log that takes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_receiver.h"
#include "platform/debug.h"

namespace {

using cx::test::LogReceiver;

TEST(OutputDebugString, SendsOneRecordPerLine) {
    const std::string long_line(2000, 'x');
    struct Case {
        const char* label;
        std::string text;
        std::vector<std::string> records;
    } const cases[] = {
        {"one line", "hello\n", {"hello"}},
        {"no newline at the end", "hello", {"hello"}},
        {"empty lines are left out", "\n\nfirst\n\n\nsecond\n", {"first", "second"}},
        {"nothing", "", {}},
        {"a long line is cut", long_line + "\nnext", {long_line.substr(0, 1122), "next"}},
        {"carriage returns stay", "a\r\nb", {"a\r", "b"}},
    };
    LogReceiver log;
    CxSetDebugOutputName("CX_MIB");
    for (const Case& c : cases) {
        OutputDebugStringA(c.text.c_str());
        std::vector<std::string> got = log.Receive(c.records.size());
        ASSERT_EQ(got.size(), c.records.size()) << c.label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(LogReceiver::Message(got[i], "CX_MIB"), c.records[i]) << c.label;
        }
        EXPECT_TRUE(log.ReceiveWaiting().empty()) << c.label;
    }
}

TEST(OutputDebugString, TagsRecordsWithTheNameGiven) {
    struct Case {
        const char* name;
        std::string tag;
    } const cases[] = {
        {"CX_MIB", "CX_MIB"},
        {"with blank\tand tab", "with_blank_and_tab"},
        {"A123456789B123456789C123456789D123456789", "A123456789B123456789C123456789D"},
    };
    LogReceiver log;
    for (const Case& c : cases) {
        CxSetDebugOutputName(c.name);
        OutputDebugStringA("tagged\n");
        std::vector<std::string> got = log.Receive(1);
        ASSERT_EQ(got.size(), 1u) << c.name;
        EXPECT_EQ(LogReceiver::Message(got[0], c.tag), "tagged") << c.name;
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
