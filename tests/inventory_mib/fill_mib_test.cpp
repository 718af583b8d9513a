// The Catalix MIB built from hand-written saved inventory files, as a manager walks it, also
// while it is rebuilt: every walk sees whole trees in OID order, never a mix of two, also when
// the agent shuts down in the middle of a rebuild.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "platform/files.h"
#include "platform/synch.h"
#include "test_data.h"

namespace cx::test {
namespace {

// The Catalix subtree as a manager sees it: each entry with the OID below the root, the name
// it was registered under and its value (INTEGER as decimal, OCTET STRING in double quotes).
struct MibCellSeen {
    std::string oid;  // below 1.3.6.1.4.1.7391.2.10.2.10, e.g. "5.1.1.6.12"
    std::string name;
    std::string value;  // INTEGER as decimal, OCTET STRING in double quotes
};

const std::string kRoot = "1.3.6.1.4.1.7391.2.10.2.10";

std::string ValueText(const AsnAny& value) {
    if (value.asnType == ASN_INTEGER) return std::to_string(value.asnValue.number);
    if (value.asnType == ASN_OCTETSTRING) {
        const AsnOctetString& text = value.asnValue.string;
        return "\"" + std::string(reinterpret_cast<const char*>(text.stream), text.length) + "\"";
    }
    return "type " + std::to_string(value.asnType);
}

// The request's binding after the tree answered, when the answer lies below the root.
std::optional<MibCellSeen> Ask(CCX_Agent& agent, const std::string& oid, BYTE type) {
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid(oid.c_str(), &binding.name);
    AsnInteger32 status = 0;
    std::string name;
    std::optional<MibCellSeen> cell;
    if (agent.MibGetVarbind(&binding, type, &status, &name) && status == 0) {
        std::string answered = OidToString(&binding.name, 0);
        if (answered.rfind(kRoot + ".", 0) == 0) {
            cell = MibCellSeen{answered.substr(kRoot.size() + 1), name, ValueText(binding.value)};
        }
    }
    SnmpUtilVarBindFree(&binding);
    return cell;
}

// Every entry of the subtree in OID order, walked by GETNEXT from the root.
std::vector<MibCellSeen> WalkCatalix(CCX_Agent& agent) {
    std::vector<MibCellSeen> cells;
    std::string oid = kRoot;
    while (auto cell = Ask(agent, oid, SNMP_PDU_GETNEXT)) {
        oid = kRoot + "." + cell->oid;
        cells.push_back(std::move(*cell));
    }
    return cells;
}

// The cells as lines of OID, name and value separated by tabs.
std::string CellsText(const std::vector<MibCellSeen>& cells) {
    std::string text;
    for (const MibCellSeen& cell : cells)
        text += cell.oid + "\t" + cell.name + "\t" + cell.value + "\n";
    return text;
}

std::string Header(const std::string& last_date, const std::string& scan_state) {
    return "[Last Date]\nLastCollectionDate=2006-10-18 10:21:36\nLastScanDate=2006-10-18 "
           "10:21:36\nLastDate=" +
           last_date + "\nLastScan=4539A1F1\nScanState=" + scan_state + "\n";
}

// Agent info, definitions, containers, one component and two firmware-update objects.
const std::string kTables = TestData("tables.sav");

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
    // The value of exactly `oid` (below the root), or "absent".
    std::string Value(const std::string& oid) {
        auto cell = Ask(*agent_, kRoot + "." + oid, SNMP_PDU_GET);
        return cell ? cell->value : "absent";
    }
};

TEST_F(FillMibTest, SavedFileIsPublishedWithNamesTypesAndRowsInOidOrder) {
    WriteSaved(Header("4539A1F0", "DONE") + kTables);
    agent_->FillMib();

    // Physical container 2 holds type -1: its table ends there, row 3 is not published.
    EXPECT_EQ(CellsText(WalkCatalix(*agent_)), TestData("walk.txt"));
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
    const Case cases[] = {{"4539A1F0", "SCANNING", "1161404912", kScanStateScanning},
                          {"4539a1f0", "scanning", "1161404912", kScanStateScanning},
                          {"12XYZ", "ScAnNiNg", "18", kScanStateScanning},
                          {"0x1F", "DONE", "31", kScanStateDone},
                          {"garbage", "done", "0", kScanStateDone},
                          {"", "DONEX", "0", kScanStateOther},
                          {"FFFFFFFF", "", "-1", kScanStateOther},
                          {"123456789A", "SCANNING DONE", "-1", kScanStateOther}};
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
    EXPECT_GE(std::stoll(cells[3].value), static_cast<long long>(before));
    EXPECT_LE(std::stoll(cells[3].value), static_cast<long long>(after));
    cells[3].value = "*";
    EXPECT_EQ(CellsText(cells),
              "1.2.0\tavkCxAgentCompany\t\"\"\n1.3.0\tavkCxAgentVersion\t\"\"\n"
              "1.4.0\tavkCxAgentBuild\t\"Build: Oct 20 2006, 08:57:29\"\n"
              "2.1.0\tavkCxLastDate\t*\n2.3.0\tavkCxScanState\t1\n");
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
    const std::string before = CellsText(WalkCatalix(*agent_));
    ASSERT_GT(before.size(), 200u);

    WriteSaved(Header("2", "SCANNING") + "[Component Definition]\n0C=Storage Controller\n");
    g_MibBuildFailAfter = 5;
    agent_->FillMib();
    EXPECT_EQ(CellsText(WalkCatalix(*agent_)), before);
    EXPECT_EQ(agent_->ScanState, kScanStateDone);
    EXPECT_EQ(TraceCount("\nCX_MIB FillMib      : ERROR! Out of memory - the old MIB is kept"), 1u);

    // The next rebuild drops the rows the new file no longer has.
    g_MibBuildFailAfter = 0;
    agent_->FillMib();
    EXPECT_EQ(WalkCatalix(*agent_).size(), 10u);  // seven scalars and one definition row
    EXPECT_EQ(agent_->ScanState, kScanStateScanning);
}

constexpr int kComponents = 40;
// Seven scalars, and thirteen columns per component.
constexpr std::size_t kEntries = 7 + 13 * kComponents;

// A saved file whose every component names its generation as vendor and whose LastDate is
// the generation (in hexadecimal, as the scan writes it), with the same objects in every
// generation.
std::string SavedFile(int generation, int components = kComponents) {
    const std::string tag = "g" + std::to_string(generation);
    char last_date[16];
    std::snprintf(last_date, sizeof(last_date), "%X", static_cast<unsigned>(generation));
    std::string text = "[Last Date]\nLastDate=" + std::string(last_date) +
                       "\nLastScan=1\nScanState=DONE\n[Agent Info]\nAgentId=Catalix Inventory "
                       "Agent\n[Component Table]\n";
    for (int row = 1; row <= components; ++row) {
        const std::string n = std::to_string(row);
        text += "PhysCont." + n + "=1\nVendor." + n + "=" + tag + "\nSerialNo." + n + "=LBXX" + n +
                "\n";
    }
    return text;
}

// The generation a cell names: LastDate, or a vendor "gN" (-1: none).
long GenerationOf(const MibCellSeen& cell) {
    if (cell.oid == "2.1.0") return std::stol(cell.value);
    return cell.value.rfind("\"g", 0) == 0 ? std::stol(cell.value.substr(2)) : -1;
}

// A walk as one request would make it: every GETNEXT under one hold of the MIB lock.
std::vector<MibCellSeen> WalkUnderOneLock(CCX_Agent& agent) {
    EnterCriticalSection(&agent.m_MibLock);
    std::vector<MibCellSeen> walk = WalkCatalix(agent);
    LeaveCriticalSection(&agent.m_MibLock);
    return walk;
}

// A manager's walk: one request per GETNEXT, through the agent's request dispatch.
std::vector<MibCellSeen> WalkByRequests(CCX_Agent& agent) {
    std::vector<MibCellSeen> walk;
    SnmpVarBindList list{};
    list.len = 1;
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    list.list[0].value.asnType = ASN_NULL;
    StringToOid(kRoot.c_str(), &list.list[0].name);
    for (;;) {
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        agent.SnmpQuery(SNMP_PDU_GETNEXT, &list, &status, &index);
        if (status != SNMP_ERRORSTATUS_NOERROR) break;
        const std::string oid = OidToString(&list.list[0].name, 0);
        if (oid.rfind(kRoot + ".", 0) != 0) break;
        walk.push_back({oid.substr(kRoot.size() + 1), "", ValueText(list.list[0].value)});
    }
    SnmpUtilVarBindListFree(&list);
    return walk;
}

// The arcs of a dotted OID, which compare as OIDs do.
std::vector<unsigned long> Arcs(const std::string& oid) {
    std::vector<unsigned long> arcs;
    std::istringstream in(oid);
    for (std::string arc; std::getline(in, arc, '.');)
        arcs.push_back(std::stoul(arc));
    return arcs;
}

// What is wrong with a walk: not `size` cells (0: any), an OID out of order, a generation
// going back, or several generations where one is due; "" when nothing.
std::string WalkFault(const std::vector<MibCellSeen>& walk, std::size_t size, bool one) {
    if (size != 0 && walk.size() != size) return "walk of " + std::to_string(walk.size());
    long first = -1;
    long last = -1;
    for (std::size_t i = 0; i < walk.size(); ++i) {
        if (i > 0 && Arcs(walk[i].oid) <= Arcs(walk[i - 1].oid))
            return walk[i].oid + " after " + walk[i - 1].oid;
        const long generation = GenerationOf(walk[i]);
        if (generation < 0) continue;
        if (generation < last || (one && first >= 0 && generation != first))
            return "generation " + std::to_string(generation) + " at " + walk[i].oid;
        if (first < 0) first = generation;
        last = generation;
    }
    return first < 1 ? "no generation" : "";
}

class MibRebuildTest : public FillMibTest {
  protected:
    void SetUp() override {
        FillMibTest::SetUp();
        // Thousands of requests: their trace would only slow the walkers down.
        g_FileDebug.Init(nullptr, FALSE);
        agent_->AddMibRegion(kRoot.c_str());
        agent_->m_InitDone = 1;
    }
    void TearDown() override {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
        FillMibTest::TearDown();
    }

    // Rebuilds from generation 1 on, every `pause`, until stopped or shut down.
    void StartRebuilds(std::chrono::milliseconds pause, int components = kComponents) {
        WriteSaved(SavedFile(1, components));
        agent_->FillMib();
        threads_.emplace_back([this, pause, components] {
            for (int generation = 2; !stop_ && AgentShutdown == 0; ++generation) {
                WriteSaved(SavedFile(generation, components));
                agent_->FillMib();
                ++rebuilds_;
                std::this_thread::sleep_for(pause);
            }
            rebuilder_done_ = true;
        });
    }
    std::atomic<bool> stop_{false};
    std::atomic<bool> rebuilder_done_{false};
    std::atomic<int> rebuilds_{0};
    std::vector<std::thread> threads_;
};

// Half the walkers walk under one hold of the MIB lock and must see exactly one generation;
// the others walk request by request, and must see every object once, in order, with
// generations that never go back.
TEST_F(MibRebuildTest, EightWalkersDuringRebuildsEvery100msSeeWholeOrderedTrees) {
    StartRebuilds(std::chrono::milliseconds(100));
    std::atomic<int> walks{0};
    std::vector<std::thread> walkers;
    std::vector<std::string> failures(8);
    for (int w = 0; w < 8; ++w) {
        walkers.emplace_back([&, w] {
            while (rebuilds_ < 8 && failures[w].empty()) {
                const bool one_lock = w % 2 == 0;
                const auto walk = one_lock ? WalkUnderOneLock(*agent_) : WalkByRequests(*agent_);
                failures[w] = WalkFault(walk, kEntries, one_lock);
                ++walks;
            }
        });
    }
    for (std::thread& walker : walkers)
        walker.join();
    for (int w = 0; w < 8; ++w)
        EXPECT_EQ(failures[w], "") << "walker " << w;
    EXPECT_GE(walks.load(), 8);
}

// The shutdown flag cuts a rebuild of a large file short: it ends at once, what it serves is
// still one whole tree, requests are refused from then on, and nothing is served after the
// MIB is deleted.
TEST_F(MibRebuildTest, ShutdownDuringARebuildEndsItWithAWholeTree) {
    StartRebuilds(std::chrono::milliseconds(0), 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto shutdown_at = std::chrono::steady_clock::now();
    AgentShutdown = 1;
    ASSERT_TRUE(WaitUntil([this] { return rebuilder_done_.load(); }, std::chrono::seconds(10)));
    EXPECT_LT(std::chrono::steady_clock::now() - shutdown_at, std::chrono::seconds(5));

    EXPECT_EQ(WalkFault(WalkUnderOneLock(*agent_), 0, true), "");
    EXPECT_TRUE(WalkByRequests(*agent_).empty());  // refused

    agent_->DeleteMib();
    EXPECT_EQ(agent_->MibEntryCount(), 0u);
}

}  // namespace
}  // namespace cx::test
