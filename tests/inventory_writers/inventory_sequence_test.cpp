// The inventory file a scan's writer calls produce: sections and keys in order, row numbers,
// defaults, container types from the table file, what an aborted scan left behind, firmware-
// update states carried over by name from the saved file, and manufacturing dates in the
// collectors' forms turned into "yyyy-mm-dd 00:00:00".
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>

#include "inventory_fixture.h"
#include "test_data.h"

namespace cx::test {
namespace {

// The section `name` of INI text, from its header up to the next header; "" when missing.
std::string IniSection(const std::string& text, const std::string& name) {
    const std::string header = "[" + name + "]\r\n";
    const std::size_t start = text.find(header);
    if (start == std::string::npos) return std::string();
    const std::size_t end = text.find("\r\n[", start + header.size() - 2);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

class InventorySequenceTest : public InventoryTest {
  protected:
    void WriteStandardTable() {
        WriteTableFile(
            Crlf("[Component Type]\nBIOS=A0\nProcessor=0A\nBroken=\n[Physical Tree]\n"
                 "PhysKorvan=1\nCabinet=2\n[Functional Tree]\nFuncKorvan=10\nSCSISystem=12\n"
                 "Software=30\n[Language Code]\n0409=English (US)\n"));
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
    for (const auto& [field, text] : {std::pair{cpu.Vendor, "Arvex"},
                                      {cpu.ProdName, "Cx64"},
                                      {cpu.ProdNumber, "CX-5300"},
                                      {cpu.ProdDescript, "CPU"},
                                      {cpu.ManuDate, "2006-10-20 00:00:00"},
                                      {cpu.Version, "B3"},
                                      {cpu.SerialNo, "123"},
                                      {cpu.CompId, "CPU1"}})
        CopyEntryText(field, text);
    agent.InsertComponent(&cpu);

    EXPECT_EQ(DataFile("Catalix.act"), Crlf(TestData("scan.act")));
    EXPECT_EQ(bios.PhysCont, 4u);
    EXPECT_EQ(bios.FuncCont, 2u);
    EXPECT_STREQ(bios.Vendor, "N/A");
    EXPECT_EQ(agent.CurPhysContainer, 4u);
    EXPECT_EQ(agent.CurFuncContainer, 2u);

    for (const char* line :
         {"\nComp Type : (A0) = BIOS", "\n   Init Physical Definition Table",
          "\n   Init Physical Container Table", "\n   Init Component Table",
          "\n   Physical Cont.   : (N)2 (T)-1 (P)1 Rack",
          "\n   Functional Cont. : (N)2 (T)30 (P)1 Software",
          "\nCX_MIB              : Insert component entry Nr. 2 \"CPU\" (Type: 10)",
          "\n    CONTAINER       : (PC)4 (FC)2 (CT)A0"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
}

TEST_F(InventorySequenceTest, AbortedScanLeftoversGoWhereTheNewScanWrites) {
    WriteDataFile("Catalix.act",
                  Crlf("[Functional Definition]\nType.1=7\nName.1=Kept\n[Physical Container]\n"
                       "NrContainer=9\nType.9=1\nName.9=Old\n[Component Table]\nNrComponents=5\n"
                       "Vendor.5=old\n[Firmware Update]\nNrUpdObjects=3\nObjectName.3=old\n"
                       "[Functional Container]\nNrContainer=2\nName.2=Stale\n"));
    WriteTableFile(Crlf("[Physical Tree]\nCabinet=3\n"));
    CCX_Agent& agent = *agent_;
    agent.InitComponentDefinitions();
    agent.InsertPhysicalContainer("Server", 0, "Cabinet", -1);
    ComponentEntry entry(1);
    agent.InsertComponent(&entry);
    FwUpdateObject object("Flash");
    object.UpdateState = 4;  // without a saved file every state is 0
    agent.InsertFwUpdateObject(&object);

    // Sections without a source in this scan keep what they had.
    EXPECT_EQ(DataFile("Catalix.act"), Crlf(TestData("aborted_scan.act")));
}

TEST_F(InventorySequenceTest, InitCommonStampsTheScanStartAndTheAgentInfo) {
    WriteDataFile("Catalix.act",
                  Crlf("[Last Date]\nScanState=DONE\nStale=1\n[Agent Info]\nAgentId=old\n"
                       "[Component Table]\nNrComponents=1\n"));
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

    // The agent info comes from the agent library's version strings.
    std::snprintf(agent_->m_szModulePath, sizeof(agent_->m_szModulePath), "%s",
                  CX_WRITERS_PROBE_PATH);
    agent_->InitCommon();
    EXPECT_EQ(IniSection(DataFile("Catalix.act"), "Agent Info"),
              Crlf("[Agent Info]\nAgentId=Writers probe\nAgentCompany=Catalix\n"
                   "AgentVersion=4.2.10.7\nAgentBuild=Build: Oct 20 2006, 08:57:39\n"));
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
    WriteTableFile(Crlf("[Functional Tree]\nSCSISystem=12\n"));
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

TEST_F(InventorySequenceTest, LongNamesAndUnterminatedTextsAndDatesStayWithinTheirFields) {
    WriteTableFile(Crlf("[Functional Tree]\nSCSISystem=12\n"));
    const std::string long_name(300, 'n');
    agent_->InsertFunctionalContainer(long_name.c_str(), 0, nullptr, 3);
    ComponentEntry entry(1);
    std::memset(entry.Vendor, 'v', sizeof(entry.Vendor));  // no terminator at all
    agent_->InsertComponent(&entry);
    std::string text = DataFile("Catalix.act");
    EXPECT_NE(text.find("Name.1=" + long_name.substr(0, 127) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("Vendor.1=" + std::string(127, 'v') + "\r\n"), std::string::npos);
    // A date without a terminator is read within its field too.
    std::memset(entry.ManuDate, '1', sizeof(entry.ManuDate));
    entry.ManuDate[2] = entry.ManuDate[5] = '/';
    agent_->ConvertManuDate(&entry);
    EXPECT_STREQ(entry.ManuDate, "2147483647-11-11 00:00:00");
}

TEST_F(InventorySequenceTest, StatesFollowTheirNamesFromTheSavedFile) {
    WriteDataFile(
        "Catalix.sav",
        Crlf("[Firmware Update]\nNrUpdObjects=4\nObjectName.1=Other\nUpdateState.1=5\n"
             "ObjectName.4=BIOS Flash\nUpdateState.4=3\nObjectName.07x=Trap\n"
             "UpdateState.07x=9\nObjectName.0=Trap\nUpdateState.0=9\nUpdateState.-1=8\n"));
    WriteTableFile("");
    for (int i = 0; i < 7; ++i) {
        ComponentEntry entry(1);
        agent_->InsertComponent(&entry);
    }
    FwUpdateObject bios("bios FLASH");  // names match without regard to case
    bios.UpdateState = 6;               // whatever the collector thought, the file decides
    CopyEntryText(bios.ObjectParent, "System Board");
    CopyEntryText(bios.ObjectPath, "/dev/flash");
    agent_->InsertFwUpdateObject(&bios);
    FwUpdateObject trap("Trap");  // only malformed rows carry this name
    trap.CompIndex = 2;
    agent_->InsertFwUpdateObject(&trap);
    FwUpdateObject unnamed;
    agent_->InsertFwUpdateObject(&unnamed);

    EXPECT_EQ(IniSection(DataFile("Catalix.act"), "Firmware Update"),
              Crlf("[Firmware Update]\nNrUpdObjects=3\nObjectName.1=bios FLASH\n"
                   "ObjectParent.1=System Board\nObjectPath.1=/dev/flash\nUpdateState.1=3\n"
                   "CompIndex.1=7\nObjectName.2=Trap\nObjectParent.2=N/A\nObjectPath.2=N/A\n"
                   "UpdateState.2=0\nCompIndex.2=2\nObjectName.3=FwObj3\nObjectParent.3=N/A\n"
                   "ObjectPath.3=N/A\nUpdateState.3=0\nCompIndex.3=7\n"));
    EXPECT_EQ(bios.UpdateState, 3);
    EXPECT_EQ(bios.CompIndex, 7);
    EXPECT_STREQ(unnamed.ObjectName, "FwObj3");
    EXPECT_EQ(TraceCount("\n   Init Firmware Update Object Table"), 1u);
    for (const char* line :
         {"\nCX_MIB              : Insert firmware update entry 1",
          "\nCX_MIB              :   Name      : bios FLASH",
          "\nCX_MIB              :   Parent    : System Board",
          "\nCX_MIB              :   Path      : /dev/flash",
          "\nCX_MIB              :   CompIndex : 7", "\nCX_MIB              :   State     : 3"}) {
        EXPECT_GE(TraceCount(line), 1u) << line;
    }
}

constexpr const char* kFormatMessage = "\n   DATE NOT IN FORMAT mm/dd/yy";

TEST_F(InventorySequenceTest, ConvertsOrKeepsEachForm) {
    struct Case {
        std::string date;
        std::string expected;  // "" : unchanged, with the format message
    };
    // Dates that are not numbers read as 0.
    const std::string nines = "12/31/" + std::string(121, '9');
    const Case cases[] = {{"12/31/05", "2005-12-31 00:00:00"},
                          {"01-02-99", "1999-01-02 00:00:00"},
                          {"07/04/70", "2070-07-04 00:00:00"},
                          {"07/04/71", "1971-07-04 00:00:00"},
                          {"07-04-1999", "1999-07-04 00:00:00"},
                          {"7/4/2006 10:20", "2006-07-04 00:00:00"},
                          {"1/2/3/4", "2004-01-02 00:00:00"},
                          {"ab/cd/ef", "2000-00-00 00:00:00"},
                          {"12/31/99999999999999", "2147483647-12-31 00:00:00"},
                          {nines, "2147483647-12-31 00:00:00"},
                          {"20051020", ""},
                          {"12/2005", ""},
                          {"2005-10", ""},
                          {"", ""}};
    std::size_t messages = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        ComponentEntry entry(0);
        CopyEntryText(entry.ManuDate, c.date.c_str());
        agent_->ConvertManuDate(&entry);
        if (c.expected.empty()) {
            EXPECT_EQ(std::string(entry.ManuDate), c.date);
            ++messages;
        } else {
            EXPECT_EQ(std::string(entry.ManuDate), c.expected);
        }
        EXPECT_EQ(TraceCount(kFormatMessage), messages);
    }
}

}  // namespace
}  // namespace cx::test
