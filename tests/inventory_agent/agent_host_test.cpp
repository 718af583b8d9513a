// The Catalix agent in extagentd with cx-switchd: what a manager sees before and after the
// first scan, rescans by event and by interval, change detection,
// shutdown while a scan waits, and the library's unload when the host stops.
#include <gtest/gtest.h>

#include "catalix_host.h"
#include "platform/profile.h"
#include "registry_values.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

// Sends one rescan request event through the SWITCH server.
void SendRescanEvent(const TempDir& temp, int data = 1) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%02X", data);
    ChildOptions options;
    options.environment["CX_REGISTRY"] = temp.File("registry.db");
    const ToolResult sent =
        RunTool({CX_SWITCH_TOOL_PATH, "event", "0x0C80", "0", "0", "0", "--data", hex}, temp.Path(),
                30s, options);
    ASSERT_EQ(sent.exit_code, 0) << sent.out << sent.err;
}

// The first type of [Component Type] in the project's table file: its name (the key) and its
// number (the value).
std::pair<std::string, std::string> FirstComponentType() {
    const std::string path = std::string(CX_PROJECT_DATA) + "/CX_MIB.ini";
    char keys[4096] = {};
    GetPrivateProfileStringA("Component Type", nullptr, "", keys, sizeof(keys), path.c_str());
    char value[256] = {};
    GetPrivateProfileStringA("Component Type", keys, "", value, sizeof(value), path.c_str());
    return {keys, value};
}

std::size_t CountPrefix(const std::map<std::string, std::string>& walk, const std::string& prefix) {
    std::size_t count = 0;
    for (const auto& [oid, value] : walk)
        count += oid.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

TEST_F(CatalixHostTest, FirstStartServesTheReducedMibUntilTheFirstScanEnds) {
    SetReady(false);  // the first scan waits for the server-control agent
    StartSwitch();
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\nwait till SC Agent initialized ")) << Trace();

    auto reduced = WalkMap();
    EXPECT_EQ(reduced.count(".1.1.0"), 0u) << "no agent id without a saved file";
    EXPECT_EQ(reduced[".1.4.0"], "STRING: \"Build: Oct 20 2006, 08:57:29\"");
    EXPECT_EQ(reduced.count(".1.2.0"), 1u);
    EXPECT_EQ(reduced.count(".1.3.0"), 1u);
    EXPECT_EQ(reduced.count(".2.1.0"), 1u);
    EXPECT_EQ(reduced[".2.3.0"], "INTEGER: 2");
    EXPECT_EQ(CountPrefix(reduced, ".3."), 0u);
    EXPECT_FALSE(DataFileExists("Catalix.sav"));

    SetReady(true);
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    EXPECT_TRUE(DataFileExists("Catalix.sav"));
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_EQ(TraceCount("\n!!! NO SAVED FILE"), 1u);

    auto full = WalkMap();
    EXPECT_EQ(full[".1.4.0"], "STRING: \"Build: Oct 20 2006, 08:57:39\"");
    EXPECT_EQ(full[".2.3.0"], "INTEGER: 3");
    const auto [name, type] = FirstComponentType();
    ASSERT_FALSE(type.empty());
    EXPECT_EQ(full[".3.1.1.1.1"], "INTEGER: 1");
    EXPECT_EQ(full[".3.1.1.2.1"], "INTEGER: " + std::to_string(std::stoul(type, nullptr, 16)));
    EXPECT_EQ(full[".3.1.1.3.1"], "STRING: \"" + name + "\"");
    EXPECT_GT(CountPrefix(full, ".3.2.1.2."), 0u);
    EXPECT_GT(CountPrefix(full, ".3.3.1.2."), 0u);
}

TEST_F(CatalixHostTest, RescanEventsOfAnUnchangedInventory) {
    StartSwitch();
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    const auto first = WalkMap();

    // Nothing changed: the saved file stays, only the scan objects move on.
    SendRescanEvent(temp_);
    ASSERT_TRUE(WaitForTrace("\nCX_MIB              : FORCED RESCAN")) << Trace();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 2)) << Trace();
    EXPECT_EQ(TraceCount("\n*** FILES ARE IDENTICAL"), 1u);
    auto second = WalkMap();
    EXPECT_EQ(second[".2.3.0"], "INTEGER: 3");
    EXPECT_EQ(second.count(".2.2.0"), 1u);
    auto without_scan_objects = [](std::map<std::string, std::string> walk) {
        walk.erase(".2.2.0");
        return walk;
    };
    EXPECT_EQ(without_scan_objects(second), without_scan_objects(first));

    // A rescan request while a scan runs is only noted.
    SetReady(false);
    SendRescanEvent(temp_);
    ASSERT_TRUE(WaitForTrace("\nwait till SC Agent initialized ", 3)) << Trace();
    SendRescanEvent(temp_);
    EXPECT_TRUE(WaitForTrace("\nCX_MIB RcmiReply    : SCAN ALREADY ACTIVE")) << Trace();
    SetReady(true);
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 3)) << Trace();
}

// What SWITCH reports changes (the scenario is edited and reread): the next scan finds the
// inventory different and the MIB shows the new serial number.
TEST_F(CatalixHostTest, AChangedScenarioRebuildsTheMib) {
    const std::string demo = ReadFile(std::string(CX_PROJECT_DATA) + "/scenarios/demo.scn");
    switchd_ = std::make_unique<SwitchdProcess>(temp_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(demo));
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    auto serial_published = [this](const std::string& serial) {
        for (const auto& [oid, value] : Walk()) {
            if (oid.rfind(".5.1.1.11.", 0) == 0 && value == "STRING: \"" + serial + "\"") {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(serial_published("T40A012345"));

    std::string changed = demo;
    const auto at = changed.find("\"T40A012345\"");
    ASSERT_NE(at, std::string::npos);
    changed.replace(at, 12, "\"T40B999999\"");
    switchd_->Reload(changed);
    SendRescanEvent(temp_);
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 2)) << Trace();
    EXPECT_EQ(TraceCount("\n!!! FILES ARE DIFFERENT"), 1u);
    EXPECT_TRUE(serial_published("T40B999999"));
    EXPECT_FALSE(serial_published("T40A012345"));
}

TEST_F(CatalixHostTest, ShutdownWhileTheScanWaitsEndsItWithoutCompletingIt) {
    SetReady(false);
    StartSwitch();
    ASSERT_TRUE(StartHost()) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\nwait till SC Agent initialized ")) << Trace();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(StopHost(), 0);
    // The scan thread sees the shutdown at once: far below the 20 s CloseMib allows.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
    EXPECT_EQ(TraceCount("\n  !!! AGENT TERMINATED !!!"), 1u) << Trace();
    EXPECT_EQ(TraceCount("\n*** CX Scan thread exit ***"), 1u);
    EXPECT_EQ(DataFile("Catalix.act").find("ScanState=DONE"), std::string::npos);
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
}

TEST_F(CatalixHostTest, ShutdownWhileACollectorWaitsForSwitchEndsTheScan) {
    // The server cabinet's number comes late: the host is stopped while the cabinet collector
    // waits for it.
    StartSwitch("reply 0xE204 * * * : delay 3000 word 1\n");
    ASSERT_TRUE(StartHost()) << HostErrors();
    ASSERT_TRUE(WaitForTrace("  CX_Mib            : init Cabinets")) << Trace();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(StopHost(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_EQ(TraceCount("CX_MIB InitCabinets : ABORTED (AgentShutdown)"), 1u) << Trace();
    EXPECT_EQ(TraceCount("\n  !!! AGENT TERMINATED !!!"), 1u);
    EXPECT_EQ(TraceCount("Compare Files"), 0u);
    EXPECT_EQ(DataFile("Catalix.act").find("ScanState=DONE"), std::string::npos);
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
}

// A stopped host closes the agent and then unloads its library, whose unload hook deletes the
// agent and closes the trace while the host and its platform still stand.
TEST_F(CatalixHostTest, StoppedHostUnloadsTheLibraryBeforeItEnds) {
    StartSwitch();
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    EXPECT_EQ(StopHost(), 0);
    const std::string trace = Trace();
    std::size_t at = 0;
    for (const char* line : {"\nCX_MIB              : SnmpClose(): Agent shutdown finished.",
                             "\nCX_MIB              : DllMain: ** DLL_PROCESS_DETACH **",
                             "\nCX_MIB              : DllMain: ... agent instance deleted",
                             "\n\nCX_MIB              : SNMP agent DLL unloaded\n",
                             "\n\n----- Application [CX_MIB] closed at "}) {
        at = trace.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << trace;
    }
    EXPECT_NE(HostErrors().find(std::string(CX_MIB_AGENT_PATH) + ": unloaded"), std::string::npos)
        << HostErrors();
    EXPECT_EQ(AgentRunState("CX_MIB"), "unloaded");
}

TEST_F(CatalixHostTest, ScansRepeatAfterScanTime) {
    SetDword(kAgentParameters, "ScanTime", 60);  // raised to 300 s, 0.3 s at the time scale
    StartSwitch();
    ASSERT_TRUE(StartHost("1000")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n  --> Start Rescan ", 3)) << Trace();
    EXPECT_GE(TraceCount("\n   ScanTime = 300 sec"), 2u);
    EXPECT_EQ(TraceCount("FORCED RESCAN"), 0u);
}

}  // namespace
}  // namespace cx::test
