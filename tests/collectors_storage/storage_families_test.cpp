// Every controller family end to end: the bus walk hands each controller to its handler, which
// records it with its firmware parts, and InitSCSI sends each adapter of the hard-disk MIB to
// the device scanner of its family; generic adapters are read from the hard-disk MIB itself.
#include <algorithm>

#include "storage_fixture.h"

namespace cx::test {
namespace {

// One controller per family, PCI bus 2 to 8, and two generic ones.
const std::vector<Controller> kServer = {
    {{5, 2, 0, 1, 1, "RAID bus controller", "Catalix S2 RAID", "Catalix",
      Pci(0x9005, 0x285, 0x290, 1)},
     0xD800},
    {{5, 3, 0, 1, 1, "SCSI controller", "Catalix S3 SCSI", "Catalix",
      Pci(0x9005, 0x8017, 0x291, 2)},
     0,
     0xFE000000},
    {{5, 4, 0, 1, 1, "RAID bus controller", "Catalix S4 RAID", "Catalix",
      Pci(0x1044, 0xA501, 0x292, 3)},
     0,
     0xFE100000},
    {{5, 5, 0, 1, 1, "SCSI controller", "Catalix S5 SCSI", "Catalix",
      Pci(0x1000, 0x0030, 0x1040, 4)},
     0xC000},
    {{5, 6, 0, 1, 1, "RAID bus controller", "Catalix S6 SATA", "Catalix",
      Pci(0x8086, 0x25B0, 0x293, 5)},
     0xC400,
     0,
     11},
    {{5, 7, 0, 1, 1, "RAID bus controller", "Catalix S7 RAID", "Catalix",
      Pci(0x1069, 0x0050, 0x294, 6)},
     0,
     0xFE200000},
    {{5, 8, 0, 1, 1, "RAID bus controller", "Catalix S8 RAID", "Catalix",
      Pci(0xCA71, 0x0900, 0x295, 7)},
     0xC800},
    {{5, 9, 0, 1, 1, "SCSI controller", "Catalix S9 SCSI", "Catalix",
      Pci(0xCA71, 0x0A00, 0x296, 8)},
     0xE800},
    {{5, 10, 0, 1, 2, "IDE interface", "Catalix D1 IDE", "Catalix", Pci(0xCA71, 0x0A01, 0x297, 9)},
     0x1F0},
};

const HdAdapter kGenericScsi{5, 9, 7, "Catalix S9 SCSI", 3, 0xE800, 3};
const HdAdapter kGenericIde{5, 10, 8, "Catalix D1 IDE", 1, 0x1F0, 2};

Walk ServerWalk() {
    Walk w;
    AddAac(w, 2, 1, 2);
    AddAac(w, 12, 2, 1);  // a controller this server does not have
    AddIom(w, 3, 1, 0x9005, 0x8017, 2);
    AddDpt(w, 1, 0xFE100000, 2);
    AddLsi(w, 1, 0xCA71, 0x1040, 2);
    AddLsiSata(w, 1, 11, 2);
    AddMylexView(w, 1, 0xFE200000, 2);
    AddTvc(w, 8, 1, 2);
    // The adapters; the first with the bus type the hard-disk MIB also uses for PCI.
    for (const HdAdapter& a : {HdAdapter{4, 2, 0, "Catalix S2 RAID", 2, 0xD800, 3},
                               HdAdapter{5, 3, 1, "Catalix S3 SCSI", 2, 0xFE000000, 3},
                               HdAdapter{5, 4, 2, "Catalix S4 RAID", 2, 0xFE100000, 3},
                               HdAdapter{5, 5, 3, "Catalix S5 SCSI", 2, 0xC000, 3},
                               HdAdapter{5, 6, 4, "Catalix S6 SATA", 2, 0xC400, 2},
                               HdAdapter{5, 7, 5, "Catalix S7 RAID", 2, 0xFE200000, 3},
                               HdAdapter{5, 8, 6, "Catalix S8 RAID", 2, 0xC800, 3}, kGenericScsi,
                               kGenericIde, HdAdapter{5, 11, 9, "", 1, 0xCC00, 3},
                               HdAdapter{5, 11, 10, "Arvenmark Gone", 1, 0xCC00, 3}})
        AddHdAdapter(w, a);
    AddHdDevice(w, kGenericScsi, 1, 2, DiskInquiry(1), 0, 3, 0);
    AddHdDevice(w, kGenericScsi, 2, 7, "ARVEN   Q47120-T7       T100", 0, 5, 0);
    AddHdDevice(w, kGenericScsi, 3, 2, "", 0, 6, 0);
    AddHdDevice(w, kGenericIde, 1, 2, DiskInquiry(2), 0, 0, 0);
    return w;
}

const std::vector<const char*> kAllAgents = {"iomsnmp", "dptscsi", "LSI10x0", "MLX_MIB",
                                             "TVC_RAID_MIB"};

struct Recorded {
    const char* object;  // the firmware object that names the component
    const char* name;
    const char* descript;
    const char* vendor;
    const char* version;
};

TEST_F(StorageTest, EveryFamily) {
    Start(kServer, ServerWalk(), kAllAgents);
    Scan();
    SCOPED_TRACE(TraceText());

    // The controllers, by the family code and row index their handlers gave them.
    ASSERT_EQ(agent_->ScsiCtrlList.Count(), 9);
    const DWORD types[] = {5, 4, 3, 6, 7, 1, 8, 0, 0};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(agent_->ScsiCtrlList.GetAt(i)->CtrlType, types[i]) << i;
        EXPECT_EQ(agent_->ScsiCtrlList.GetAt(i)->CtrlIndex, types[i] == 0 ? 0u : 1u) << i;
    }

    const Recorded rows[] = {
        {"ScsiController:PCI2.0.1", "Q47120-R2 ARRAY", "RAID bus controller (PCI)", "Catalix",
         "4.2-3"},
        {"Disk:PCI2.0.1.SCSI0.1.0", "Q47120-D001", "disk", "CATALIX", "C001"},
        {"Disk:PCI2.0.1.SCSI0.2.0", "Q47120-D002", "disk", "CATALIX", "C001"},
        {"ScsiController:PCI3.0.1", "Catalix S3 SCSI", "SCSI controller (PCI)", "Catalix", "3.1-0"},
        {"Disk:PCI3.0.1.SCSI0.0.0", "Q47120-D001", "rigidDisk", "CATALIX", "C001"},
        {"Disk:PCI3.0.1.SCSI0.1.0", "Q47120-D002", "rigidDisk", "CATALIX", "C002"},
        {"ScsiController:PCI4.0.1", "Q47120-C3", "RAID bus controller (PCI)", "Catalix", "3"},
        {"Disk:PCI4.0.1.SCSI0.1.0", "Q47120-D001", "disk", "CATALIX", "C001"},
        {"Disk:PCI4.0.1.SCSI0.2.0", "Q47120-D002", "disk", "CATALIX", "C001"},
        {"ScsiController:PCI5.0.1", "Catalix Q47120-L1", "SCSI controller (PCI)", "Catalix",
         "1.03.15"},
        {"Disk:PCI5.0.1.SCSI0.1.0", "Q47120-D001", "disk", "CATALIX", "C001"},
        {"Disk:PCI5.0.1.SCSI0.2.0", "Q47120-D002", "disk", "CATALIX", "C001"},
        {"ScsiController:PCI6.0.1", "Catalix Q47120-S1", "RAID bus controller (PCI)", "Catalix",
         "2.0.1"},
        {"Disk:PCI6.0.1.CHL1", "Q47120-D001", "IDE Device", "N/A", "C001"},
        {"Disk:PCI6.0.1.CHL2", "Q47120-D002", "IDE Device", "N/A", "C001"},
        {"ScsiController:PCI7.0.1", "Q47120-M2", "RAID bus controller (PCI)", "Catalix", "6"},
        {"Disk:PCI7.0.1.SCSI0.1.0", "Q47120-D001", "disk", "CATALIX", "C001"},
        {"Disk:PCI7.0.1.SCSI0.2.0", "Q47120-D002", "disk", "CATALIX", "C002"},
        {"ScsiController:PCI8.0.1", "Q47120-T4", "SATA RAID Controller (PCI)", "Catalix", "7"},
        {"Disk:PCI8.0.1.SATA0.1.0", "Q47120-D001", "disk (SATA)", "CATALIX", "C001"},
        {"Disk:PCI8.0.1.SATA0.2.0", "Q47120-D002", "disk (SATA)", "CATALIX", "C001"},
        {"ScsiController:PCI9.0.1", "Catalix S9 SCSI", "SCSI controller (PCI)", "Catalix", "8"},
        {"Disk:PCI9.0.1.SCSI0.3.0", "Q47120-D001", "SCSI direct access", "CATALIX", "C001"},
    };
    std::vector<std::string> expected;
    for (const Recorded& r : rows)
        expected.push_back(r.object);
    std::vector<std::string> objects = Objects();
    std::sort(objects.begin(), objects.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(objects, expected);
    for (const Recorded& r : rows) {
        SCOPED_TRACE(r.object);
        const unsigned row = ObjectComponent(r.object);
        ASSERT_NE(row, 0u);
        EXPECT_EQ(Field(row, "ProdName"), r.name);
        EXPECT_EQ(Field(row, "ProdDescript"), r.descript);
        EXPECT_EQ(Field(row, "Vendor"), r.vendor);
        EXPECT_EQ(Field(row, "Version"), r.version);
        // Controllers in their own "SCSISystem" container, devices one "SCSIDevice" each below
        // their controller's.
        const unsigned container = std::stoul(Field(row, "FuncCont"));
        const bool disk = std::string(r.object).rfind("Disk:", 0) == 0;
        EXPECT_EQ(ContainerName(container), disk ? "SCSIDevice" : "SCSISystem");
        if (disk) {
            // "Disk:PCI2.0.1.SCSI0.1.0" belongs to "ScsiController:PCI2.0.1".
            std::string pci = std::string(r.object).substr(5);
            pci.resize(pci.find('.', pci.find('.', pci.find('.') + 1) + 1));
            const unsigned ctrl = ObjectComponent("ScsiController:" + pci);
            EXPECT_EQ(ContainerParent(container), std::stoul(Field(ctrl, "FuncCont")));
        }
    }

    // Firmware parts: copies of their controller that name the part.
    const struct {
        const char* name;
        const char* descript;
        const char* type;
        const char* version;
    } parts[] = {
        {"Q47120-R2 ARRAY", "Kernel", "161", "4.2-1"},
        {"Q47120-R2 ARRAY", "Monitor Version", "161", "4.2-2"},
        {"Q47120-R2 ARRAY", "BIOS Version", "160", "4.2-0 (7411)"},
        {"Q47120-C3", "Controller Firmware", "161", "7A1"},
        {"Q47120-C3", "Firmware Image", "161", "7A1.02"},
        {"Q47120-C3", "NVRAM Layout", "161", "NV 3"},
        {"Q47120-C3", "Controller BIOS", "160", "2.1"},
        {"Catalix Q47120-L1", "Firmware Version", "161", "1.03.15"},
        {"Catalix Q47120-L1", "BIOS Version", "160", "5.10.02"},
        {"Catalix Q47120-S1", "BIOS Version", "160", "1.02"},
        {"Q47120-M2", "Controller Firmware", "161", "5.08"},
        {"Q47120-M2", "Controller BIOS", "160", "2.1"},
        {"Q47120-T4", "Firmware Version", "161", "1.4.0"},
        {"Q47120-T4", "BIOS Version", "160", "N/A"},
    };
    for (const auto& p : parts) {
        SCOPED_TRACE(std::string(p.name) + " " + p.descript);
        unsigned row = Find("ProdName", p.name);
        while (row != 0 && Field(row, "ProdDescript") != p.descript)
            row = Find("ProdName", p.name, row);
        ASSERT_NE(row, 0u);
        EXPECT_EQ(Field(row, "CompType"), p.type);
        EXPECT_EQ(Field(row, "Version"), p.version);
    }
    EXPECT_EQ(Field(Find("ProdDescript", "Firmware Image"), "ManuDate"), "2004-03-15 00:00:00");
    EXPECT_EQ(Field(Find("ProdName", "Q47120-C3"), "SerialNo"), "CX0310447");
    EXPECT_EQ(Field(Find("ProdName", "Q47120-T4"), "CompId"),
              "PCI\\VEN_CA71&DEV_0900&SUBSYS_0295CA71&REV_07");
    EXPECT_EQ(
        Field(Find("ProdName", "Q47120-D001", Find("ProdDescript", "IDE Device") - 1), "SerialNo"),
        "CXS1001");

    // The enclosure of the I/O-manager controller, and the generic devices without objects: a
    // CD drive whose vendor ends at its blank, and the IDE adapter's disk.
    EXPECT_EQ(Count("ProdDescript", "saf-te"), 1u);
    const unsigned cd = Find("ProdDescript", "SCSI CD_ROM");
    ASSERT_NE(cd, 0u);
    EXPECT_EQ(Field(cd, "Vendor"), "ARVEN");
    EXPECT_EQ(Field(cd, "Version"), "T100");
    EXPECT_EQ(Count("ProdDescript", "IDE direct access"), 1u);

    for (const char* line :
         {"\n   !!! NO ADAPTER NAME", "\nGetSCSICtrl : NO CONTROLLER FOUND",
          "\n   !!! NO DEVICE NAME", "\n   AIC_AAC_MIB found", "\n   AAC Controller: bus 1.0 found",
          "\nGetSCSICtrl : Type/BusNo/Port/Slot 05 02 0000D800 00",
          "\n   End of HD ADAPTER entries", "\n--> SNMP DISCONNECTED (ADAPTER)"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    EXPECT_EQ(TraceCount("\n   End of HD DEVICE entries"), 2u);
    EXPECT_EQ(TraceCount("FATAL ERROR"), 0u);
    EXPECT_EQ(TraceCount("\n   (REMOVE BLANK)"), 2u);
    EXPECT_EQ(TraceCount("!!! CANNOT GET"), 0u);
}

// Without the vendor agents every controller is recorded generically and its devices come from
// the hard-disk MIB alone: here none, since the family adapters list none there.
TEST_F(StorageTest, NoVendorAgents) {
    Start(kServer, ServerWalk(), {});
    Scan();
    for (int i = 0; i < agent_->ScsiCtrlList.Count(); ++i)
        EXPECT_EQ(agent_->ScsiCtrlList.GetAt(i)->CtrlType, 0u) << i;
    EXPECT_EQ(Count("ProdName", "Catalix S2 RAID"), 1u);
    EXPECT_EQ(Count("ProdDescript", "disk"), 0u);
    EXPECT_EQ(ObjectComponent("Disk:PCI9.0.1.SCSI0.3.0") != 0, true);
    EXPECT_EQ(TraceCount("    Ini Dev : No Devices"), 0u);
    EXPECT_EQ(TraceCount("\n   End of HD DEVICE entries"), 9u);
}

}  // namespace
}  // namespace cx::test
