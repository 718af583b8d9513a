// Managers walking the Catalix MIB while it is rebuilt: every walk sees whole trees in OID
// order, never a mix of two, also when the agent shuts down in the middle of a rebuild.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "platform/files.h"
#include "platform/synch.h"

namespace cx::test {
namespace {

constexpr const char* kRoot = "1.3.6.1.4.1.7391.2.10.2.10";
constexpr int kComponents = 40;
// Seven scalars, and thirteen columns per component.
constexpr std::size_t kEntries = 7 + 13 * kComponents;

// A saved file whose every component names its generation as vendor and whose LastDate is
// the generation, with the same objects in every generation.
std::string SavedFile(int generation, int components = kComponents) {
    const std::string tag = "g" + std::to_string(generation);
    std::string text = "[Last Date]\r\nLastDate=" + std::to_string(generation) +
                       "\r\nLastScan=1\r\nScanState=DONE\r\n[Agent Info]\r\nAgentId=Catalix "
                       "Inventory Agent\r\n[Component Table]\r\n";
    for (int row = 1; row <= components; ++row) {
        const std::string n = std::to_string(row);
        text += "PhysCont." + n + "=1\r\nVendor." + n + "=" + tag + "\r\nSerialNo." + n + "=LBXX" +
                n + "\r\n";
    }
    return text;
}

// One answer of a walk: the OID and the value as the generation it names (-1: none).
struct Answer {
    std::string oid;
    long generation;
};

long GenerationOf(const SnmpVarBind& binding, const std::string& oid) {
    if (oid == std::string(kRoot) + ".2.1.0") return binding.value.asnValue.number;  // LastDate
    if (binding.value.asnType != ASN_OCTETSTRING) return -1;
    const AsnOctetString& text = binding.value.asnValue.string;
    std::string value(reinterpret_cast<const char*>(text.stream), text.length);
    return value.size() > 1 && value[0] == 'g' ? std::stol(value.substr(1)) : -1;
}

bool Below(const std::string& oid) { return oid.rfind(std::string(kRoot) + ".", 0) == 0; }

// A walk as one request would make it: every GETNEXT under one hold of the MIB lock.
std::vector<Answer> WalkUnderOneLock(CCX_Agent& agent) {
    std::vector<Answer> walk;
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid(kRoot, &binding.name);
    EnterCriticalSection(&agent.m_MibLock);
    AsnInteger32 status = 0;
    while (agent.MibGetVarbind(&binding, SNMP_PDU_GETNEXT, &status, nullptr)) {
        std::string oid = OidToString(&binding.name, 0);
        if (!Below(oid)) break;
        walk.push_back({oid, GenerationOf(binding, oid)});
    }
    LeaveCriticalSection(&agent.m_MibLock);
    SnmpUtilVarBindFree(&binding);
    return walk;
}

// A manager's walk: one request per GETNEXT, through the agent's request dispatch.
std::vector<Answer> WalkByRequests(CCX_Agent& agent) {
    std::vector<Answer> walk;
    SnmpVarBindList list{};
    list.len = 1;
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    list.list[0].value.asnType = ASN_NULL;
    StringToOid(kRoot, &list.list[0].name);
    for (;;) {
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        agent.SnmpQuery(SNMP_PDU_GETNEXT, &list, &status, &index);
        if (status != SNMP_ERRORSTATUS_NOERROR) break;
        std::string oid = OidToString(&list.list[0].name, 0);
        if (!Below(oid)) break;
        walk.push_back({oid, GenerationOf(list.list[0], oid)});
    }
    SnmpUtilVarBindListFree(&list);
    return walk;
}

// In OID order, each OID once.
::testing::AssertionResult Ordered(const std::vector<Answer>& walk) {
    for (std::size_t i = 1; i < walk.size(); ++i) {
        AsnObjectIdentifier before{};
        AsnObjectIdentifier after{};
        StringToOid(walk[i - 1].oid.c_str(), &before);
        StringToOid(walk[i].oid.c_str(), &after);
        const int order = SnmpUtilOidCmp(&before, &after);
        SnmpUtilOidFree(&before);
        SnmpUtilOidFree(&after);
        if (order >= 0)
            return ::testing::AssertionFailure() << walk[i].oid << " after " << walk[i - 1].oid;
    }
    return ::testing::AssertionSuccess();
}

// The generations a walk saw, lowest and highest.
std::pair<long, long> Generations(const std::vector<Answer>& walk) {
    long low = -1;
    long high = -1;
    for (const Answer& answer : walk) {
        if (answer.generation < 0) continue;
        if (low < 0 || answer.generation < low) low = answer.generation;
        if (answer.generation > high) high = answer.generation;
    }
    return {low, high};
}

class MibRebuildTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        // Thousands of requests: their trace would only slow the walkers down.
        g_FileDebug.Init(nullptr, FALSE);
        agent_->AddMibRegion(kRoot);
        agent_->m_InitDone = 1;
    }
    void TearDown() override {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
        InventoryTest::TearDown();
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
    void WriteSaved(const std::string& text) {
        DeleteFileA(DataPath("Catalix.sav").c_str());
        WriteDataFile("Catalix.sav", text);
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
                const auto [low, high] = Generations(walk);
                if (walk.size() != kEntries) {
                    failures[w] = "walk of " + std::to_string(walk.size()) + " objects";
                } else if (auto ordered = Ordered(walk); !ordered) {
                    failures[w] = ordered.message();
                } else if (low < 1 || (one_lock && low != high)) {
                    failures[w] =
                        "generations " + std::to_string(low) + " to " + std::to_string(high);
                }
                for (std::size_t i = 1; i < walk.size() && failures[w].empty(); ++i) {
                    if (walk[i].generation >= 0 && walk[i].generation < walk[i - 1].generation)
                        failures[w] = "generation went back at " + walk[i].oid;
                }
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

    const auto walk = WalkUnderOneLock(*agent_);
    EXPECT_TRUE(Ordered(walk));
    const auto [low, high] = Generations(walk);
    EXPECT_EQ(low, high);
    EXPECT_TRUE(WalkByRequests(*agent_).empty());  // refused

    agent_->DeleteMib();
    EXPECT_EQ(agent_->MibEntryCount(), 0u);
}

}  // namespace
}  // namespace cx::test
