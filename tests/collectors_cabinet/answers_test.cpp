// The collector's answers from SWITCH, case by case from a data file: the container trees it
// lays for one and for more cabinets, names built from part numbers, clocks, steppings and sizes,
// the UPS units SWITCH should not report, the firmware objects each kind of component gets, and
// answers SWITCH should not give (wrong lengths, busy statuses, missing items, overlong texts, the
// largest counts), each of which falls back to the collector's default while the collector goes on
// to its last step.
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cabinet_fixture.h"
#include "framework/agent_globals.h"
#include "text_rows.h"

namespace cx::test {
namespace {

struct AnswerCase {
    std::string name;
    std::string scenario;
    std::vector<DataRow> expected;
};
void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

std::vector<AnswerCase> ReadCases() {
    std::map<std::string, std::string> scenarios;
    std::vector<AnswerCase> cases;
    for (const DataRow& row : ReadPlainRows(CX_TEST_DATA "/collectors_cabinet/answers.txt")) {
        if (row[0].rfind("== ", 0) == 0) {
            cases.push_back({row[0].substr(3), "", {}});
        } else if (row[0] == "use") {
            cases.back().scenario += scenarios[row[1]];
        } else if (row[0].rfind("reply ", 0) == 0) {
            cases.back().scenario += row[0] + "\n";
        } else {
            cases.back().expected.push_back(row);
        }
        scenarios[cases.back().name] = cases.back().scenario;
    }
    std::erase_if(cases, [](const AnswerCase& c) { return c.name[0] == '@'; });
    return cases;
}

class AnswersTest : public CabinetTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswersTest, ActualFile) {
    const std::vector<DataRow>& expected = GetParam().expected;
    for (const DataRow& e : expected) {
        if (e[0] == "cabinet") agent_->ServerCabinetNr = std::stoul(e[1]);
        if (e[0] == "no-computer-name") DeleteRegValue(kComputerName, "ComputerName");
    }
    Start(GetParam().scenario);
    agent_->InitCabinets();
    Expect(expected);
    EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AnswersTest, ::testing::ValuesIn(ReadCases()),
                         [](const auto& info) { return info.param.name; });

// A stop asked for while the collector waits for SWITCH: the collector gives up at its next
// check, traces why, and inserts nothing more.
// Two populated sockets and a memory module; the socket count is answered late.
const std::string kSlowProcessors =
    "reply 0x0600 0 0 1 : delay 1500 byte 2\nreply 0x0601 0 * 1 : byte 1\n"
    "reply 0x0605 0 * 1 : text \"Cx64\"\nreply 0x0700 0 0 1 : byte 1\n"
    "reply 0x0701 0 0 1 : byte 1\nreply 0x0702 0 0 1 : text \"DIMM\"\n";

// AgentShutdown, else the agent's m_bAbortRequest.
class AbortTest : public CabinetTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AbortTest, StopsAtTheNextCheck) {
    Start(kOneCabinet + kSlowProcessors);
    std::thread collector([this] { agent_->InitCabinets(); });
    // The request goes out (and is traced) before its late answer arrives.
    const bool asked = WaitUntil([this] { return TraceCount("OC 0x0600-0x0000") > 0; });
    (GetParam() ? AgentShutdown : agent_->m_bAbortRequest) = 1;
    collector.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(TraceCount(GetParam() ? "\nCX_MIB InitCabinets : ABORTED (AgentShutdown)"
                                    : "\nCX_MIB InitCabinets : ABORTED (m_bAbortRequest)"),
              1u);
    EXPECT_EQ(Count("CompType", "10"), 0u);
    EXPECT_EQ(Row("DIMM"), 0u);
    EXPECT_EQ(TraceCount("Number of MemoryModules"), 0u);
    // What came before the stop is kept.
    EXPECT_NE(Row("Arden T40 Chassis"), 0u);
    agent_->m_bAbortRequest = 0;
}

INSTANTIATE_TEST_SUITE_P(Stops, AbortTest, ::testing::Bool());

}  // namespace
}  // namespace cx::test
