// Every controller family end to end: the bus walk hands each controller to its handler, which
// records it with its firmware parts, and InitSCSI sends each adapter of the hard-disk MIB to
// the device scanner of its family; generic adapters are read from the hard-disk MIB itself.
#include <algorithm>

#include "storage_fixture.h"
#include "text_rows.h"

namespace cx::test {
namespace {

// One controller per family, PCI bus 2 to 8, and two generic ones.
const std::vector<Controller> kServer = {
    Ctrl(2, 1, "RAID bus controller", "Catalix S2 RAID", Pci(0x9005, 0x285, 0x290, 1), 0xD800),
    Ctrl(3, 1, "SCSI controller", "Catalix S3 SCSI", Pci(0x9005, 0x8017, 0x291, 2), 0, 0xFE000000),
    Ctrl(4, 1, "RAID bus controller", "Catalix S4 RAID", Pci(0x1044, 0xA501, 0x292, 3), 0,
         0xFE100000),
    Ctrl(5, 1, "SCSI controller", "Catalix S5 SCSI", Pci(0x1000, 0x0030, 0x1040, 4), 0xC000),
    Ctrl(6, 1, "RAID bus controller", "Catalix S6 SATA", Pci(0x8086, 0x25B0, 0x293, 5), 0xC400, 0,
         11),
    Ctrl(7, 1, "RAID bus controller", "Catalix S7 RAID", Pci(0x1069, 0x0050, 0x294, 6), 0,
         0xFE200000),
    Ctrl(8, 1, "RAID bus controller", "Catalix S8 RAID", Pci(0xCA71, 0x0900, 0x295, 7), 0xC800),
    Ctrl(9, 1, "SCSI controller", "Catalix S9 SCSI", Pci(0xCA71, 0x0A00, 0x296, 8), 0xE800),
    Ctrl(10, 2, "IDE interface", "Catalix D1 IDE", Pci(0xCA71, 0x0A01, 0x297, 9), 0x1F0),
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

    std::vector<std::string> expected, objects = Objects();
    for (const DataRow& r : ReadPlainRows(CX_TEST_DATA "/collectors_storage/every_family.rows")) {
        SCOPED_TRACE(r[1] + " " + r[2]);
        if (r[0] == "part") {
            unsigned row = Find("ProdName", r[1]);
            while (row != 0 && Field(row, "ProdDescript") != r[2])
                row = Find("ProdName", r[1], row);
            ASSERT_NE(row, 0u);
            EXPECT_EQ(Field(row, "CompType") + " " + Field(row, "Version"), r[3] + " " + r[4]);
            continue;
        }
        expected.push_back(r[1]);
        const unsigned row = ObjectComponent(r[1]);
        ASSERT_NE(row, 0u);
        EXPECT_EQ((DataRow{r[0], r[1], Field(row, "ProdName"), Field(row, "ProdDescript"),
                           Field(row, "Vendor"), Field(row, "Version")}),
                  r);
        // Controllers in their own "SCSISystem" container, devices one "SCSIDevice" each below
        // their controller's: "Disk:PCI2.0.1.SCSI0.1.0" belongs to "ScsiController:PCI2.0.1".
        const unsigned container = std::stoul(Field(row, "FuncCont"));
        const bool disk = r[1].rfind("Disk:", 0) == 0;
        EXPECT_EQ(ContainerName(container), disk ? "SCSIDevice" : "SCSISystem");
        if (disk) {
            std::string pci = r[1].substr(5);
            pci.resize(pci.find('.', pci.find('.', pci.find('.') + 1) + 1));
            const unsigned ctrl = ObjectComponent("ScsiController:" + pci);
            EXPECT_EQ(ContainerParent(container), std::stoul(Field(ctrl, "FuncCont")));
        }
    }
    std::sort(objects.begin(), objects.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(objects, expected);
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
    EXPECT_EQ(Fields(Find("ProdDescript", "SCSI CD_ROM"), {"Vendor", "Version"}), "ARVEN|T100");
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
