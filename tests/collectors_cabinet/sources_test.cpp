// The cabinet collector against cx-switchd --linux reading servers nobody here wrote: OpenIPMI's
// BMC simulator holding an invented server (FRU images, SDRs, sensors) and NUT's upsd with a
// dummy-ups UPS, started once for the test binary. A scan records the controller, its firmware,
// the SDR repository, the fans, the power supplies and the UPS exactly; a fan whose sensor stops
// reading and a UPS variable changed with upsrw are seen at the next scan; an event in the
// controller's log sends the rescan event; a controller that stops answering is a transport
// failure, not a machine without fans.
#include <memory>

#include "cabinet_fixture.h"
#include "peer_servers.h"
#include "scoped_env.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

constexpr char kUpsVariables[] =
    "device.mfr: Arvenmark\ndevice.model: Catalix U1500\nups.mfr: Arvenmark\n"
    "ups.model: Catalix U1500\nups.serial: U1500-0042\nups.firmware: 2.1\n"
    "ups.mfr.date: 05/17/21\nups.status: OL\n";

struct Peers {
    TempDir dir;
    BmcSimulator bmc;
    UpsServer ups;
    std::string missing;
    std::string error;
};
Peers* peers = nullptr;

class SourcesTest : public CabinetTest {
  protected:
    static void SetUpTestSuite() {
        peers = new Peers;
        peers->missing = BmcSimulator::Missing() + UpsServer::Missing();
        if (!peers->missing.empty()) return;
        if (peers->bmc.Start(peers->dir.File("bmc"), InventedServer(), &peers->error))
            peers->ups.Start(peers->dir.File("ups"), "cxups", kUpsVariables, &peers->error);
    }
    static void TearDownTestSuite() {
        delete peers;
        peers = nullptr;
    }
    void SetUp() override {
        CabinetTest::SetUp();
        if (!peers->missing.empty()) GTEST_SKIP() << peers->missing;
        ASSERT_EQ(peers->error, "");
    }

    // cx-switchd on an empty system root, so that the controller and the UPS server are the
    // only sources but procfs.
    void StartLinux(const BmcSimulator& bmc) {
        Start("", false,
              {"--linux", "--sysroot", dir_.File("root"), "--ipmi-lan", bmc.lan(), "--ipmi-user",
               BmcSimulator::kUser, "--ipmi-password-file", bmc.password_file(), "--nut",
               peers->ups.address()});
    }
    // The reply's status and data; "not delivered" when the call itself failed.
    std::string Ask(DWORD op_code, DWORD op_code_ext, DWORD object = 0) {
        CSwitchCommand command;
        command.SetRequest(op_code, op_code_ext, object, 1, CMD_STATUS_REQUEST);
        agent_->SwitchRequest(&command);
        if (agent_->m_SwitchClient.GetLastHResult() != S_OK) return "not delivered";
        const CmdHeader* header = command.GetHeader();
        const char* data = reinterpret_cast<const char*>(command.GetData(0));
        return std::to_string(header->Status) + ":" +
               std::string(data, data ? header->DataLength : 0);
    }
};

TEST_F(SourcesTest, AScanRecordsTheControllerFansPowerSuppliesAndUps) {
    StartLinux(peers->bmc);
    agent_->InitCabinets();
    Expect({
        {"container", "Physical", "2", "Arden R20", "1", "2"},
        {"field", "Arden R20", "SerialNo", "SYS0042"},
        {"field", "Arden R20", "ProdNumber", "Q47120-R20"},
        {"field", "Rack Mount Chassis", "SerialNo", "CH0042"},
        // 999999 is in no table of makers: the board's maker names the controller.
        {"field", "IPMI BMC", "Vendor", "Catalix"},
        {"field", "IPMI BMC", "ProdNumber", "0x1234"},
        {"field", "IPMI BMC", "Version", "IPMI 2.0"},
        {"object", "ManagementController:0", "IPMI BMC"},
        {"field", "BMC Firmware", "Version", "1.42"},
        {"field", "BMC Firmware", "CompType", "161"},
        {"field", "SDR Repository", "Version", "1.5"},
        {"field", "SDR Repository", "ProdDescript", "Sensor Data Records: 7"},
        {"object", "SDRVersion:0", "SDR Repository"},
        {"count", "7", "3"},
        {"field", "FAN2", "CompId", "29.2"},
        {"count", "4", "2"},
        {"field", "PSU 800", "SerialNo", "PSU0041"},
        {"field", "PSU 800", "ProdDescript", "Power Supply 800 W"},
        {"field", "PSU 800", "ProdNumber", "Q47120-P800"},
        {"field", "Catalix U1500", "Vendor", "Arvenmark"},
        {"field", "Catalix U1500", "ManuDate", "2021-05-17 00:00:00"},
        {"field", "Catalix U1500", "SerialNo", "U1500-0042"},
        {"field", "Catalix U1500", "Version", "2.1"},
        {"field", "Arden Board R2", "ProdNumber", "Q47120-B200"},
    });
    EXPECT_EQ(Find("SerialNo", "PSU0042") != 0, true);
}

// The machine in force is read before the changes; the scan reads it again.
TEST_F(SourcesTest, AStoppedFanAndAChangedUpsAreSeenAtTheNextScan) {
    StartLinux(peers->bmc);
    ASSERT_EQ(Ask(0x0C21, 7), "0:\x03");
    peers->bmc.Console(SensorScanning("0x32", false));
    ASSERT_TRUE(peers->ups.Set("ups.serial", "U1500-0043"));
    agent_->InitCabinets();
    peers->bmc.Console(SensorScanning("0x32", true));
    ASSERT_TRUE(peers->ups.Set("ups.serial", "U1500-0042"));
    Expect({{"count", "7", "2"},
            {"row", "FAN2"},
            {"absent", "FAN3"},
            {"field", "Catalix U1500", "SerialNo", "U1500-0043"}});
}

TEST_F(SourcesTest, AnEventOfAFruSensorSendsTheRescanEvent) {
    ScopedEnv fast("CX_TIME_SCALE", "50");  // the log is looked at every 300 ms
    StartLinux(peers->bmc);
    ChildOptions options(ChildOutput::kPipeWithErrors);
    options.environment = {{"CX_REGISTRY", switchd_->registry_path()}};
    ChildProcess watcher({CX_SWITCH_TOOL_PATH, "watch", "--count", "1", "--seconds", "30"},
                         options);
    std::string line;
    ASSERT_TRUE(watcher.ReadLine(&line, 10s));
    // An entry added before the first look only sets where the log stands: add until one is
    // seen. A FRU state sensor (2Ch) event.
    bool seen = false;
    for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
        peers->bmc.Console("sel_add 0x20 0x02 0 0 0 0 0x20 0 0x04 0x2c 0x50 0x6f 0x01 0xff 0xff");
        seen = watcher.ReadLine(&line, 2s) && line.find("OC 0x0C80-0x0000") != std::string::npos;
    }
    EXPECT_TRUE(seen) << line;
}

// The simulator killed after a read: the next scan's requests for what it alone told are
// answered "not delivered" by the server (status 6), so the agent keeps its inventory.
TEST_F(SourcesTest, AControllerThatStopsAnsweringIsATransportFailure) {
    BmcSimulator bmc;
    std::string error;
    ASSERT_TRUE(bmc.Start(dir_.File("bmc"), InventedServer(), &error)) << error;
    StartLinux(bmc);
    EXPECT_EQ(Ask(0xE204, 0), std::string("0:\x01\x00", 4));
    EXPECT_EQ(Ask(0x0C21, 7), "0:\x03");
    bmc.Kill();
    EXPECT_EQ(Ask(0xE204, 0), std::string("0:\x01\x00", 4));  // the scan's read
    for (const auto& [op, ext] :
         {std::pair{0x0C21, 7}, {0x0C00, 0x2C02}, {0x0500, 0}, {0x0C00, 0x2002}, {0x0C21, 5}})
        EXPECT_EQ(Ask(op, ext), "6:") << std::hex << op << " " << ext;
    EXPECT_EQ(Ask(0x0C00, 0x3302), std::string("0:Catalix U1500\0", 16));  // the UPS server's
}

}  // namespace
}  // namespace cx::test
