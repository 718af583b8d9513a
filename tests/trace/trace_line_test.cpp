// Trace line text: leading newlines, stamps and their order, the prefix and message limits.
#include "trace_line.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

using cx::trace::StampValues;

std::string Line(const StampValues& stamps, const char* format, ...) {
    char line[cx::trace::kLineCapacity];
    va_list args;
    va_start(args, format);
    int length = cx::trace::FormatTraceLine(line, stamps, format, args);
    va_end(args);
    return length < 0 ? "<nothing>" : std::string(line, static_cast<size_t>(length));
}

StampValues AllStamps(const char* name = "CX_MIB") {
    StampValues stamps;
    stamps.date = stamps.time = stamps.thread = stamps.processor = true;
    stamps.memory = stamps.handles = true;
    stamps.local_time = {2024, 3, 2, 5, 7, 8, 9, 10};
    stamps.thread_id = 42;
    stamps.processor_number = 3;
    stamps.private_kb = 1234;
    stamps.resident_kb = 5678;
    stamps.handle_count = 7;
    stamps.application_name = name;
    return stamps;
}

StampValues Only(bool StampValues::*flag) {
    StampValues only = AllStamps(nullptr);
    only.date = only.time = only.thread = only.processor = only.memory = only.handles = false;
    only.*flag = true;
    return only;
}

StampValues NameOnly(const char* name) {
    StampValues stamps;
    stamps.application_name = name;
    return stamps;
}

TEST(TraceLine, NewlinesFirstThenTheStampsInTheirOrder) {
    const std::string all =
        "[2024-03-05] [07:08:09.010] (00042) #03 {PB 01234kB, MU 05678kB} {007 H} CX_MIB:        ";
    StampValues wide = Only(&StampValues::thread);
    wide.thread_id = 4194303;
    StampValues big_memory = Only(&StampValues::memory);
    big_memory.private_kb = 123456;
    big_memory.resident_kb = 0;
    struct Case {
        const char* label;
        StampValues stamps;
        std::string expected;
    } const cases[] = {
        {"no stamps", {}, "\nCSnmpMgr            : text"},
        {"all stamps", AllStamps(), "\n" + all + "CSnmpMgr            : text"},
        {"date", Only(&StampValues::date), "\n[2024-03-05] CSnmpMgr            : text"},
        {"time", Only(&StampValues::time), "\n[07:08:09.010] CSnmpMgr            : text"},
        {"thread", Only(&StampValues::thread), "\n(00042) CSnmpMgr            : text"},
        {"wide thread", wide, "\n(4194303) CSnmpMgr            : text"},
        {"processor", Only(&StampValues::processor), "\n#03 CSnmpMgr            : text"},
        {"memory", big_memory, "\n{PB 123456kB, MU 00000kB} CSnmpMgr            : text"},
        {"handles", Only(&StampValues::handles), "\n{007 H} CSnmpMgr            : text"},
        {"name", NameOnly("CX_MIB"), "\nCX_MIB:        CSnmpMgr            : text"},
        {"13-letter name", NameOnly("ABCDEFGHIJKLM"),
         "\nABCDEFGHIJKLM: CSnmpMgr            : text"},
        {"empty name", NameOnly(""), "\n:              CSnmpMgr            : text"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Line(c.stamps, "\nCSnmpMgr            : %s", "text"), c.expected) << c.label;
    }
    EXPECT_EQ(Line(AllStamps(), "\n\nx\ny"), "\n\n" + all + "x\ny") << "only leading newlines";
    EXPECT_EQ(Line(AllStamps(), "x"), all + "x") << "no newline";
}

TEST(TraceLine, APrefixOfAHundredCharactersIsReplaced) {
    const std::string too_long = "!! BUFFER TOO SMALL - FIXME !! ";
    const std::string all = Line(AllStamps(), "");  // 88 characters
    const std::string name31(31, 'N');
    struct Case {
        const char* label;
        StampValues stamps;
        std::string format;
        std::string expected;
    } const cases[] = {
        {"99 newlines", {}, std::string(99, '\n') + "m", std::string(99, '\n') + "m"},
        {"100 newlines", {}, std::string(100, '\n') + "m", too_long + "m"},
        {"stamps and 11 newlines", AllStamps(), std::string(11, '\n') + "m",
         std::string(11, '\n') + all + "m"},
        {"stamps and 12 newlines", AllStamps(), std::string(12, '\n') + "m", too_long + "m"},
        {"a long name", AllStamps(name31.c_str()), "\nm", too_long + "m"},
        {"newlines past 1123 stay in the message",
         {},
         std::string(1200, '\n') + "m",
         too_long + std::string(77, '\n') + "m"},
    };
    ASSERT_EQ(all.size(), 88u);
    for (const Case& c : cases)
        EXPECT_EQ(Line(c.stamps, c.format.c_str()), c.expected) << c.label;
}

TEST(TraceLine, TheMessageFollowsPrintfRulesUpTo1024Characters) {
    const std::string long_text(2000, 'x');
    const char* volatile no_text = nullptr;  // a literal NULL is refused at compile time
    EXPECT_EQ(Line({}, "\n%s", long_text.c_str()), "\n" + long_text.substr(0, 1024));
    EXPECT_EQ(Line(AllStamps(), "%s", long_text.c_str()).size(), 88u + 1024);
    EXPECT_EQ(Line({}, "%s", long_text.substr(0, 1024).c_str()), long_text.substr(0, 1024));
    EXPECT_EQ(Line({}, "%d|%u|%X|%08X|%02X|%-20s|%.8s|%c", -5, 7u, 0xabu, 0x1fu, 0xau, "CX_MIB",
                   "1234567890", 'z'),
              "-5|7|AB|0000001F|0A|CX_MIB              |12345678|z");
    EXPECT_EQ(Line({}, "[%s]", no_text), "[(null)]") << "a missing text is named, not followed";
    EXPECT_EQ(Line({}, "%ls", L"\u00e9"), "<nothing>") << "text that cannot be converted";
    EXPECT_EQ(Line({}, "%s", ""), "");
}

}  // namespace
