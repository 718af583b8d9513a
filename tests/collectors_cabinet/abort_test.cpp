// A stop asked for while the collector waits for SWITCH: the collector gives up at its next
// check, traces why, and inserts nothing more.
#include <string>
#include <thread>

#include "cabinet_fixture.h"
#include "child_process.h"
#include "framework/agent_globals.h"

namespace cx::test {
namespace {

struct AbortCase {
    const char* name;
    bool shutdown;  // AgentShutdown, else the agent's m_bAbortRequest
    const char* trace;
};

void PrintTo(const AbortCase& c, std::ostream* out) { *out << c.name; }

const AbortCase kAbortCases[] = {
    {"AgentShutdown", true, "\nCX_MIB InitCabinets : ABORTED (AgentShutdown)"},
    {"AbortRequest", false, "\nCX_MIB InitCabinets : ABORTED (m_bAbortRequest)"},
};

// Two populated sockets and a memory module; the socket count is answered late.
const std::string kSlowProcessors =
    "reply 0x0600 0 0 1 : delay 1500 byte 2\nreply 0x0601 0 * 1 : byte 1\n"
    "reply 0x0605 0 * 1 : text \"Cx64\"\nreply 0x0700 0 0 1 : byte 1\n"
    "reply 0x0701 0 0 1 : byte 1\nreply 0x0702 0 0 1 : text \"DIMM\"\n";

class AbortTest : public CabinetTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, StopsAtTheNextCheck) {
    const AbortCase& c = GetParam();
    Start(kOneCabinet + kSlowProcessors);
    std::thread collector([this] { RunCollector(); });
    // The request goes out (and is traced) before its late answer arrives.
    const bool asked = WaitUntil([this] { return TraceCount("OC 0x0600-0x0000") > 0; });
    if (c.shutdown) {
        AgentShutdown = 1;
    } else {
        agent_->m_bAbortRequest = 1;
    }
    collector.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(TraceCount(c.trace), 1u);
    EXPECT_EQ(CountOfType(10), 0u);
    EXPECT_EQ(Row("DIMM"), 0u);
    EXPECT_EQ(TraceCount("Number of MemoryModules"), 0u);
    // What came before the stop is kept.
    EXPECT_NE(Row("Arden T40 Chassis"), 0u);
    agent_->m_bAbortRequest = 0;
}

INSTANTIATE_TEST_SUITE_P(Stops, AbortTest, ::testing::ValuesIn(kAbortCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cx::test
