// UPS units through SNMP within the whole demo server: the demo walk of the local UPS agents
// served by the real host, read by the collector's SNMP sections, while SWITCH's own APC unit is
// left to them.
#include <signal.h>

#include <string>

#include "cabinet_fixture.h"
#include "child_process.h"
#include "host_start.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kReplayParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";

class SnmpUpsTest : public CabinetTest {
  protected:
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
        }
        CabinetTest::TearDown();
    }

    // extagentd on a port of its own with REPLAY_MIB serving the demo's UPS walk; the agent's
    // manager sessions find it through the same registry.
    bool StartHost() {
        const int port = FreeUdpPort();
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
        SetRegString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Test\\Replay");
        SetRegMultiString(kReplayParameters, "WalkFiles", CX_DEMO_UPS_WALK);
        SetRegMultiString(kReplayParameters, "Regions",
                          std::string(".1.3.6.1.2.1.33") + '\0' + ".1.3.6.1.4.1.318");
        return StartHostServing(host_, CX_EXTAGENTD_PATH, dir_, "REPLAY_MIB");
    }

    std::unique_ptr<ChildProcess> host_;
};

TEST_F(SnmpUpsTest, DemoServer) {
    Start(ReadFile(CX_DEMO_SCENARIO), true);
    ASSERT_TRUE(StartHost()) << ReadFile(dir_.File("host.err"));
    RunCollector();
    const struct {
        const char* name;
        const char* field;
        const char* value;
    } rows[] = {
        {"Arden T40 Tower", "PhysCont", "2"},
        {"Arden SX40 Chassis", "FuncCont", "3"},
        {"Velm T4 Q Service Board", "CompType", "27"},
        {"Vex 200 Service Processor", "PhysCont", "3"},
        {"Vimo 2", "ProdDescript", "Management Controller"},
        {"Ostra Sensor Hub", "ProdDescript", "Management Controller"},
        {"K0815", "ProdNumber", "Q47120-K0815-A10"},
        {"D2440-A11", "ProdNumber", "Q47120-D2440-A11"},
        {"BIOS", "ManuDate", "2008-10-16 00:00:00"},
        {"Cx64 2800 MHz", "Version", "Step 7"},
        {"Memory Riser MR-8", "CompType", "23"},
        {"DDR2 FB-DIMM 2 GB", "Version", "A2"},
        {"DDR2-667 FB-DIMM 2048 MByte", "ProdDescript", "Memory Module 2048 MByte"},
        {"DDR2-533 DIMM", "ProdDescript", "unknown size"},
        // The standard UPS MIB has no vendor or version here.
        {"Ivora UPS 1000", "Vendor", "unknown"},
        {"Ivora UPS 1000", "Version", "N/A"},
        {"Ivora UPS 1000", "ProdDescript", "Catalix T40, rack 2"},
        {"Ivora UPS 1000", "CompType", "19"},
        {"Ivora UPS 1000", "PhysCont", "2"},
        {"Ivora 1500 RM", "Vendor", "APC"},
        {"Ivora 1500 RM", "ManuDate", "2007-03-14 00:00:00"},
        {"Ivora 1500 RM", "SerialNo", "AS0711123456"},
        {"Ivora 1500 RM", "ProdDescript", "Uninterruptible Power Supply"},
        {"Ivora 1500 RM", "PhysCont", "2"},
        {"Ivora 3000 RM", "ManuDate", "2006-11-02 00:00:00"},
        {"Ivora 3000 RM", "Version", "690.19.I"},
    };
    for (const auto& r : rows) {
        const unsigned row = Row(r.name);
        ASSERT_NE(row, 0u) << r.name;
        EXPECT_EQ(Field(row, r.field), r.value) << r.name << " " << r.field;
    }
    EXPECT_EQ(agent_->MgmtCompNr, Row("Vimo 2"));
    EXPECT_EQ(agent_->RsbCompNr, Row("Velm T4 Q Service Board"));
    EXPECT_EQ(CountOfType(10), 2u);
    EXPECT_EQ(CountOfType(4), 4u);
    EXPECT_EQ(Row("APC Ivora 1500 RM"), 0u);
    for (const char* object :
         {"RemoteServiceBoard:IP192.168.1.10", "RemoteServiceBoard:CABINET2.IP192.168.1.11",
          "ManagementController:0", "ManagementController:2", "ManagementController:3",
          "Microcontroller:0", "SDRVersion:0", "BaseBoard", "BaseBoard:1"}) {
        EXPECT_NE(ObjectComponent(object), 0u) << object;
    }
    for (const char* object : {"ManagementController:1", "ManagementController:4"})
        EXPECT_EQ(ObjectComponent(object), 0u) << object;
}

}  // namespace
}  // namespace cx::test
