// The inventory file a scan's writer calls produce: sections and keys in order, row numbers,
// defaults, container types from the table file, and what an aborted scan left behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>

#include "ini_text.h"
#include "inventory_fixture.h"

namespace cx::test {
namespace {

class InventorySequenceTest : public InventoryTest {
  protected:
    void WriteStandardTable() {
        WriteTableFile(
            IniText({"[Component Type]", "BIOS=A0", "Processor=0A", "Broken=", "[Physical Tree]",
                     "PhysKorvan=1", "Cabinet=2", "[Functional Tree]", "FuncKorvan=10",
                     "SCSISystem=12", "Software=30", "[Language Code]", "0409=English (US)"}));
    }
};

TEST_F(InventorySequenceTest, ScanWritesDefinitionsContainersAndComponentsInOrder) {
    WriteStandardTable();
    CCX_Agent& agent = *agent_;
    agent.InitComponentDefinitions();
    agent.InsertPhysicalContainer("Server", 0, "PhysKorvan", -1);
    agent.InsertPhysicalContainer("Rack", 1, "", -1);
    agent.InsertPhysicalContainer("Board", 1, "Missing", -1);
    agent.InsertPhysicalContainer("Fixed", 1, "PhysKorvan", 5);
    agent.InsertPhysicalContainer(nullptr, 1, "PhysKorvan", 5);
    agent.InsertFunctionalContainer("Server", 0, "FuncKorvan", -1);
    agent.InsertFunctionalContainer("Software", 1, nullptr, -1);

    ComponentEntry bios(0xA0);
    bios.PhysCont = 99;  // the writer decides the containers
    bios.FuncCont = 99;
    CopyEntryText(bios.Version, " 1.0");
    agent.InsertComponent(&bios);
    ComponentEntry cpu(0x0A);
    CopyEntryText(cpu.Vendor, "Arvex");
    CopyEntryText(cpu.ProdName, "Cx64");
    CopyEntryText(cpu.ProdNumber, "X5355");
    CopyEntryText(cpu.ProdDescript, "CPU");
    CopyEntryText(cpu.ManuDate, "2006-10-20 00:00:00");
    CopyEntryText(cpu.Version, "B3");
    CopyEntryText(cpu.SerialNo, "123");
    CopyEntryText(cpu.CompId, "CPU1");
    agent.InsertComponent(&cpu);

    EXPECT_EQ(DataFile("Catalix.act"), IniText({"[Component Definition]",
                                                "A0=BIOS",
                                                "0A=Processor",
                                                "[Physical Definition]",
                                                "Type.1=1",
                                                "Name.1=PhysKorvan",
                                                "Type.2=2",
                                                "Name.2=Cabinet",
                                                "[Functional Definition]",
                                                "Type.1=10",
                                                "Name.1=FuncKorvan",
                                                "Type.2=12",
                                                "Name.2=SCSISystem",
                                                "Type.3=30",
                                                "Name.3=Software",
                                                "[Physical Container]",
                                                "NrContainer=4",
                                                "Type.1=1",
                                                "Parent.1=0",
                                                "Name.1=Server",
                                                "Type.2=4294967295",
                                                "Parent.2=1",
                                                "Name.2=Rack",
                                                "Type.3=0",
                                                "Parent.3=1",
                                                "Name.3=Board",
                                                "Type.4=5",
                                                "Parent.4=1",
                                                "Name.4=Fixed",
                                                "[Functional Container]",
                                                "NrContainer=2",
                                                "Type.1=10",
                                                "Parent.1=0",
                                                "Name.1=Server",
                                                "Type.2=30",
                                                "Parent.2=1",
                                                "Name.2=Software",
                                                "[Component Table]",
                                                "NrComponents=2",
                                                "PhysCont.1=4",
                                                "FuncCont.1=2",
                                                "CompType.1=160",
                                                "Vendor.1=N/A",
                                                "ProdName.1=unknown",
                                                "ProdNumber.1=",
                                                "ProdDescript.1=",
                                                "ManuDate.1=",
                                                "Version.1=N/A",
                                                "SerialNo.1=",
                                                "Language.1=",
                                                "CompId.1=",
                                                "PhysCont.2=4",
                                                "FuncCont.2=2",
                                                "CompType.2=10",
                                                "Vendor.2=Arvex",
                                                "ProdName.2=Cx64",
                                                "ProdNumber.2=X5355",
                                                "ProdDescript.2=CPU",
                                                "ManuDate.2=2006-10-20 00:00:00",
                                                "Version.2=B3",
                                                "SerialNo.2=123",
                                                "Language.2=",
                                                "CompId.2=CPU1"}));
    EXPECT_EQ(bios.PhysCont, 4u);
    EXPECT_EQ(bios.FuncCont, 2u);
    EXPECT_STREQ(bios.Vendor, "N/A");
    EXPECT_EQ(agent.CurPhysContainer, 4u);
    EXPECT_EQ(agent.CurFuncContainer, 2u);

    EXPECT_EQ(TraceCount("\nComp Type : (A0) = BIOS"), 1u);
    EXPECT_EQ(TraceCount("\n   Init Physical Definition Table"), 1u);
    EXPECT_EQ(TraceCount("\n   Init Physical Container Table"), 1u);
    EXPECT_EQ(TraceCount("\n   Init Component Table"), 1u);
    EXPECT_EQ(TraceCount("\n   Physical Cont.   : (N)2 (T)-1 (P)1 Rack"), 1u);
    EXPECT_EQ(TraceCount("\n   Functional Cont. : (N)2 (T)30 (P)1 Software"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB              : Insert component entry Nr. 2 \"CPU\" (Type: 10)"),
              1u);
    EXPECT_EQ(TraceCount("\n    CONTAINER       : (PC)4 (FC)2 (CT)A0"), 1u);
}

TEST_F(InventorySequenceTest, AbortedScanLeftoversGoWhereTheNewScanWrites) {
    WriteDataFile(
        "Catalix.act",
        IniText({"[Functional Definition]", "Type.1=7", "Name.1=Kept", "[Physical Container]",
                 "NrContainer=9", "Type.9=1", "Name.9=Old", "[Component Table]", "NrComponents=5",
                 "Vendor.5=old", "[Firmware Update]", "NrUpdObjects=3", "ObjectName.3=old",
                 "[Functional Container]", "NrContainer=2", "Name.2=Stale"}));
    WriteTableFile(IniText({"[Physical Tree]", "Cabinet=3"}));
    CCX_Agent& agent = *agent_;
    agent.InitComponentDefinitions();
    agent.InsertPhysicalContainer("Server", 0, "Cabinet", -1);
    ComponentEntry entry(1);
    agent.InsertComponent(&entry);
    FwUpdateObject object("Flash");
    agent.InsertFwUpdateObject(&object);

    // Sections without a source in this scan keep what they had.
    EXPECT_EQ(DataFile("Catalix.act"), IniText({"[Functional Definition]",
                                                "Type.1=7",
                                                "Name.1=Kept",
                                                "[Functional Container]",
                                                "NrContainer=2",
                                                "Name.2=Stale",
                                                "[Physical Definition]",
                                                "Type.1=3",
                                                "Name.1=Cabinet",
                                                "[Physical Container]",
                                                "NrContainer=1",
                                                "Type.1=3",
                                                "Parent.1=0",
                                                "Name.1=Server",
                                                "[Component Table]",
                                                "NrComponents=1",
                                                "PhysCont.1=1",
                                                "FuncCont.1=0",
                                                "CompType.1=1",
                                                "Vendor.1=N/A",
                                                "ProdName.1=unknown",
                                                "ProdNumber.1=",
                                                "ProdDescript.1=",
                                                "ManuDate.1=",
                                                "Version.1=N/A",
                                                "SerialNo.1=",
                                                "Language.1=",
                                                "CompId.1=",
                                                "[Firmware Update]",
                                                "NrUpdObjects=1",
                                                "ObjectName.1=Flash",
                                                "ObjectParent.1=N/A",
                                                "ObjectPath.1=N/A",
                                                "UpdateState.1=0",
                                                "CompIndex.1=1"}));
}

TEST_F(InventorySequenceTest, InitCommonStampsTheScanStartAndReplacesOldStamps) {
    WriteDataFile("Catalix.act",
                  IniText({"[Last Date]", "ScanState=DONE", "Stale=1", "[Agent Info]",
                           "AgentId=old", "[Component Table]", "NrComponents=1"}));
    std::time_t before = std::time(nullptr);
    agent_->InitCommon();
    std::time_t after = std::time(nullptr);

    std::string text = DataFile("Catalix.act");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        text, match,
        std::regex("\\[Component Table\\]\r\nNrComponents=1\r\n"
                   "\\[Last Date\\]\r\nLastCollectionDate=([-0-9: ]{19})\r\nLastScanDate=\\1\r\n"
                   "LastDate=([0-9A-F]{8})\r\nLastScan=\\2\r\nScanState=SCANNING\r\n"
                   "\\[Agent Info\\]\r\nAgentId=\r\nAgentCompany=\r\nAgentVersion=\r\n"
                   "AgentBuild=Build: Oct 20 2006, 08:57:39\r\n")))
        << text;
    auto stamp = static_cast<std::time_t>(std::strtoul(match[2].str().c_str(), nullptr, 16));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    std::tm local{};
    localtime_r(&stamp, &local);
    char date[32];
    std::strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(match[1].str(), date);
    EXPECT_EQ(TraceCount("\n  CX_Mib: Init common"), 1u);
}

TEST_F(InventorySequenceTest, AgentInfoComesFromTheAgentLibrarysVersionStrings) {
    std::snprintf(agent_->m_szModulePath, sizeof(agent_->m_szModulePath), "%s",
                  CX_WRITERS_PROBE_PATH);
    agent_->InitCommon();
    EXPECT_EQ(IniSection(DataFile("Catalix.act"), "Agent Info"),
              IniText({"[Agent Info]", "AgentId=Writers probe", "AgentCompany=Catalix",
                       "AgentVersion=4.2.10.7", "AgentBuild=Build: Oct 20 2006, 08:57:39"}));
}

TEST_F(InventorySequenceTest, ScsiSystemNamesTheBusAndRecordsTheControllersContainers) {
    struct Case {
        DWORD bus;
        std::string description;
        std::string expected;
    };
    const std::string long_text(125, 'd');
    const Case cases[] = {
        {2, "Adapter", "Adapter (ISA)"},  {3, "Adapter", "Adapter (EISA)"},
        {5, "Adapter", "Adapter (PCI)"},  {9, "Adapter", "Adapter (unknown)"},
        {5, long_text, long_text + " ("},  // cut to the field
    };
    WriteTableFile(IniText({"[Functional Tree]", "SCSISystem=12"}));
    agent_->InsertPhysicalContainer("Server", 0, nullptr, 1);
    DWORD row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bus);
        ComponentEntry entry(0);
        CopyEntryText(entry.ProdName, "RAID 5/6 SAS");
        CopyEntryText(entry.ProdDescript, c.description.c_str());
        ScsiCtrl controller;
        controller.BusType = c.bus;
        agent_->InsertScsiSystem(&entry, 1, &controller);
        ++row;
        EXPECT_EQ(entry.CompType, 12u);
        EXPECT_EQ(std::string(entry.ProdDescript), c.expected);
        EXPECT_STREQ(controller.CtrlName, "RAID 5/6 SAS");
        EXPECT_EQ(controller.PhysCont, 1u);
        EXPECT_EQ(controller.FuncCont, row);
    }
    ComponentEntry alone(0);
    agent_->InsertScsiSystem(&alone, 1, nullptr);
    EXPECT_EQ(alone.CompType, 12u);
    EXPECT_STREQ(alone.ProdDescript, "");
    EXPECT_EQ(agent_->CurFuncContainer, row + 1);
    std::string containers = IniSection(DataFile("Catalix.act"), "Functional Container");
    EXPECT_NE(containers.find("Type.6=12\r\nParent.6=1\r\nName.6=SCSISystem\r\n"),
              std::string::npos)
        << containers;
    EXPECT_EQ(IniSection(DataFile("Catalix.act"), "Component Table"), "");
}

TEST_F(InventorySequenceTest, LongNamesAndUnterminatedTextsStayWithinTheirFields) {
    WriteTableFile(IniText({"[Functional Tree]", "SCSISystem=12"}));
    const std::string long_name(300, 'n');
    agent_->InsertFunctionalContainer(long_name.c_str(), 0, nullptr, 3);
    ComponentEntry entry(1);
    std::memset(entry.Vendor, 'v', sizeof(entry.Vendor));  // no terminator at all
    agent_->InsertComponent(&entry);
    std::string text = DataFile("Catalix.act");
    EXPECT_NE(text.find("Name.1=" + long_name.substr(0, 127) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("Vendor.1=" + std::string(127, 'v') + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace cx::test
