// Traps through SnmpExtensionTrap: nothing to send, a pending trap the agent cannot resolve,
// and queued traps oldest first.
#include "agent_fixture.h"

namespace cx::test {
namespace {

// In one agent's life: nothing pending, then a pending trap it cannot resolve, then its queue.
TEST_F(AgentTest, OnlyResolvedOrQueuedTrapsAreSentOldestFirst) {
    StartSwitch();
    LoadAndInit();
    EXPECT_TRUE(service_.PollTraps().empty());  // the event was never set
    EXPECT_FALSE(service_.CallTrap(nullptr));
    EXPECT_EQ(TraceCount("SnmpTrap(): SNMP trap exit (TrapToSend=FALSE)"), 1u);

    service_.Symbol<FwTestPendingTrapFn>("FwTestRaisePendingTrap")(3);
    EXPECT_TRUE(service_.PollTraps().empty());
    EXPECT_EQ(TraceCount("## ERROR in CSnmpAgent::ResolveTrap(): function not overloaded! Trap "
                         "request ignored!!"),
              1u);
    // The pending flag is cleared: the next call has nothing to resolve.
    EXPECT_FALSE(service_.CallTrap(nullptr));
    EXPECT_EQ(TraceCount("function not overloaded"), 1u);

    auto queue = service_.Symbol<FwTestQueueTrapFn>("FwTestQueueTrap");
    for (AsnInteger32 specific : {21, 22, 23})
        ASSERT_TRUE(queue(specific));
    std::vector<Trap> traps = service_.PollTraps();
    ASSERT_EQ(traps.size(), 3u);
    for (std::size_t i = 0; i < traps.size(); ++i) {
        EXPECT_EQ(traps[i].specific_trap, static_cast<AsnInteger32>(21 + i));
        EXPECT_EQ(traps[i].generic_trap, 6);
        EXPECT_EQ(traps[i].enterprise, kTestRoot);
    }
    EXPECT_FALSE(service_.CallTrap(nullptr));
}

}  // namespace
}  // namespace cx::test
