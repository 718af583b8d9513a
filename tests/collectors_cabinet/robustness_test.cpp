// Answers SWITCH should not give: wrong lengths, busy statuses, missing items, overlong texts,
// the largest counts. Each one falls back to the collector's default and the collector goes on
// to its last step.
#include <string>
#include <vector>

#include "cabinet_fixture.h"

namespace cx::test {
namespace {

struct RobustCase {
    const char* name;
    std::string scenario;  // the whole scenario; kOneCabinet is not added
    DWORD server_cabinet_before;
    DWORD server_cabinet_after;
    std::vector<std::pair<std::string, std::string>> names = {};  // ProdName, ProdDescript
    std::vector<std::pair<unsigned, unsigned>> type_counts = {};
    std::vector<const char*> objects = {};
};

void PrintTo(const RobustCase& c, std::ostream* out) { *out << c.name; }

const std::string kLong(200, 'L');
const std::string kProcessor(200, 'P');
// The BIOS is the step before the processors: its row shows the collector went on.
const std::string kBios = TextLine(0x3605, 0, 1, "1.04");

const RobustCase kRobustCases[] = {
    {"ServerCabinetOfThreeBytesKeepsTheOldNumber",
     "reply 0xE204 0 0 0 : hex 09 00 00\n" + TextLine(0x2002, 0, 1, "Tower") + kBios,
     1,
     1,
     {{"Tower", ""}, {"BIOS", ""}}},
    {"BusyServerCabinetKeepsTheOldNumber",
     "reply 0xE204 0 0 0 : status 0x0F word 9\n" + TextLine(0x2002, 0, 1, "Tower") + kBios,
     1,
     1,
     {{"Tower", ""}}},
    {"CabinetListOfOddLength",
     "reply 0xE204 0 0 0 : word 1\nreply 0x0220 0 0 1 : hex 02 00 03\n" +
         TextLine(0x2002, 0, 2, "Storage 2") + kBios,
     0,
     1,
     {{"Storage 2", ""}, {"unknown", ""}}},
    {"MissingCabinetAndChassisNames",
     "reply 0xE204 0 0 0 : word 1\n" + TextLine(0x2001, 0, 1, "Catalix") +
         TextLine(0x2101, 0, 1, "Catalix") + kBios,
     0,
     1,
     {{"BIOS", ""}},
     {{1, 1}, {2, 1}}},
    {"BusyAndWrongLengthCounts",
     "reply 0xE204 0 0 0 : word 1\nreply 0x0600 0 0 1 : status 0x0F byte 2\n"
     "reply 0x0700 0 0 1 : word 4\nreply 0x0500 0 0 1 : word 2\n"
     "reply 0x0601 0 * 1 : byte 1\nreply 0x0701 0 * 1 : byte 1\nreply 0x0501 0 * 1 : byte 1\n"
     "reply 0x0605 0 * 1 : text \"Cx64\"\nreply 0x0702 0 * 1 : text \"DIMM\"\n" +
         TextLine(0x2302, 0, 1, "PSU") + kBios,
     0,
     1,
     {{"BIOS", ""}},
     {{10, 0}, {22, 0}, {4, 0}}},
    {"BusyComponentCountAsksForOne",
     "reply 0xE204 0 0 0 : word 1\nreply 0x0C21 6 0 1 : status 0x0F byte 3\n" +
         TextLine(0x2602, 0, 1, "EC 0") + TextLine(0x2602, 1, 1, "EC 1"),
     0,
     1,
     {{"EC 0", ""}},
     {{6, 1}}},
    {"TextsOf200BytesAreCut",
     "reply 0xE204 0 0 0 : word 1\n" + TextLine(0x2002, 0, 1, kLong) +
         "reply 0x0600 0 0 1 : byte 1\nreply 0x0601 0 0 1 : byte 1\n"
         "reply 0x0605 0 0 1 : text \"" +
         kProcessor + "\"\nreply 0x0603 0 0 1 : word 0 word 2800 byte 0 byte 7\n" +
         "reply 0x0700 0 0 1 : byte 1\nreply 0x0701 0 0 1 : byte 1\n"
         "reply 0x0702 0 0 1 : text \"M" +
         kLong + "\"\nreply 0x0703 0 0 1 : dword 0 dword 512\n",
     0,
     1,
     {{kProcessor.substr(0, 127), "CPU 2800 MHz"},
      {"M" + kLong.substr(0, 126), "Memory Module 512 MByte"}}},
    {"ShortModuleAndAddressAnswers",
     "reply 0xE204 0 0 0 : word 1\n" + TextLine(0x2402, 0, 1, "Velm T4 Q Board") +
         "reply 0xE001 0x14B0 0 1 : hex C0 A8 01\n"
         "reply 0x0700 0 0 1 : byte 1\nreply 0x0701 0 0 1 : byte 1\n"
         "reply 0x0702 0 0 1 : text \"DIMM\"\nreply 0x0703 0 0 1 : dword 512\n",
     0,
     1,
     {{"DIMM", ""}},
     {},
     {"RemoteServiceBoard:IP0.0.0.0"}},
    {"CountsOf255",
     "reply 0xE204 0 0 0 : word 1\nreply 0x0C21 7 0 1 : byte 255\n"
     "reply 0x0600 0 0 1 : byte 255\nreply 0x0601 0 * 1 : byte 1\n"
     "reply 0x0605 0 * 1 : text \"Cx64\"\nreply 0x0603 0 * 1 : word 0 word 2000 byte 0 byte 1\n"
     "reply 0x0700 0 0 1 : byte 255\nreply 0x0701 0 * 1 : byte 0\n"
     "reply 0x0500 0 0 1 : byte 255\nreply 0x0501 0 * 1 : byte 0\n"
     "reply 0xE001 0x0100 0 1 : byte 255\n" +
         TextLine(0x2C02, 254, 1, "Fan 254") + kBios,
     0,
     1,
     {{"Cx64 2000 MHz", "CPU 2000 MHz"}, {"Fan 254", ""}, {"BIOS", ""}},
     {{10, 255}, {7, 1}, {22, 0}, {4, 0}}},
};

class RobustnessTest : public CabinetTest, public ::testing::WithParamInterface<RobustCase> {};

TEST_P(RobustnessTest, FallsBackAndGoesOn) {
    const RobustCase& c = GetParam();
    agent_->ServerCabinetNr = c.server_cabinet_before;
    Start(c.scenario);
    RunCollector();
    EXPECT_EQ(agent_->ServerCabinetNr, c.server_cabinet_after);
    for (const auto& [name, description] : c.names) {
        const unsigned row = Row(name);
        ASSERT_NE(row, 0u) << name;
        if (!description.empty()) {
            EXPECT_EQ(Field(row, "ProdDescript"), description) << name;
        }
    }
    for (const auto& [type, count] : c.type_counts)
        EXPECT_EQ(CountOfType(type), count) << "type " << type;
    for (const char* object : c.objects)
        EXPECT_NE(ObjectComponent(object), 0u) << object;
    EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, RobustnessTest, ::testing::ValuesIn(kRobustCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cx::test
