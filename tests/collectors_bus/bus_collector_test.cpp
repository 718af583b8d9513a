// InitBus against a bus table served by REPLAY_MIB and PCI headers answered by cx-switchd: every
// device class as the inventory file shows it, the controllers handed to the storage
// collectors, tables that end early or hold rows of the wrong shape, and stops on the way.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bus_table.h"
#include "collector_fixture.h"
#include "fake_agent.h"
#include "framework/agent_globals.h"
#include "registry_values.h"
#include "text_rows.h"

namespace cx::test {
namespace {

constexpr const char* kTableFile =
    "[Functional Tree]\r\nSubsystemContainer=3\r\nBaseBoard=4\r\nGraphicSystem=5\r\n"
    "LANSystem=6\r\nSCSISystem=7\r\n";
constexpr const char* kResources = ".1.3.6.1.4.1.7391.2.10.2.2.4.";

class BusTest : public CollectorTest {
  protected:
    // What the cabinet collector leaves behind: the two containers the rows hang in, and the
    // service board and management controller as components 1 and 2.
    void SetUp() override {
        CollectorTest::SetUp();
        WriteTableFile(kTableFile);
        agent_->InsertFunctionalContainer("SubsystemContainer", 0, nullptr, -1);
        agent_->InsertFunctionalContainer("BaseBoard", 1, nullptr, -1);
        agent_->SubsystemContainerNr = 1;
        agent_->BaseBoardContainerNr = 2;
        for (const char* name : {"Service Board", "Management Controller"}) {
            ComponentEntry entry;
            CopyEntryText(entry.ProdName, name);
            agent_->InsertComponent(&entry);
        }
        agent_->RsbCompNr = 1;
        agent_->MgmtCompNr = 2;
        agent_->ServerCabinetNr = 1;
    }
    void Start(const std::string& walk, const std::string& scenario) {
        StartSwitch(scenario, true);
        StartReplay(walk, kServerManagementRegion);
    }
    std::string Container(unsigned row) const {
        return ContainerName(std::stoul(Field(row, "FuncCont")));
    }
    unsigned Containers(const std::string& name) const {
        unsigned count = 0;
        for (unsigned row = 1; row <= agent_->NrFuncContainers; ++row)
            count += ContainerName(row) == name;
        return count;
    }
    // A table that ends early: the walk ends, the sessions close, and what was read stays.
    void ExpectShortTableEnds(const std::string& walk, unsigned recorded, const char* trace) {
        Start(walk, "");
        agent_->InitBus();
        EXPECT_EQ(agent_->NrComponents, 2 + recorded) << TraceText();
        EXPECT_EQ(TraceCount(trace), 1u);
        EXPECT_EQ(TraceCount("\nCX_MIB InitBus      :--> SNMP DISCONNECT"), 1u);
        EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
    }
    std::size_t ConfigReads() const {
        std::size_t count = 0;
        for (const std::string& line : switchd_->JournalLines())
            count += line.find("opcode=0x1401") != std::string::npos;
        return count;
    }
};

// A server's functions and what the inventory records for each (empty: nothing), from the data
// file; the texts stay with the rows read.
struct ServerFunction {
    BusDevice device;
    DataRow recorded;
};
const std::vector<ServerFunction>& Server() {
    static const std::vector<DataRow> rows =
        ReadPlainRows(CX_TEST_DATA "/collectors_bus/server.rows");
    static std::vector<ServerFunction> server;
    for (std::size_t i = server.size(); i < rows.size(); ++i) {
        const DataRow& r = rows[i];
        PciIds pci;
        unsigned v[5] = {};
        if (std::sscanf(r[8].c_str(), "%x %x %x %x %x", &v[0], &v[1], &v[2], &v[3], &v[4]) == 5)
            pci = {int(v[0]), int(v[1]), 0xCA71, int(v[2]), int(v[3]), int(v[4])};
        server.push_back(
            {{std::stoi(r[0]), std::stoi(r[1]), std::stoi(r[2]), std::stoi(r[3]), std::stoi(r[4]),
              r[5].c_str(), r[6].c_str(), r[7].c_str(), pci, r[9].empty() ? nullptr : r[9].c_str()},
             DataRow(r.begin() + 10, r.end())});
    }
    return server;
}
std::vector<BusDevice> Devices() {
    std::vector<BusDevice> devices;
    for (const ServerFunction& f : Server())
        devices.push_back(f.device);
    return devices;
}

// The I/O, memory and interrupt tables: the SCSI controller has two I/O ranges, the controller
// on the unknown bus one.
const std::string kServerResources = std::string(kResources) + "3.1.1.12.3.0.1 = INTEGER: 16\n" +
                                     kResources + "4.1.1.7.5.3.0.1.1 = INTEGER: 2124349440\n" +
                                     kResources + "4.4.1.6.5.3.0.1.1 = INTEGER: 57344\n" +
                                     kResources + "4.4.1.6.5.3.0.1.2 = INTEGER: 57600\n" +
                                     kResources + "4.4.1.6.7.1.5.1.1 = INTEGER: 368\n";

TEST_F(BusTest, EveryDeviceClass) {
    Start(BusTableWalk(Devices()) + kServerResources, PciHeaderLines(Devices()));
    agent_->InitBus();
    unsigned recorded = 0;
    for (const auto& [device, r] : Server()) {
        if (r.empty()) continue;
        SCOPED_TRACE(r[0]);
        ++recorded;
        const unsigned row = Row(r[0]);
        ASSERT_NE(row, 0u);
        EXPECT_EQ((DataRow{r[0], Field(row, "CompType"), Field(row, "ProdDescript"), Container(row),
                           Field(row, "Version"), r[5] == "*" ? "*" : Field(row, "CompId"),
                           Field(row, "SerialNo")}),
                  r);
    }
    EXPECT_EQ(agent_->NrComponents, 2 + recorded) << TraceText();
    EXPECT_EQ(Field(Row("Arvenmark E4 Bridge"), "Vendor"), "unknown");
    EXPECT_EQ(Containers("LANSystem"), 2u);
    EXPECT_EQ(Containers("SCSISystem"), 5u);
    EXPECT_EQ(ConfigReads(), 15u);

    // Firmware objects name the table's own numbers and belong to the row, or to the boards the
    // cabinet collector found.
    EXPECT_EQ(Actual("Firmware Update", "NrUpdObjects"), "6");
    for (const auto& [object, owner] :
         {std::pair{"LanController:PCI2.0.1", Row("Catalix N2 Adapter")},
          {"ScsiController:PCI3.0.1", Row("Catalix S4 Controller")},
          {"ScsiController:PCI4.0.1", Row("Arvenmark F8 Adapter")},
          {"ScsiController:PCI6.0.1", Row("Dacora P2 Processor")},
          {"RemoteServiceBoard:PCI5.0.1", 1u},
          {"ManagementController:PCI5.1.1", 2u}})
        EXPECT_EQ(ObjectComponent(object), owner) << object;

    // The controllers the storage collectors start from, in the table's order.
    ASSERT_EQ(agent_->ScsiCtrlList.Count(), 5);
    const ScsiCtrl& scsi = *agent_->ScsiCtrlList.GetAt(0);
    EXPECT_EQ(scsi.IoPort, 0xE000u);
    EXPECT_EQ(scsi.MemAddr, 0x7E9F0000u);
    EXPECT_EQ(scsi.Irq, 16u);
    EXPECT_EQ(scsi.VendorId, 0xCA71);
    EXPECT_EQ(scsi.SubSystemId, 3);
    EXPECT_EQ(scsi.CabinetNo, 1u);
    EXPECT_EQ(scsi.FuncCont, std::stoul(Field(Row("Catalix S4 Controller"), "FuncCont")));
    EXPECT_STREQ(scsi.CtrlName, "Catalix S4 Controller");
    const ScsiCtrl& raid = *agent_->ScsiCtrlList.GetAt(4);
    EXPECT_EQ(raid.BusType, 7u);
    EXPECT_EQ(raid.IoPort, 0x170u);
    EXPECT_EQ(raid.MemAddr + raid.Irq, 0u);

    for (const char* line :
         {"\nCX_MIB InitBus      : Emulex Fibre Channel",
          "\nCX_MIB              : GetCtrlInfo  : Disk Controller",
          "\nCX_MIB GetCtrlInfo  : Processor Device", "\n   cannot read PCI-Config",
          "\nCX_MIB DiskCtrlInfo : IO/Mem/Int E000 7E9F0000 10",
          "\nCX_MIB DiskCtrlInfo : IO/Mem/Int 0170 00000000 00",
          "\n   *removing [n]: [2] Dual Port Adapter ",
          "\nCX_MIB InitBus      : End of BUS_MIB entries",
          "\nCX_MIB InitBus      :--> SNMP DISCONNECT"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    EXPECT_EQ(TraceCount(" (MULTIFUNCTION)"), 2u);
    EXPECT_EQ(TraceCount("ABORTED"), 0u);
}

// Tables that end at once, or hold text where numbers belong and the reverse with columns
// missing (the row is recorded with what it has, then the walk runs past the agent's last
// object into the host's own SNMPv3 objects): the walk ends, the sessions close, and what was
// read stays recorded.
TEST_F(BusTest, NoRows) {
    ExpectShortTableEnds(std::string(kBusEntry) + ".10.5.1.0.1 = \"\"\n", 0,
                         "\nCX_MIB InitBus      : End of BUS_MIB entries");
}
TEST_F(BusTest, WrongTypesAndMissingColumns) {
    const std::string row = std::string(kBusEntry) + ".";
    ExpectShortTableEnds(row + "1.5.1.0.1 = STRING: \"5\"\n" + row + "2.5.1.0.1 = INTEGER: 1\n" +
                             row + "5.5.1.0.1 = STRING: \"6\"\n" + row +
                             "6.5.1.0.1 = INTEGER: 6\n" + row +
                             "7.5.1.0.1 = STRING: \"Catalix X\"\n"
                             ".1.3.6.1.4.1.7391.2.10.2.2.9.1.0 = INTEGER: 1\n",
                         1, "\nCX_MIB InitBus      : End of BUS_MIB entries");
}

// A stop asked for before the collector waits for the table: nothing is asked at all.
TEST_F(BusTest, AbortBeforeTheWalk) {
    agent_->m_bAbortRequest = 1;
    agent_->InitBus();
    EXPECT_EQ(agent_->NrComponents, 2u);
    for (const char* line : {"\nCX_MIB InitBus      : BUS_MIB NOT AVAILABLE !!!",
                             "\nCX_MIB InitBus      : ABORTED (m_bAbortRequest)"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    EXPECT_EQ(TraceCount("SNMP CONNECTED"), 0u);
}

// Shutdown while SWITCH reads the second header: that row is still recorded (without its
// identification), no further row is read, and the sessions close.
TEST_F(BusTest, ShutdownDuringTheWalk) {
    const std::vector<BusDevice> devices = {Server()[2].device, Server()[6].device,
                                            Server()[8].device};
    std::string scenario = PciHeaderLines(devices);
    scenario.insert(scenario.find("data 01 00 00 :") + 15, " delay 60000");
    Start(BusTableWalk(devices), scenario);
    std::atomic<bool> asked{false};
    std::thread stopper([&] {
        asked = WaitUntil([&] { return ConfigReads() == 2; }, std::chrono::seconds(30));
        AgentShutdown = 1;
        agent_->m_SwitchClient.CancelRequest(0);
    });
    agent_->InitBus();
    stopper.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(agent_->NrComponents, 4u);
    EXPECT_EQ(Field(4, "CompId"), "PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00");
    EXPECT_EQ(ConfigReads(), 2u);
    for (const char* line : {"\nCX_MIB InitBus      : ABORTED (AgentShutdown)",
                             "\nCX_MIB InitBus      :--> SNMP DISCONNECT"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
}

// An agent that answers every step of the walk with the row it was asked from would have the
// collector record that row for ever: the walk ends after it.
TEST_F(BusTest, RowThatDoesNotAdvanceEndsTheWalk) {
    FakeAgent agent;
    agent.SetHandler([](const SnmpRequest& request) {
        std::vector<AnswerBinding> bindings;
        for (const BerOid& name : request.names) {
            // ...4.1.4.1.C.2.1.0.1: column C (1 for the table's root) of ISA row 1.0.1.
            BerOid row(name.begin(), name.begin() + std::min<std::size_t>(name.size(), 15));
            const std::uint32_t column = name.size() > 15 ? name[15] : 1;
            row.insert(row.end(), {column, 2, 1, 0, 1});
            bindings.push_back({row, column >= 6 && column <= 8
                                         ? BerOctets(0x04, "Catalix X")
                                         : BerInteger(0x02, column == 1 ? 2 : 1)});
        }
        return std::vector<std::string>{EncodeResponse(request, 0, 0, bindings)};
    });
    ManagerPort(agent.Port());
    agent_->InitBus();
    EXPECT_EQ(agent_->NrComponents, 3u);
    EXPECT_EQ(Field(3, "ProdDescript"), "Catalix X (ISA)");
    EXPECT_EQ(TraceCount("\nCX_MIB InitBus          : !!! REQUEST BUS MIB FAILED"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB InitBus      :--> SNMP DISCONNECT"), 1u);
}

}  // namespace
}  // namespace cx::test
