// Generic adapters whose devices lead elsewhere (an external Mylex RAID controller, a device of
// the Adaptec family, a controller whose devices the Mylex tables list), and tables of the wrong
// shape: missing cells, wrong types, rows that do not advance, tables without end.
#include <algorithm>
#include <atomic>

#include "base/file_debug.h"
#include "fake_agent.h"
#include "framework/agent_globals.h"
#include "storage_fixture.h"

namespace cx::test {
namespace {

const std::vector<Controller> kGeneric = {
    Ctrl(9, 1, "SCSI controller", "Catalix S9 SCSI", Pci(0xCA71, 0x0A00, 1, 8), 0xE800),
    Ctrl(10, 1, "SCSI controller", "Catalix S10 SCSI", Pci(0xCA71, 0x0A02, 1, 8), 0xE900),
    Ctrl(11, 1, "RAID bus controller", "Catalix S11 RAID", Pci(0x1069, 0x0050, 1, 2), 0xEB00),
    Ctrl(12, 1, "RAID bus controller", "Catalix S12 RAID", Pci(0x1000, 0x1960, 1, 3), 0xEA00),
};
const HdAdapter kBridgeAdapter{5, 9, 1, "Catalix S9 SCSI", 2, 0xE800, 3, 3};
const HdAdapter kFamilyAdapter{5, 10, 2, "Catalix S10 SCSI", 2, 0xE900, 3};
const HdAdapter kGamAdapter{5, 11, 3, "Catalix S11 RAID", 1, 0xEB00, 3};
const HdAdapter kMegaAdapter{5, 12, 4, "Catalix S12 RAID", 2, 0xEA00, 3};

// The GAM tables: controller 2 on PCI bus 11, the external controller 7 on channel 1, target 4
// of adapter index 3; devices of controllers 2, 7 and 0.
void AddGam(Walk& w) {
    const char* ctrl = ".1.3.6.1.4.1.1608.1.1.1.2.1";
    const char* dev = ".1.3.6.1.4.1.1608.1.1.1.4.1";
    for (const auto& [index, firmware, bus, adapter, channel, target] :
         {std::tuple{2, "3.10-04", 10, 99, 99, 99}, std::tuple{7, "6.02-12", 99, 3, 1, 4}}) {
        const std::string i = Idx(index);
        w.Int(Cell(ctrl, 1, i), index).Str(Cell(ctrl, 3, i), firmware).Int(Cell(ctrl, 20, i), 81);
        w.Int(Cell(ctrl, 21, i), bus).Int(Cell(ctrl, 22, i), 0).Int(Cell(ctrl, 23, i), 0);
        w.Int(Cell(ctrl, 47, i), adapter)
            .Int(Cell(ctrl, 48, i), channel)
            .Int(Cell(ctrl, 49, i), target);
    }
    // Adapter, status, type, channel, target.
    const int rows[][5] = {{2, 3, 0, 0, 1}, {2, 0, 0, 0, 2}, {2, 3, 199, 0, 7},
                           {7, 3, 0, 0, 2}, {0, 3, 0, 0, 5}, {2, 3, 5, 0, 3}};
    int n = 0;
    for (const auto& r : rows) {
        const std::string i = Idx(++n);
        w.Int(Cell(dev, 1, i), r[0]).Int(Cell(dev, 2, i), r[3]).Int(Cell(dev, 3, i), r[4]);
        w.Int(Cell(dev, 5, i), r[1])
            .Str(Cell(dev, 6, i), "CATALIX")
            .Str(Cell(dev, 7, i), DiskProduct(n));
        w.Str(Cell(dev, 8, i), "C001").Int(Cell(dev, 10, i), r[2]);
    }
}

TEST_F(StorageTest, GenericAdaptersHandOn) {
    Walk w;
    AddGam(w);
    for (const HdAdapter& a : {kBridgeAdapter, kFamilyAdapter, kGamAdapter, kMegaAdapter})
        AddHdAdapter(w, a);
    AddHdDevice(w, kBridgeAdapter, 1, 3, "MYLEX   Q47120-X1       0100", 1, 4, 0);
    AddHdDevice(w, kBridgeAdapter, 2, 2, DiskInquiry(1), 0, 0, 0);
    AddHdDevice(w, kBridgeAdapter, 3, 3, "eurologQ47120-X1        0100", 1, 4, 0);
    AddHdDevice(w, kFamilyAdapter, 1, 3, "CATALIX Adaptec Q47120  0001", 0, 7, 0);
    AddHdDevice(w, kFamilyAdapter, 2, 3, "CATALIX Adaptec Q47120  0001", 0, 7, 0);
    AddHdDevice(w, kMegaAdapter, 1, 2, DiskInquiry(1), 0, 0, 0);
    AddHdDevice(w, kMegaAdapter, 2, 2, DiskInquiry(2), 0, 1, 0);
    Start(kGeneric, w, {"MLX_GAM", "iomsnmp"});
    Scan();
    SCOPED_TRACE(TraceText());

    std::vector<std::string> objects = Objects();
    std::sort(objects.begin(), objects.end());
    EXPECT_EQ(objects, (std::vector<std::string>{
                           "BridgeController:PCI9.0.1.SCSI1.4.0", "Disk:PCI11.0.1.SCSI0.1.0",
                           "Disk:PCI12.0.1.SCSI0.5.0", "Disk:PCI9.0.1.SCSI0.0.0",
                           "Disk:PCI9.0.1.SCSI1.4.0.SCSI0.2.0", "ScsiController:PCI10.0.1",
                           "ScsiController:PCI11.0.1", "ScsiController:PCI12.0.1",
                           "ScsiController:PCI9.0.1"}));

    // The GAM controller by its bus address, named from the definition table.
    const unsigned gam = ObjectComponent("ScsiController:PCI11.0.1");
    EXPECT_EQ(Fields(gam, {"ProdName", "Vendor"}), "Q47120-M4|Mylex Corporation");
    EXPECT_EQ(agent_->ScsiCtrlList.GetAt(2)->CtrlType, 2u);
    EXPECT_EQ(Field(ObjectComponent("Disk:PCI11.0.1.SCSI0.1.0"), "ProdDescript"), "disk");
    EXPECT_EQ(Count("ProdDescript", "cdRom"), 1u);

    // The bridge: its own "SCSISystem" below the adapter's, its version without the build, and
    // its disk behind it.
    const unsigned bridge = ObjectComponent("BridgeController:PCI9.0.1.SCSI1.4.0");
    EXPECT_EQ(Fields(bridge, {"ProdDescript", "Version", "CompType"}),
              "SCSI Bridge Controller|6.02|12");
    const unsigned bridge_container = std::stoul(Field(bridge, "FuncCont"));
    EXPECT_EQ(ContainerName(bridge_container), "SCSISystem");
    EXPECT_EQ(ContainerParent(bridge_container),
              std::stoul(Field(ObjectComponent("ScsiController:PCI9.0.1"), "FuncCont")));
    EXPECT_EQ(Field(Find("ProdDescript", "Controller Firmware", bridge), "Version"), "6.02-12");

    // The second row naming the same external controller finds it handled; the Adaptec device
    // sends its adapter to the Adaptec scanner once; the Megaraid's devices come from the Mylex
    // tables once.
    for (const char* line :
         {"\n   Adapter Nr 7 found", "\n   Adapter Nr 7 already handled",
          "\n!!! NO MYLEX SUBSYSTEM FOUND", "\n********CHECK AIC MIB FOR SCSI DEVICES",
          "\n   ADAPTEC Dev CATALIX Adaptec Q47120  0001",
          "\n  CX_Mib Mylex      : init Mylex Devices for Adapter 0", "\n   !!! DEAD SCSI Device",
          "\n   Host Device/Ctrl \"Q47120-D003\" has no entry !"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    EXPECT_EQ(TraceCount("\n   SCSI Adapter Nr 0 already handled"), 2u);
    EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
}

// Rows of the hard-disk MIB with cells missing or of the wrong type: each row is read with what
// it has, the rows after it are not shifted, and the walk ends cleanly.
TEST_F(StorageTest, DeviceRowsOfTheWrongShape) {
    const HdAdapter a{5, 9, 1, "Catalix S9 SCSI", 4, 0xE800, 3};
    Walk w;
    AddHdAdapter(w, a);
    const std::string i1 = Idx(5, 9, 1, 1);
    // Row 1: no type and no address; row 2: the inquiry as a number; row 3: the type as text;
    // row 4 complete.
    w.Int(Cell(kHdDeviceEntry, 3, i1), 1).Str(Cell(kHdDeviceEntry, 5, i1), DiskInquiry(1));
    const std::string i2 = Idx(5, 9, 1, 2);
    w.Int(Cell(kHdDeviceEntry, 3, i2), 1).Int(Cell(kHdDeviceEntry, 8, i2), 2);
    w.Int(Cell(kHdDeviceEntry, 5, i2), 7);
    const std::string i3 = Idx(5, 9, 1, 3);
    w.Int(Cell(kHdDeviceEntry, 3, i3), 1).Str(Cell(kHdDeviceEntry, 8, i3), "2");
    w.Str(Cell(kHdDeviceEntry, 5, i3), DiskInquiry(3));
    AddHdDevice(w, a, 4, 2, DiskInquiry(4), 0, 4, 0);
    Start({kGeneric[0]}, w, {});
    Scan();
    SCOPED_TRACE(TraceText());
    EXPECT_EQ(Count("ProdDescript", "SCSI unknown"), 2u);
    EXPECT_EQ(Objects(),
              (std::vector<std::string>{"ScsiController:PCI9.0.1", "Disk:PCI9.0.1.SCSI0.4.0"}));
    EXPECT_EQ(Field(ObjectComponent("Disk:PCI9.0.1.SCSI0.4.0"), "Version"), "C004");
    EXPECT_EQ(TraceCount("\n   !!! NO DEVICE NAME"), 1u);
    EXPECT_EQ(TraceCount("\n   End of HD DEVICE entries"), 1u);
}

// An agent of our own for the adapter table: every answer is adapter row `next(asked)` of every
// column asked for, with an empty name.
void AnswerAdapterRows(FakeAgent& agent, std::function<std::uint32_t(std::uint32_t)> next) {
    agent.SetHandler([next](const SnmpRequest& request) {
        std::vector<AnswerBinding> bindings;
        for (const BerOid& name : request.names) {
            // ...2.3.1.1.C.5.9.R: column C (1 for the table's root) of adapter row R.
            BerOid row(name.begin(), name.begin() + std::min<std::size_t>(name.size(), 14));
            row.resize(14, 1);
            const std::uint32_t column = name.size() > 14 ? name[14] : 1;
            const std::uint32_t asked = name.size() > 17 ? name[17] : 0;
            row[13] = 1;
            row.push_back(column);
            row.insert(row.end(), {5, 9, next(asked)});
            bindings.push_back({row, column == 7 ? BerOctets(0x04, "") : BerInteger(0x02, 1)});
        }
        return std::vector<std::string>{EncodeResponse(request, 0, 0, bindings)};
    });
}

TEST_F(StorageTest, AdapterRowsThatDoNotAdvance) {
    FakeAgent agent;
    AnswerAdapterRows(agent, [](std::uint32_t) { return 1u; });
    ManagerPort(agent.Port());
    agent_->InitSCSI();
    EXPECT_EQ(TraceCount("\n   !!! NO ADAPTER NAME"), 1u);
    EXPECT_EQ(TraceCount("\n!!! CANNOT GET HD ADAPTER ENTRIES"), 1u);
    EXPECT_EQ(TraceCount("\n--> SNMP DISCONNECTED (ADAPTER)"), 1u);
}

// A table that never ends is cut off after 65536 rows (traced at level 1 only: the walk is long).
TEST_F(StorageTest, AdapterTableWithoutEnd) {
    SetRegDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 1);
    g_FileDebug.Init("CX_MIB", FALSE);
    FakeAgent agent;
    AnswerAdapterRows(agent, [](std::uint32_t asked) { return asked + 1; });
    ManagerPort(agent.Port());
    agent_->InitSCSI();
    // The wait for the table, the rows, and the one that is no longer asked for.
    EXPECT_EQ(agent.Requests(), 1 + 65536);
    EXPECT_EQ(TraceCount("\n!!! CANNOT GET HD ADAPTER ENTRIES"), 1u);
}

// Stops: asked for before the wait for the table, nothing is read; shutdown while the table is
// walked ends the walk after the row in hand.
TEST_F(StorageTest, Stops) {
    agent_->m_bAbortRequest = 1;
    agent_->InitSCSI();
    for (const char* line :
         {"\nCX_MIB InitSCSI     : HD_MIB NOT AVAILABLE !!!", "\n--> SNMP DISCONNECTED (ADAPTER)"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    agent_->m_bAbortRequest = 0;

    std::atomic<int> rows{0};
    FakeAgent agent;
    AnswerAdapterRows(agent, [&rows](std::uint32_t asked) {
        if (++rows == 9 * 3) AgentShutdown = 1;
        return asked + 1;
    });
    ManagerPort(agent.Port());
    agent_->InitSCSI();
    EXPECT_EQ(TraceCount("\nCX_MIB InitSCSI     : ABORTED (AgentShutdown)"), 1u);
    EXPECT_LT(TraceCount("\n   !!! NO ADAPTER NAME"), 5u);
}

}  // namespace
}  // namespace cx::test
