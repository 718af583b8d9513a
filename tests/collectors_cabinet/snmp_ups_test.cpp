// UPS units through SNMP within the whole demo server: the demo walk of the local UPS agents
// served by the real host, read by the collector's SNMP sections, while SWITCH's own APC unit is
// left to them.
#include "cabinet_fixture.h"

namespace cx::test {
namespace {

TEST_F(CabinetTest, DemoServerWithUpsAgents) {
    Start(ReadFile(CX_DEMO_SCENARIO), true);
    StartReplay(ReadFile(CX_DEMO_UPS_WALK),
                std::string(".1.3.6.1.2.1.33") + '\0' + ".1.3.6.1.4.1.7391.2.58");
    agent_->InitCabinets();
    Expect(ReadPlainRows(CX_TEST_DATA "/collectors_cabinet/demo_server.txt"));
}

}  // namespace
}  // namespace cx::test
