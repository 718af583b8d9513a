// Scenario files of cx-switchd: the line format, reply items, the order of preference between
// matching lines and the mistakes reported.
#include <gtest/gtest.h>

#include "scenario.h"

namespace {

using cx::switchd::ParseScenario;
using cx::switchd::ReplySpec;
using cx::switchd::RequestKey;
using cx::switchd::Scenario;
using cx::switchd::ScenarioStore;

void Load(ScenarioStore& store, const char* text) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    store.Replace(std::move(scenario));
}

RequestKey Key(std::uint32_t op, std::uint32_t ext, std::uint32_t object, std::uint32_t cabinet,
               std::string data = {}, bool low_16_bits = false) {
    return RequestKey{op, ext, object, cabinet, std::move(data), low_16_bits};
}

TEST(Scenario, ItemsBuildTheReplyData) {
    ScenarioStore store;
    Load(store,
         "# the server cabinet\r\n"
         "reply 0xE204 0 0 0 : word 1   # cabinet 1\n"
         "reply 0x0604 0 * * : status 0x15 text \"Arvex\\\"\\x41\" hex 0a 0B byte 7 dword "
         "0x01020304\n"
         "\n");
    ReplySpec cabinet = store.Answer(Key(0xE204, 0, 0, 0));
    EXPECT_EQ(cabinet.status, 0u);
    EXPECT_EQ(cabinet.data, std::string("\x01\x00", 2));
    ReplySpec vendor = store.Answer(Key(0x0604, 0, 3, 1));
    EXPECT_EQ(vendor.status, 0x15u);
    EXPECT_EQ(vendor.data, std::string("Arvex\"A\0\x0a\x0b\x07\x04\x03\x02\x01", 15));
}

TEST(Scenario, PrefersDataThenFewerWildcardsThenFileOrder) {
    ScenarioStore store;
    Load(store,
         "reply * * * * : byte 1\n"
         "reply 0x1401 * 5 * : byte 2\n"
         "reply 0x1401 0 5 * : byte 3\n"
         "reply 0x1401 * * * data 00 1F : byte 4\n"
         "reply 0x0C21 * * * : byte 5\n"
         "reply * 5 * * : byte 6\n");
    const std::pair<RequestKey, const char*> cases[] = {
        {Key(0x1401, 0, 5, 1), "\x03"},
        {Key(0x1401, 1, 5, 1), "\x02"},
        {Key(0x1401, 0, 5, 1, std::string("\x00\x1F\x02", 3)), "\x04"},
        {Key(0x1401, 0, 5, 1, std::string("\x00\x1E", 2)), "\x03"},
        {Key(0x0C21, 5, 0, 0), "\x05"},  // equal wildcards: the earlier line
        {Key(0x9999, 0, 0, 0), "\x01"},
    };
    for (const auto& [request, expected] : cases)
        EXPECT_EQ(store.Answer(request).data, expected) << request.op_code;
}

TEST(Scenario, ReportsMistakesWithTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"answer 1 2 3 4 : byte 1", "line 1: a line must start with \"reply\""},
        {"\nreply 1 2 3 : byte 1", "line 2: bad request field \":\""},
        {"reply 1 2 3 4 byte 1", "line 1: missing \":\""},
        {"reply 1 2 3 4 : byte 256", "line 1: value too large for byte"},
        {"reply 1 2 3 4 : text \"open", "line 1: unterminated text"},
        {"reply 1 2 3 4 : frobnicate", "line 1: unknown item \"frobnicate\""},
        {"reply 1 2 3 4 data 0G : byte 1", "line 1: bad data byte \"0G\""},
        {"reply 0x100000000 2 3 4 : byte 1", "line 1: bad request field \"0x100000000\""},
        {"reply 1 2 3 4 : delay 600001", "line 1: delay over 600000 ms"},
        {"reply 1 2 3 4 : status x", "line 1: bad number \"x\" after status"},
    };
    for (const auto& [text, expected] : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(text, &scenario, &error)) << text;
        EXPECT_EQ(error, expected) << text;
    }
}

}  // namespace
