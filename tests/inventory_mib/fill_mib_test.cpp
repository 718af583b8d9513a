// The Catalix MIB built from hand-written saved inventory files, as a manager walks it.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "mib_walk.h"
#include "platform/files.h"
#include "platform/synch.h"

namespace cx::test {
namespace {

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Header(const std::string& last_date, const std::string& scan_state) {
    return "[Last Date]\nLastCollectionDate=2006-10-18 10:21:36\nLastScanDate=2006-10-18 "
           "10:21:36\nLastDate=" +
           last_date + "\nLastScan=4539A1F1\nScanState=" + scan_state + "\n";
}

const std::string kAgentInfo =
    "[Agent Info]\nAgentId=Catalix Inventory Agent\nAgentCompany=Arvenmark\n"
    "AgentVersion=4.10.0\nAgentBuild=Build: Oct 20 2006, 08:57:39\n";

const std::string kTables = R"([Component Definition]
0C=Storage Controller
12=Network Controller
[Physical Definition]
Type.1=1
Name.1=PhysKorvan
[Functional Definition]
Type.1=2
Name.1=FuncKorvan
[Physical Container]
NrContainer=3
Type.1=1
Parent.1=0
Name.1=Cabinet
Type.2=4294967295
Parent.2=1
Name.2=Unknown
Type.3=1
Parent.3=0
Name.3=Hidden
[Functional Container]
NrContainer=1
Type.1=7
Name.1=System Board
[Component Table]
NrComponents=1
PhysCont.1=1
FuncCont.1=1
CompType.1=160
Vendor.1=Catalix
ProdName.1=BIOS
ManuDate.1=2006-10-18 00:00:00
Version.1=6.00
[Firmware Update]
NrUpdObjects=2
ObjectName.1=BIOS
ObjectParent.1=N/A
ObjectPath.1=N/A
UpdateState.1=0
CompIndex.1=1
ObjectName.2=Flash
ObjectParent.2=Board
ObjectPath.2=C:\fw\bios
UpdateState.2=3
CompIndex.2=1
)";

class FillMibTest : public InventoryTest {
  protected:
    // Deleting through the platform first drops the parsed copy the last build read.
    void WriteSaved(const std::string& text) {
        DeleteFileA(DataPath("Catalix.sav").c_str());
        WriteDataFile("Catalix.sav", Crlf(text));
    }
    void TearDown() override {
        g_MibBuildFailAfter = 0;
        InventoryTest::TearDown();
    }
    std::string Value(const std::string& oid) {
        auto cell = GetCatalix(*agent_, oid);
        return cell ? cell->value : "absent";
    }
};

TEST_F(FillMibTest, SavedFileIsPublishedWithNamesTypesAndRowsInOidOrder) {
    WriteSaved(Header("4539A1F0", "DONE") + kAgentInfo + kTables);
    agent_->FillMib();

    // Physical container 2 holds type -1: its table ends there, row 3 is not published.
    const std::vector<MibCellSeen> expected = {
        {"1.1.0", "avkCxAgentId", "\"Catalix Inventory Agent\""},
        {"1.2.0", "avkCxAgentCompany", "\"Arvenmark\""},
        {"1.3.0", "avkCxAgentVersion", "\"4.10.0\""},
        {"1.4.0", "avkCxAgentBuild", "\"Build: Oct 20 2006, 08:57:39\""},
        {"2.1.0", "avkCxLastDate", "1161404912"},
        {"2.2.0", "avkCxLastScan", "1161404913"},
        {"2.3.0", "avkCxScanState", "3"},
        {"3.1.1.1.1", "avkCxCompDefNo", "1"},
        {"3.1.1.1.2", "avkCxCompDefNo", "2"},
        {"3.1.1.2.1", "avkCxCompDefType", "12"},
        {"3.1.1.2.2", "avkCxCompDefType", "18"},
        {"3.1.1.3.1", "avkCxCompDefName", "\"Storage Controller\""},
        {"3.1.1.3.2", "avkCxCompDefName", "\"Network Controller\""},
        {"3.2.1.1.1", "avkCxPhysNodeDefNo", "1"},
        {"3.2.1.2.1", "avkCxPhysNodeDefType", "1"},
        {"3.2.1.3.1", "avkCxPhysNodeDefName", "\"PhysKorvan\""},
        {"3.3.1.1.1", "avkCxFuncNodeDefNo", "1"},
        {"3.3.1.2.1", "avkCxFuncNodeDefType", "2"},
        {"3.3.1.3.1", "avkCxFuncNodeDefName", "\"FuncKorvan\""},
        {"4.1.1.1.1", "avkCxPhysContNo", "1"},
        {"4.1.1.2.1", "avkCxPhysContType", "1"},
        {"4.1.1.3.1", "avkCxPhysContParent", "0"},
        {"4.1.1.4.1", "avkCxPhyscContName", "\"Cabinet\""},
        {"4.2.1.1.1", "avkCxFuncContNo ", "1"},
        {"4.2.1.2.1", "avkCxFuncContType", "7"},
        {"4.2.1.3.1", "avkCxFuncContParent", "0"},
        {"4.2.1.4.1", "avkCxFuncContName", "\"System Board\""},
        {"5.1.1.1.1", "avkCxInfoNo", "1"},
        {"5.1.1.2.1", "avkCxInfoPhysContNo", "1"},
        {"5.1.1.3.1", "avkCxInfoFuncContNo", "1"},
        {"5.1.1.4.1", "avkCxInfoCompType", "160"},
        {"5.1.1.5.1", "avkCxInfoVendor", "\"Catalix\""},
        {"5.1.1.6.1", "avkCxInfoProductName", "\"BIOS\""},
        {"5.1.1.7.1", "avkCxInfoProductNumber", "\"\""},
        {"5.1.1.8.1", "avkCxInfoProductDescription", "\"\""},
        {"5.1.1.9.1", "avkCxInfoVersion", "\"6.00\""},
        {"5.1.1.10.1", "avkCxInfoManufacturingDate", "\"2006-10-18 00:00:00\""},
        {"5.1.1.11.1", "avkCxInfoSerialNo", "\"\""},
        {"5.1.1.12.1", "avkCxInfoLanguage", "\"\""},
        {"5.1.1.13.1", "avkCxInfoCompId", "\"\""},
        {"6.1.1.1.1", "AvkCxFwuObjectNo", "1"},
        {"6.1.1.1.2", "AvkCxFwuObjectNo", "2"},
        {"6.1.1.2.1", "AvkCxFwuObjectName", "\"BIOS\""},
        {"6.1.1.2.2", "AvkCxFwuObjectName", "\"Flash\""},
        {"6.1.1.3.1", "AvkCxFwuObjectPath", "\"N/A\""},
        {"6.1.1.3.2", "AvkCxFwuObjectPath", "\"Board\""},
        {"6.1.1.4.1", "AvkCxFwuObjectParent", "\"N/A\""},
        {"6.1.1.4.2", "AvkCxFwuObjectParent", "\"C:\\fw\\bios\""},
        {"6.1.1.5.1", "AvkCxFwuObjectUpdateState", "0"},
        {"6.1.1.5.2", "AvkCxFwuObjectUpdateState", "3"},
        {"6.1.1.6.1", "AvkCxFwuObjectComponentIndex", "1"},
        {"6.1.1.6.2", "AvkCxFwuObjectComponentIndex", "1"},
    };
    EXPECT_EQ(WalkCatalix(*agent_), expected);
    EXPECT_EQ(agent_->ScanState, kScanStateDone);
    EXPECT_EQ(TraceCount("## Const table entry: avkCxFuncContNo                - Oid="), 1u);
}

TEST_F(FillMibTest, ScalarsReadAsTheSavedFileWritesThem) {
    struct Case {
        const char* last_date;
        const char* scan_state;
        const char* published_date;
        DWORD published_state;
    };
    const Case cases[] = {
        {"4539A1F0", "SCANNING", "1161404912", kScanStateScanning},
        {"4539a1f0", "scanning", "1161404912", kScanStateScanning},
        {"12XYZ", "ScAnNiNg", "18", kScanStateScanning},
        {"0x1F", "DONE", "31", kScanStateDone},
        {"garbage", "done", "0", kScanStateDone},
        {"", "DONEX", "0", kScanStateOther},
        {"FFFFFFFF", "", "-1", kScanStateOther},
        {"123456789A", "SCANNING DONE", "-1", kScanStateOther},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last_date);
        WriteSaved(Header(c.last_date, c.scan_state));
        agent_->FillMib();
        EXPECT_EQ(Value("2.1.0"), c.published_date);
        EXPECT_EQ(Value("2.3.0"), std::to_string(c.published_state));
        EXPECT_EQ(agent_->ScanState, c.published_state);
    }
    WriteSaved("[Last Date]\nLastDate=10\n");
    agent_->FillMib();
    EXPECT_EQ(Value("2.3.0"), "1");
    EXPECT_EQ(Value("2.2.0"), "0");
    EXPECT_EQ(Value("1.1.0"), "\"\"");
}

TEST_F(FillMibTest, TablesEndAtTheFirstMissingOrMinusOneProbeKey) {
    std::string components = "[Component Table]\n";
    for (int row = 1; row <= 3; ++row) {
        components += "PhysCont." + std::to_string(row) + "=1\nVendor." + std::to_string(row) +
                      "=V" + std::to_string(row) + "\n";
    }
    components += "PhysCont.5=1\n";  // after the gap: never reached
    WriteSaved(Header("1", "DONE") + components +
               "[Physical Definition]\nType.1=-1\nName.1=gone\n"
               "[Firmware Update]\nObjectName.1=no index\nCompIndex.2=1\n");
    agent_->FillMib();

    std::vector<MibCellSeen> cells = WalkCatalix(*agent_);
    std::size_t component_cells = 0;
    for (const MibCellSeen& cell : cells) {
        EXPECT_NE(cell.oid.rfind("3.2.", 0), 0u) << cell.oid;
        EXPECT_NE(cell.oid.rfind("6.", 0), 0u) << cell.oid;
        if (cell.oid.rfind("5.1.1.", 0) == 0) ++component_cells;
    }
    EXPECT_EQ(component_cells, 39u);
    EXPECT_EQ(Value("5.1.1.5.3"), "\"V3\"");
    EXPECT_EQ(Value("5.1.1.1.5"), "absent");
}

TEST_F(FillMibTest, WithoutSavedFileOnlyTheShortSetIsPublished) {
    std::time_t before = std::time(nullptr);
    agent_->FillMib();
    std::time_t after = std::time(nullptr);

    std::vector<MibCellSeen> cells = WalkCatalix(*agent_);
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_EQ(cells[0], (MibCellSeen{"1.2.0", "avkCxAgentCompany", "\"\""}));
    EXPECT_EQ(cells[1], (MibCellSeen{"1.3.0", "avkCxAgentVersion", "\"\""}));
    EXPECT_EQ(cells[2],
              (MibCellSeen{"1.4.0", "avkCxAgentBuild", "\"Build: Oct 20 2006, 08:57:29\""}));
    EXPECT_EQ(cells[3].oid, "2.1.0");
    EXPECT_GE(std::stoll(cells[3].value), static_cast<long long>(before));
    EXPECT_LE(std::stoll(cells[3].value), static_cast<long long>(after));
    EXPECT_EQ(cells[4], (MibCellSeen{"2.3.0", "avkCxScanState", "1"}));
    EXPECT_EQ(TraceCount("\n--> NO SAVED DATA"), 1u);

    // The first scan's state registers avkCxLastScan beside them; the next one replaces it.
    agent_->SetScanState(kScanStateScanning);
    EXPECT_EQ(agent_->MibEntryCount(), 6u);
    EXPECT_EQ(Value("2.3.0"), "2");
    agent_->SetScanState(kScanStateDone);
    EXPECT_EQ(agent_->MibEntryCount(), 6u);
    EXPECT_EQ(Value("2.3.0"), "3");
    EXPECT_EQ(agent_->ScanState, kScanStateDone);
    EXPECT_GE(std::stoll(Value("2.2.0")), static_cast<long long>(before));
}

TEST_F(FillMibTest, RebuildDropsRowsTheNewFileNoLongerHas) {
    WriteSaved(Header("1", "DONE") + kTables);
    agent_->FillMib();
    WriteSaved(Header("2", "DONE") + "[Component Definition]\n0C=Storage Controller\n");
    agent_->FillMib();
    std::vector<MibCellSeen> cells = WalkCatalix(*agent_);
    ASSERT_EQ(cells.size(), 10u);  // seven scalars and one definition row
    EXPECT_EQ(cells.back(),
              (MibCellSeen{"3.1.1.3.1", "avkCxCompDefName", "\"Storage Controller\""}));
}

TEST_F(FillMibTest, ShutdownLetsEachTableThatFollowsPublishAtMostItsFirstRow) {
    WriteSaved(Header("1", "DONE") + kTables);
    AgentShutdown = 1;
    agent_->FillMib();
    EXPECT_EQ(Value("3.1.1.1.1"), "absent");  // the definition walk checks before each key
    EXPECT_EQ(Value("6.1.1.1.1"), "1");
    EXPECT_EQ(Value("6.1.1.1.2"), "absent");
    EXPECT_EQ(TraceCount("\nCX_MIB FillMib      : ABORTED (AgentShutdown)"), 1u);
}

// The new MIB is read and built, entry traces and all, before the lock is taken; under it the
// new tree only replaces the old, which is freed after the lock is dropped.
TEST_F(FillMibTest, TheMibIsBuiltBeforeTheMibLockIsTaken) {
    WriteSaved(Header("4539A1F0", "DONE") + kTables);
    EnterCriticalSection(&agent_->m_MibLock);
    std::thread builder([this] { agent_->FillMib(); });
    // While the builder waits for the lock, the file is gone: what it publishes was read.
    bool waiting = WaitUntil([this] { return TraceCount("\n--> LOCK MIB ") == 1; });
    DeleteFileA(DataPath("Catalix.sav").c_str());
    LeaveCriticalSection(&agent_->m_MibLock);
    builder.join();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(Value("2.1.0"), "1161404912");
    EXPECT_EQ(Value("4.1.1.4.1"), "\"Cabinet\"");

    std::string trace = TraceText();
    std::size_t at = 0;
    for (const char* step : {"\n  CX_Mib: Write to MIB", "\n  -->        new MIB",
                             "## Const MIB entry:", "\n--> LOCK MIB ", "\n--> UNLOCK MIB ",
                             "\n  --> Delete old MIB ", "\n   MIB write time : "}) {
        std::size_t found = trace.find(step, at);
        ASSERT_NE(found, std::string::npos) << step;
        at = found;
    }
}

// A rebuild that runs out of memory half-way serves nothing of the new file: the old MIB and
// scan state stay whole, and the next rebuild goes through.
TEST_F(FillMibTest, ARebuildThatRunsOutOfMemoryKeepsTheOldMib) {
    WriteSaved(Header("1", "DONE") + kTables);
    agent_->FillMib();
    const std::vector<MibCellSeen> before = WalkCatalix(*agent_);
    ASSERT_GT(before.size(), 20u);

    WriteSaved(Header("2", "SCANNING") + "[Component Definition]\n0C=Storage Controller\n");
    g_MibBuildFailAfter = 5;
    agent_->FillMib();
    EXPECT_EQ(WalkCatalix(*agent_), before);
    EXPECT_EQ(agent_->ScanState, kScanStateDone);
    EXPECT_EQ(TraceCount("\nCX_MIB FillMib      : ERROR! Out of memory - the old MIB is kept"), 1u);

    g_MibBuildFailAfter = 0;
    agent_->FillMib();
    EXPECT_EQ(WalkCatalix(*agent_).size(), 10u);
    EXPECT_EQ(agent_->ScanState, kScanStateScanning);
}

}  // namespace
}  // namespace cx::test
