// InitBus against a bus table served by REPLAY_MIB and PCI headers answered by cx-switchd: every
// device class as the inventory file shows it, the controllers handed to the storage
// collectors, tables that end early or hold rows of the wrong shape, and stops on the way.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bus_table.h"
#include "fake_agent.h"
#include "framework/agent_globals.h"
#include "host_start.h"
#include "inventory_fixture.h"
#include "platform/objbase.h"
#include "platform/profile.h"
#include "registry_values.h"
#include "switchd_process.h"

namespace cx::test {
namespace {

constexpr const char* kTableFile =
    "[Functional Tree]\r\nSubsystemContainer=3\r\nBaseBoard=4\r\nGraphicSystem=5\r\n"
    "LANSystem=6\r\nSCSISystem=7\r\n";
constexpr const char* kResources = ".1.3.6.1.4.1.7391.2.10.2.2.4.";

class BusTest : public InventoryTest {
  protected:
    // What the cabinet collector leaves behind: the two containers the rows hang in, and the
    // service board and management controller as components 1 and 2.
    void SetUp() override {
        InventoryTest::SetUp();
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
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
        }
        if (switchd_ != nullptr) agent_->m_SwitchClient.Detach();
        InventoryTest::TearDown();
        switchd_.reset();
        if (com_) CoUninitialize();
    }

    void Start(const std::string& walk, const std::string& scenario) {
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(scenario));
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        com_ = init == S_OK || init == S_FALSE;
        ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
        agent_->m_SwitchClient.EnableCancelRequest(TRUE);
        WriteDataFile("bus.walk", walk);
        ASSERT_TRUE(StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                    DataPath("bus.walk"), kServerManagementRegion))
            << ReadFile(DataPath("host.err"));
    }
    void Start(const std::vector<BusDevice>& devices, const std::string& resources = "") {
        Start(BusTableWalk(devices) + resources, PciHeaderLines(devices));
    }

    std::string Actual(const std::string& section, const std::string& key) const {
        const std::string path = DataPath("Catalix.act");
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        char value[256] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof(value),
                                 path.c_str());
        return value;
    }
    std::string Field(unsigned row, const char* field) const {
        return Actual("Component Table", std::string(field) + "." + std::to_string(row));
    }
    unsigned Row(const std::string& name) const {
        for (unsigned row = 1; row <= agent_->NrComponents; ++row)
            if (Field(row, "ProdName") == name) return row;
        return 0;
    }
    std::string Container(unsigned row) const {
        return Actual("Functional Container", "Name." + Field(row, "FuncCont"));
    }
    unsigned Containers(const std::string& name) const {
        unsigned count = 0;
        for (unsigned row = 1; row <= agent_->NrFuncContainers; ++row)
            count += Actual("Functional Container", "Name." + std::to_string(row)) == name;
        return count;
    }
    std::string ObjectComponent(const std::string& name) const {
        for (unsigned row = 1; row <= 32; ++row) {
            const std::string n = std::to_string(row);
            if (Actual("Firmware Update", "ObjectName." + n) == name)
                return Actual("Firmware Update", "CompIndex." + n);
        }
        return "none";
    }
    std::size_t ConfigReads() const {
        std::size_t count = 0;
        for (const std::string& line : switchd_->JournalLines())
            count += line.find("opcode=0x1401") != std::string::npos;
        return count;
    }

    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    bool com_ = false;
};

constexpr PciIds Ids(int vendor, int device, int sub_system, int revision = 1, int type = 0) {
    return {vendor, device, 0xCA71, sub_system, revision, type};
}

// In the table's order: ISA, EISA, PCI, then a bus type the collector does not know.
const std::vector<BusDevice> kServer = {
    {2, 1, 3, 1, 11, "Multimedia audio", "Catalix A1 Sound", "Catalix"},
    {3, 1, 4, 1, 20, "Other", "Arvenmark E4 Bridge", ""},
    {5, 1, 0, 1, 0, "Host bridge", "Catalix H1 Host Bridge", "Catalix", Ids(0xCA71, 0x100, 1, 3)},
    {5, 1, 2, 1, 7, "VGA compatible controller", "Catalix G2 Graphics", "Catalix"},
    {5, 1, 31, 1, 0, "SMBus", "System Management Bus", "Catalix", Ids(0xCA71, 0x101, 1)},
    {5, 1, 31, 2, 3, "Floppy", "Floppy disk controller", "Catalix", Ids(0xCA71, 0x102, 1)},
    {5, 2, 0, 1, 6, "Ethernet controller", "Catalix N2 Adapter", "Catalix",
     Ids(0xCA71, 0x200, 2, 1, 0x80), "Hex-STRING: 00 0E 0C 3A 5B 7F"},
    {5, 2, 0, 2, 6, "Ethernet controller", "[2] Dual Port Adapter", "Catalix",
     Ids(0xCA71, 0x200, 2, 1, 0x80), "\"\""},
    {5, 3, 0, 1, 1, "SCSI controller", "Catalix S4 Controller", "Catalix",
     Ids(0xCA71, 0x300, 3, 2)},
    {5, 3, 1, 1, 2, "IDE interface", "Catalix D1 Channel", "Catalix", Ids(0xCA71, 0x301, 3, 0)},
    {5, 4, 0, 1, 5, "Fibre Channel", "Arvenmark F8 Adapter", "Arvenmark", Ids(0x10DF, 0xF980, 4)},
    {5, 4, 1, 1, 8, "Fibre Channel", "[3 Arvenmark F2", "Arvenmark", Ids(0xCA71, 0xF980, 4)},
    {5, 5, 0, 1, 12, "Peripheral", "Catalix R3 Board", "Catalix", Ids(0x1734, 0x1036, 0x103A)},
    {5, 5, 1, 1, 12, "Peripheral", "Catalix M3 Controller", "Catalix", Ids(0x1734, 0x1036, 0x1040)},
    {5, 5, 2, 1, 13, "Serial controller", "Catalix C1 Serial", "Catalix", Ids(0xCA71, 0x500, 5)},
    {5, 6, 0, 1, 14, "Co-processor", "Dacora P2 Processor", "Catalix", Ids(0x1069, 0x50, 6)},
    {5, 6, 1, 1, 14, "Co-processor", "Catalix P1 Processor", "Catalix", Ids(0xCA71, 0x601, 6)},
    {7, 1, 5, 1, 4, "RAID controller", "Catalix R2 RAID", "Catalix"},
};

// The I/O, memory and interrupt tables: the SCSI controller has two I/O ranges, the controller
// on the unknown bus one.
const std::string kServerResources = std::string(kResources) + "3.1.1.12.3.0.1 = INTEGER: 16\n" +
                                     kResources + "4.1.1.7.5.3.0.1.1 = INTEGER: 2124349440\n" +
                                     kResources + "4.4.1.6.5.3.0.1.1 = INTEGER: 57344\n" +
                                     kResources + "4.4.1.6.5.3.0.1.2 = INTEGER: 57600\n" +
                                     kResources + "4.4.1.6.7.1.5.1.1 = INTEGER: 368\n";

struct Recorded {
    const char* name;
    const char* comp_type;
    const char* descript;
    const char* container;
    const char* version;
    const char* comp_id;
    const char* serial_no;
};

TEST_F(BusTest, EveryDeviceClass) {
    Start(kServer, kServerResources);
    agent_->InitBus();
    const Recorded rows[] = {
        {"Catalix A1 Sound", "0", "Multimedia audio (ISA)", "BaseBoard", "N/A", "", ""},
        {"Arvenmark E4 Bridge", "0", "Other (EISA)", "BaseBoard", "N/A", "", ""},
        {"Catalix H1 Host Bridge", "0", "Host bridge (PCI)", "BaseBoard", "3",
         "PCI\\VEN_CA71&DEV_0100&SUBSYS_0001CA71&REV_03", ""},
        {"Catalix G2 Graphics", "16", "VGA compatible controller (PCI)", "GraphicSystem", "0",
         "PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00", ""},
        {"Catalix N2 Adapter", "13", "Ethernet controller (PCI)", "LANSystem", "1",
         "PCI\\VEN_CA71&DEV_0200&SUBSYS_0002CA71&REV_01", "MAC:00-0E-0C-3A-5B-7F"},
        {"Dual Port Adapter", "13", "Ethernet controller (PCI)", "LANSystem", "1", nullptr, ""},
        {"Catalix S4 Controller", "12", "SCSI controller (PCI)", "SCSISystem", "2", nullptr, ""},
        {"Catalix D1 Channel", "12", "IDE interface (PCI)", "SCSISystem", "0", nullptr, ""},
        {"Arvenmark F8 Adapter", "12", "Fibre Channel (PCI)", "SCSISystem", "1", nullptr, ""},
        {"[3 Arvenmark F2", "11", "Fibre Channel (PCI)", "BaseBoard", "1", nullptr, ""},
        {"Catalix R3 Board", "27", "Peripheral (PCI)", "BaseBoard", "1", nullptr, ""},
        {"Catalix M3 Controller", "5", "Peripheral (PCI)", "BaseBoard", "1", nullptr, ""},
        {"Catalix C1 Serial", "26", "Serial controller (PCI)", "BaseBoard", "1", nullptr, ""},
        {"Dacora P2 Processor", "12", "Co-processor (PCI)", "SCSISystem", "1", nullptr, ""},
        {"Catalix P1 Processor", "10", "Co-processor (PCI)", "BaseBoard", "1", nullptr, ""},
        {"Catalix R2 RAID", "12", "RAID controller (unknown)", "SCSISystem", "N/A", "", ""},
    };
    EXPECT_EQ(agent_->NrComponents, 2 + std::size(rows)) << TraceText();
    for (const Recorded& r : rows) {
        SCOPED_TRACE(r.name);
        const unsigned row = Row(r.name);
        ASSERT_NE(row, 0u);
        EXPECT_EQ(Field(row, "CompType"), r.comp_type);
        EXPECT_EQ(Field(row, "ProdDescript"), r.descript);
        EXPECT_EQ(Container(row), r.container);
        EXPECT_EQ(Field(row, "Version"), r.version);
        if (r.comp_id != nullptr) {
            EXPECT_EQ(Field(row, "CompId"), r.comp_id);
        }
        EXPECT_EQ(Field(row, "SerialNo"), r.serial_no);
    }
    EXPECT_EQ(Field(Row("Arvenmark E4 Bridge"), "Vendor"), "unknown");
    EXPECT_EQ(Containers("LANSystem"), 2u);
    EXPECT_EQ(Containers("SCSISystem"), 5u);
    EXPECT_EQ(ConfigReads(), 15u);

    // Firmware objects name the table's own numbers and belong to the row, or to the boards the
    // cabinet collector found.
    EXPECT_EQ(Actual("Firmware Update", "NrUpdObjects"), "6");
    EXPECT_EQ(ObjectComponent("LanController:PCI2.0.1"), std::to_string(Row("Catalix N2 Adapter")));
    EXPECT_EQ(ObjectComponent("ScsiController:PCI3.0.1"),
              std::to_string(Row("Catalix S4 Controller")));
    EXPECT_EQ(ObjectComponent("ScsiController:PCI4.0.1"),
              std::to_string(Row("Arvenmark F8 Adapter")));
    EXPECT_EQ(ObjectComponent("ScsiController:PCI6.0.1"),
              std::to_string(Row("Dacora P2 Processor")));
    EXPECT_EQ(ObjectComponent("RemoteServiceBoard:PCI5.0.1"), "1");
    EXPECT_EQ(ObjectComponent("ManagementController:PCI5.1.1"), "2");

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

// Tables that end at once or hold rows of the wrong shape: the walk ends, the sessions close,
// and what was read stays recorded.
struct ShortTable {
    const char* name;
    const char* walk;
    unsigned recorded;
    const char* trace;
};
void PrintTo(const ShortTable& c, std::ostream* out) { *out << c.name; }

class ShortTables : public BusTest, public ::testing::WithParamInterface<ShortTable> {};

TEST_P(ShortTables, EndCleanly) {
    Start(GetParam().walk, "");
    agent_->InitBus();
    EXPECT_EQ(agent_->NrComponents, 2 + GetParam().recorded) << TraceText();
    EXPECT_EQ(TraceCount(GetParam().trace), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB InitBus      :--> SNMP DISCONNECT"), 1u);
    EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, ShortTables,
    ::testing::Values(ShortTable{"NoRows", ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.10.5.1.0.1 = \"\"\n",
                                 0, "\nCX_MIB InitBus      : End of BUS_MIB entries"},
                      // Text where numbers belong and the reverse, columns missing: the row is
                      // recorded with what it has, then the walk runs off the agent's last object.
                      ShortTable{
                          "WrongTypesAndMissingColumns",
                          ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.1.5.1.0.1 = STRING: \"5\"\n"
                          ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.2.5.1.0.1 = INTEGER: 1\n"
                          ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.5.5.1.0.1 = STRING: \"6\"\n"
                          ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.6.5.1.0.1 = INTEGER: 6\n"
                          ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.7.5.1.0.1 = STRING: \"Catalix X\"\n"
                          ".1.3.6.1.4.1.7391.2.10.2.2.9.1.0 = INTEGER: 1\n",
                          1, "\nCX_MIB InitBus          : !!! REQUEST BUS MIB FAILED"}),
    [](const auto& info) { return std::string(info.param.name); });

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
    const std::vector<BusDevice> devices = {kServer[2], kServer[6], kServer[8]};
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
    SetRegDword("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters", "UdpPort",
                static_cast<DWORD>(agent.Port()));
    SetRegDword("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities", "public",
                4);
    agent_->InitBus();
    EXPECT_EQ(agent_->NrComponents, 3u);
    EXPECT_EQ(Field(3, "ProdDescript"), "Catalix X (ISA)");
    EXPECT_EQ(TraceCount("\nCX_MIB InitBus          : !!! REQUEST BUS MIB FAILED"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB InitBus      :--> SNMP DISCONNECT"), 1u);
}

}  // namespace
}  // namespace cx::test
