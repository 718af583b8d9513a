// The Catalix agent in extagentd with cx-switchd, each test in a private host (its own temp dir,
// registry file, UDP port, data root and trace): what a manager sees before and after the
// first scan, rescans by event, shutdown while a scan waits, the library's unload when the host
// stops; the saved inventory surviving the host being killed at any moment of a scan or
// comparison, and a data root that cannot be written leaving the published MIB as it was; the
// modes of the files a run makes, with ENTITY_MIB; and, with SC_MIB, the first scan on this
// machine.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "clients/switch_protocol.h"
#include "file_modes.h"
#include "inventory_keys.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "switchd_process.h"
#include "temp_dir.h"
#include "trace_reader.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kCatalixRoot = "1.3.6.1.4.1.7391.2.10.2.10";

class CatalixHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        data_dir_ = temp_.File("data");
        CreateDirectoryA(data_dir_.c_str(), nullptr);
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        ListenOnLoopback(port_);
        SetRegString("SOFTWARE\\Arvenmark\\CX_MIB\\CurrentVersion", "Pathname", CX_MIB_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Arvenmark\\CX_MIB\\CurrentVersion");
        // The bus collector waits for the server management agent's bus table, the storage
        // collectors for its hard-disk adapter table: empty ones.
        std::ofstream(temp_.File("bus.walk"))
            << ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.10.5.1.0.1 = \"\"\n"
            << ".1.3.6.1.4.1.7391.2.10.2.2.3.1.1.13.5.1.0 = \"\"\n";
        SetRegString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion", "Pathname",
                     CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "2",
                     "SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion");
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                          temp_.File("bus.walk"));
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                          ".1.3.6.1.4.1.7391.2.10.2.2");
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", data_dir_);
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
        SetRegString("SOFTWARE\\Debug\\CX_MIB", "TraceFile", temp_.File("trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 5);
        SetRegDword("SOFTWARE\\Debug\\CX_MIB", "TraceFileLimit", 1024);
        SetReady(true);
    }
    void TearDown() override {
        if (host_ != nullptr && host_->Running()) StopHost();
        if (host_ != nullptr) {
            // Under the sanitizers the host reports any fault of the agent on its errors.
            const std::string errors = HostErrors();
            for (const char* fault : {"ERROR: AddressSanitizer", "runtime error", "ThreadSanitizer",
                                      "ERROR: LeakSanitizer"})
                EXPECT_EQ(errors.find(fault), std::string::npos) << errors;
        }
        host_.reset();
        switchd_.reset();
        CxRegistrySetPath(nullptr);
    }

    // The server-control agent reports itself ready (or not, as it does once stopped).
    void SetReady(bool ready) { SetRegDword(kReadinessKey, "AgentStatus", ready ? 1 : 0); }

    // Starts cx-switchd with `scenario` (rights answers are added) and `extra` arguments.
    void StartSwitch(const std::string& scenario = "", const std::vector<std::string>& extra = {}) {
        switchd_ = std::make_unique<SwitchdProcess>(temp_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(std::string(kRightsScenario) + scenario, extra));
    }
    // Starts extagentd with CX_MIB.so, through `prefix` (unshare ...) with `environment`.
    bool LaunchHost(std::vector<std::string> prefix,
                    const std::map<std::string, std::string>& environment) {
        for (const std::string& arg : {std::string(CX_EXTAGENTD_PATH), std::string("--foreground"),
                                       std::string("--registry"), temp_.File("registry.db"),
                                       std::string("--state-dir"), temp_.File("state")})
            prefix.push_back(arg);
        host_ = std::make_unique<ChildProcess>();
        return host_->Start(prefix, temp_.File("host.out"), temp_.File("host.err"), environment);
    }
    // Launches the host with CX_TIME_SCALE `time_scale` and waits until the agent reports
    // "started" (bounded).
    bool StartHost(const std::string& time_scale = "1") {
        // A killed host leaves its last run state behind; "started" must be this host's.
        DeleteRegValue("SOFTWARE\\Arvenmark\\#Status", "CX_MIB");
        return LaunchHost({}, {{"CX_TIME_SCALE", time_scale},
                               {"CX_REGISTRY", temp_.File("registry.db")}}) &&
               WaitUntil(
                   [this] { return AgentRunState("CX_MIB") == "started" || !host_->Running(); },
                   std::chrono::seconds(60)) &&
               host_->Running();
    }
    // SIGTERM and the exit status (-1: not ended within `bound`).
    int StopHost(std::chrono::milliseconds bound = std::chrono::seconds(60)) {
        if (host_ == nullptr) return -1;
        host_->Signal(SIGTERM);
        return host_->Wait(bound);
    }

    // snmpwalk -On of a subtree (the Catalix one unless said): "TYPE: value" by OID below it.
    std::map<std::string, std::string> WalkMap(const char* subtree = kCatalixRoot) {
        const ToolResult walked =
            RunTool({"/usr/bin/snmpwalk", "-m", "", "-v2c", "-c", "public", "-On", "-t", "5", "-r",
                     "1", "127.0.0.1:" + std::to_string(port_), subtree},
                    temp_.Path(), std::chrono::seconds(60));
        std::map<std::string, std::string> objects;
        std::istringstream stream(walked.out);
        const std::string root = std::string(".") + subtree;
        for (std::string line; std::getline(stream, line);) {
            const auto equals = line.find(" = ");
            if (equals == std::string::npos || line.rfind(root, 0) != 0 ||
                line.find("No more variables left in this MIB View", equals) != std::string::npos ||
                line.find("No Such", equals) != std::string::npos)
                continue;
            objects[line.substr(root.size(), equals - root.size())] = line.substr(equals + 3);
        }
        return objects;
    }

    // The trace with its line ends as "\n" (the file has CR LF), so messages match as written.
    std::string Trace() const {
        std::string text = ReadFile(temp_.File("trace.txt"));
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }
    std::size_t TraceCount(const std::string& text) const { return CountOf(Trace(), text); }
    // Waits (bounded) until `text` occurs `count` times in the trace.
    bool WaitForTrace(const std::string& text, std::size_t count = 1,
                      std::chrono::milliseconds bound = std::chrono::seconds(60)) const {
        return WaitUntil([&] { return TraceCount(text) >= count; }, bound);
    }
    std::string HostErrors() const { return ReadFile(temp_.File("host.err")); }

    std::string DataFile(const std::string& name) const { return ReadFile(DataPath(name)); }
    std::string DataPath(const std::string& name) const { return data_dir_ + "/" + name; }
    bool DataFileExists(const std::string& name) const {
        return GetFileAttributesA(DataPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    TempDir temp_;
    std::string data_dir_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

// cx-switch with `args`, on the test's registry; its exit code.
int SwitchTool(const TempDir& temp, std::vector<std::string> args) {
    ChildOptions options;
    options.environment["CX_REGISTRY"] = temp.File("registry.db");
    args.insert(args.begin(), CX_SWITCH_TOOL_PATH);
    return RunTool(args, temp.Path(), 30s, options).exit_code;
}

// Sends one rescan request event through the SWITCH server.
void SendRescanEvent(const TempDir& temp) {
    ASSERT_EQ(SwitchTool(temp, {"event", "0x0C80", "0", "0", "0", "--data", "01"}), 0);
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
    return std::count_if(walk.begin(), walk.end(),
                         [&](const auto& object) { return object.first.starts_with(prefix); });
}

// The reduced MIB until the first scan ends, rescans by event, and the unload when the host
// stops.
TEST_F(CatalixHostTest, FirstScanRescansAndUnload) {
    SetReady(false);  // the first scan waits for the server-control agent
    StartSwitch();
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\nwait till SC Agent initialized ")) << Trace();

    // No agent id and no tables without a saved file; the scan under way has its LastScan.
    auto reduced = WalkMap();
    std::set<std::string> oids;
    for (const auto& [oid, value] : reduced)
        oids.insert(oid);
    EXPECT_EQ(oids,
              (std::set<std::string>{".1.2.0", ".1.3.0", ".1.4.0", ".2.1.0", ".2.2.0", ".2.3.0"}));
    EXPECT_EQ(reduced[".1.4.0"], "STRING: \"Build: Oct 20 2006, 08:57:29\"");
    EXPECT_EQ(reduced[".2.3.0"], "INTEGER: 2");
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
    EXPECT_EQ(without_scan_objects(second), without_scan_objects(full));

    // A rescan request while a scan runs is only noted.
    SetReady(false);
    SendRescanEvent(temp_);
    ASSERT_TRUE(WaitForTrace("\nwait till SC Agent initialized ", 3)) << Trace();
    SendRescanEvent(temp_);
    EXPECT_TRUE(WaitForTrace("\nCX_MIB RcmiReply    : SCAN ALREADY ACTIVE")) << Trace();
    SetReady(true);
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 3)) << Trace();

    // A stopped host closes the agent and then unloads its library, whose unload hook deletes
    // the agent and closes the trace while the host and its platform still stand.
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

// The host is stopped while the scan waits: for the server-control agent, or in the cabinet
// collector for a SWITCH answer that comes late. The scan ends at once (far below the 20 s
// CloseMib allows), neither finished nor compared.
TEST_F(CatalixHostTest, ShutdownWhileTheScanWaitsEndsItWithoutCompletingIt) {
    struct Case {
        bool ready;
        const char* scenario;
        const char* waiting;
        const char* traced;
        std::chrono::seconds bound;
    };
    const Case cases[] = {
        {false, "", "\nwait till SC Agent initialized ", "\n*** CX Scan thread exit ***", 15s},
        {true, "reply 0xE204 * * * : delay 3000 word 1\n", "  CX_Mib            : init Cabinets",
         "CX_MIB InitCabinets : ABORTED (AgentShutdown)", 20s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.waiting);
        std::filesystem::remove(temp_.File("trace.txt"));
        std::filesystem::remove(DataPath("Catalix.act"));
        SetReady(c.ready);
        StartSwitch(c.scenario);
        ASSERT_TRUE(StartHost()) << HostErrors();
        ASSERT_TRUE(WaitForTrace(c.waiting)) << Trace();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(StopHost(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, c.bound);
        EXPECT_EQ(TraceCount("\n  !!! AGENT TERMINATED !!!"), 1u) << Trace();
        EXPECT_EQ(TraceCount(c.traced), 1u);
        EXPECT_EQ(TraceCount("Compare Files"), 0u);
        EXPECT_EQ(DataFile("Catalix.act").find("ScanState=DONE"), std::string::npos);
        EXPECT_FALSE(DataFileExists("Catalix.sav"));
    }
}

// cx-switchd restarted every way it can be: ended or killed, while the agent is idle or waits
// in a scan for a late answer, behind a socket that outlives it (a relay, as socket activation
// has it) or on a new one. Every time the agent enables its events again and a rescan event
// starts a scan; a scan that lost its server is not done and leaves the saved inventory as it
// was, so the scan after it finds nothing changed and ENTITY-MIB keeps every index.
TEST_F(CatalixHostTest, SwitchdRestartsLoseNeitherEventsNorInventory) {
    const std::string modules = std::string(kRightsScenario) +
                                "reply 0x0700 * * * : byte 2\nreply 0x0701 * * * : byte 1\n"
                                "reply 0x0702 * * * : text \"DIMM\"\n";
    // The second module's slot answers late; the marker line tells that the file is in force.
    const std::string late =
        modules + "reply 0x0701 * 1 * : delay 5000 byte 1\nreply 0x7F7F * * * : byte 1\n";
    SetRegString("SOFTWARE\\Arvenmark\\ENTITY_MIB\\CurrentVersion", "Pathname",
                 CX_ENTITY_AGENT_PATH);
    SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "3",
                 "SOFTWARE\\Arvenmark\\ENTITY_MIB\\CurrentVersion");
    StartSwitch(modules);
    const std::string relayed = temp_.File("relay.sock");
    ChildProcess relay({"/usr/bin/socat", "-lf", temp_.File("socat.log"),
                        "UNIX-LISTEN:" + relayed + ",fork",
                        "UNIX-CONNECT:" + switchd_->socket_path()});
    ASSERT_TRUE(WaitUntil([&] { return close(UnixSocket(relayed, false)) == 0; })) << "no socat";
    SetRegString(kSwitchServerClassKey, "LocalServer", "unix:" + relayed);
    SetRegDword(kAgentParameters, "ScanRetryTime", 3000);  // failed scans wait for the server
    SetRegDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 3);
    ASSERT_TRUE(StartHost("50")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    constexpr const char* kEntities = "1.3.6.1.2.1.47.1.1.1";
    ASSERT_TRUE(WaitUntil([&] { return !WalkMap(kEntities).empty(); }));
    const auto entities = WalkMap(kEntities);
    auto inventory = [this] {
        auto walk = WalkMap();
        walk.erase(".2.2.0");  // LastScan
        return walk;
    };
    const auto published = inventory();
    auto count_journal = [this](const std::string& text) {
        const auto lines = switchd_->JournalLines();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != line.npos; });
    };

    const struct {
        int signal;
        bool mid_scan;
    } rows[] = {{SIGTERM, false}, {SIGKILL, false}, {SIGTERM, true}, {SIGKILL, true}};
    for (bool relay_stays : {true, false}) {
        // The new socket: the relay goes, and the agent finds the server's own socket.
        if (!relay_stays)
            SetRegString(kSwitchServerClassKey, "LocalServer", "unix:" + switchd_->socket_path());
        for (const auto& row : rows) {
            SCOPED_TRACE(std::to_string(row.signal) + (row.mid_scan ? " mid-scan" : " idle") +
                         (relay_stays ? " behind the relay" : " on a new socket"));
            const std::size_t done = TraceCount("\n\n  Rescan done");
            const std::size_t restored = TraceCount("SWITCH connection restored");
            const std::string saved = DataFile("Catalix.sav");
            if (row.mid_scan) {
                switchd_->Reload(late);
                ASSERT_TRUE(WaitUntil([&] {
                    return SwitchTool(temp_, {"request", "0x7F7F", "0", "0", "0"}) == 0;
                }));
                const auto asked = count_journal("opcode=0x0701 ext=0x0000 object=0x0001");
                SendRescanEvent(temp_);
                ASSERT_TRUE(WaitUntil([&] {
                    return count_journal("opcode=0x0701 ext=0x0000 object=0x0001") > asked;
                }));
            }
            if (row.signal == SIGKILL) switchd_->Kill();
            switchd_ = std::make_unique<SwitchdProcess>(temp_);  // ends the old one (SIGTERM)
            if (row.mid_scan) {
                ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", done + 1)) << Trace();
                EXPECT_EQ(DataFile("Catalix.sav"), saved);
                EXPECT_EQ(WalkMap()[".2.3.0"], "INTEGER: 1");
            }
            ASSERT_TRUE(switchd_->Start(modules));
            ASSERT_TRUE(WaitForTrace("SWITCH connection restored", restored + 1)) << Trace();
            // A failed scan is tried again as soon as the server is back.
            ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", done + (row.mid_scan ? 2 : 0)));
            SendRescanEvent(temp_);
            ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", done + (row.mid_scan ? 3 : 1)))
                << Trace();
            EXPECT_EQ(WalkMap()[".2.3.0"], "INTEGER: 3");
        }
    }
    EXPECT_EQ(inventory(), published);
    EXPECT_EQ(WalkMap(kEntities), entities);
    EXPECT_EQ(TraceCount("\n!!! SCAN FAILED: "), 4u);
    for (const char* logged :
         {"CX_MIB: connection to the SWITCH server lost", "CX_MIB: scan failed: "})
        EXPECT_NE(HostErrors().find(logged), std::string::npos) << logged;
}

constexpr int kKills = 100;

// The number of keys of `section` in the INI text `path`.
std::size_t KeyCount(const std::string& path, const char* section) {
    std::vector<char> keys(64 * 1024);
    const DWORD length = GetPrivateProfileStringA(section, nullptr, "", keys.data(),
                                                  static_cast<DWORD>(keys.size()), path.c_str());
    std::size_t count = 0;
    for (DWORD at = 0; at < length; at += static_cast<DWORD>(std::strlen(&keys[at])) + 1)
        ++count;
    return count;
}

class CrashTest : public CatalixHostTest {
  protected:
    // Two table files whose inventories differ by one component type, so that every scan of
    // the other one replaces the saved file.
    void WriteTables() {
        const std::string table = ReadFile(std::string(CX_PROJECT_DATA) + "/CX_MIB.ini");
        for (const char* name : {"table-a.ini", "table-b.ini"})
            WriteFile(temp_.File(name), table);
        WritePrivateProfileStringA("Component Type", "VariantB", "7E",
                                   temp_.File("table-b.ini").c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
        types_a_ = KeyCount(temp_.File("table-a.ini"), "Component Type");
        types_b_ = KeyCount(temp_.File("table-b.ini"), "Component Type");
        ASSERT_EQ(types_b_, types_a_ + 1);
    }
    void UseTable(int variant) {
        SetRegString("SOFTWARE\\Arvenmark\\CX_MIB\\FILE", "TableFile",
                     temp_.File(variant == 0 ? "table-a.ini" : "table-b.ini"));
    }
    // A saved file is one complete inventory of one of the two tables, never a torn one.
    void ExpectCompleteSavedFile() {
        if (!DataFileExists("Catalix.sav")) return;
        const std::string path = DataPath("Catalix.sav");
        const std::string text = ReadFile(path);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        const std::size_t types = KeyCount(path, "Component Definition");
        EXPECT_TRUE(types == types_a_ || types == types_b_) << types << " component types";
        EXPECT_GT(KeyCount(path, "Functional Definition"), 0u);
        EXPECT_EQ(KeyCount(path, "Agent Info"), 4u);
    }
    // What the agent publishes after a restart matches one complete inventory.
    void ExpectPublishedInventory() {
        ASSERT_TRUE(StartHost("1000")) << HostErrors();
        const std::size_t published = CountPrefix(WalkMap(), ".3.1.1.3.");
        EXPECT_TRUE(published == types_a_ || published == types_b_ ||
                    (published == 0 && !DataFileExists("Catalix.sav")))
            << published << " definitions published";
        EXPECT_EQ(StopHost(), 0);
    }

    std::size_t types_a_ = 0;
    std::size_t types_b_ = 0;
};

TEST_F(CrashTest, KillsDuringScansNeverTearTheSavedFile) {
    WriteTables();
    SetRegDword(kAgentParameters, "ScanTime", 300);  // a scan every 0.3 s at the time scale
    StartSwitch();
    std::mt19937 random(20061020);
    std::uniform_int_distribution<int> moment_ms(0, 600);
    for (int i = 0; i < kKills; ++i) {
        SCOPED_TRACE(i);
        UseTable(i % 2);
        ASSERT_TRUE(LaunchHost({}, {{"CX_TIME_SCALE", "1000"}}));
        std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(random)));
        host_->Kill();
        host_->Wait(10s);
        ExpectCompleteSavedFile();
        if (i % 25 == 24) ExpectPublishedInventory();
        if (HasFailure()) break;
    }
    // A copy left by a kill is cleared by the next complete comparison; a complete run on the
    // other table first makes that comparison find a difference however the kills fell.
    for (int table : {1, 0}) {
        UseTable(table);
        ASSERT_TRUE(StartHost("1000")) << HostErrors();
        const std::size_t scans = TraceCount("\n\n  Rescan done");
        ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", scans + 2)) << Trace();
        EXPECT_EQ(StopHost(), 0);
    }
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));
    ExpectCompleteSavedFile();
    EXPECT_GT(TraceCount("\n!!! FILES ARE DIFFERENT"), 0u);
}

// The host runs in its own mount namespace with the data root on a small tmpfs that is
// read-only or has 4 KB left, the saved file put there before. The scan fails: the saved
// file stays byte for byte, nothing of the new inventory is left, the MIB keeps its inventory
// with ScanState other(1), and the host's log says why. Once there is space again the next
// scan saves the new inventory.
TEST_F(CatalixHostTest, AnUnwritableDataRootFailsTheScanAndKeepsTheSavedFile) {
    const std::string unshare = geteuid() == 0 ? "-m" : "-rm";
    const ToolResult probe = RunTool(
        {"/usr/bin/unshare", unshare, "/bin/sh", "-c", "mount -t tmpfs tmpfs \"$0\"", data_dir_},
        temp_.Path());
    if (probe.exit_code != 0) GTEST_SKIP() << "no private mount namespace here";
    const std::string saved =
        "[Last Date]\r\nLastDate=4539A1F0\r\nLastScan=4539A1F0\r\nScanState=DONE\r\n"
        "[Agent Info]\r\nAgentId=Inventory\r\n[Component Definition]\r\n0C=Processor\r\n";
    WriteFile(temp_.File("saved.ini"), saved);
    SetRegDword(kAgentParameters, "ScanRetryTime", 1000);  // no retry while the test looks
    StartSwitch();
    for (const bool space_comes_back : {false, true}) {
        SCOPED_TRACE(space_comes_back ? "full" : "read-only");
        std::remove(temp_.File("trace.txt").c_str());
        const std::string setup = space_comes_back
                                      ? "{ dd if=/dev/zero of=\"$DATA/filler\" bs=4k 2>/dev/null; "
                                        "truncate -s -4k \"$DATA/filler\"; }"
                                      : "mount -o remount,ro \"$DATA\"";
        ASSERT_TRUE(LaunchHost(
            {"/usr/bin/unshare", unshare, "/bin/sh", "-c",
             "mount -t tmpfs -o size=256k tmpfs \"$DATA\" && cp \"$SAVED\" "
             "\"$DATA/Catalix.sav\" && " +
                 setup + " && exec \"$@\"",
             "sh"},
            {{"DATA", data_dir_}, {"SAVED", temp_.File("saved.ini")}, {"CX_TIME_SCALE", "100"}}));
        // The data root as the host sees it.
        const std::string data = "/proc/" + std::to_string(host_->Pid()) + "/root" + data_dir_;
        ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace() << HostErrors();
        // On the nearly full disk the new inventory may still fit, and then the copy that keeps
        // the saved file fails instead: either way one step, and the scan, fail.
        const char* reason = "Catalix.act could not be written";
        if (space_comes_back && TraceCount("\n!!! SCAN FAILED: Catalix.sav could not be replaced"))
            reason = "Catalix.sav could not be replaced";
        EXPECT_EQ(TraceCount("\n!!! SCAN FAILED: "), 1u) << Trace();
        EXPECT_EQ(TraceCount(std::string("\n!!! SCAN FAILED: ") + reason), 1u) << Trace();
        EXPECT_EQ(ReadFile(data + "/Catalix.sav"), saved);
        EXPECT_FALSE(std::filesystem::exists(data + "/Catalix.act"));
        auto walk = WalkMap();
        EXPECT_EQ(walk[".1.1.0"], "STRING: \"Inventory\"");
        EXPECT_EQ(walk[".2.1.0"], "INTEGER: 1161404912");
        EXPECT_EQ(walk[".3.1.1.3.1"], "STRING: \"Processor\"");
        EXPECT_EQ(walk[".2.3.0"], "INTEGER: 1");
        EXPECT_NE(HostErrors().find(std::string("CX_MIB: scan failed: ") + reason),
                  std::string::npos)
            << HostErrors();
        if (space_comes_back) {
            std::filesystem::resize_file(data + "/filler", 0);
            SendRescanEvent(temp_);
            ASSERT_TRUE(WaitForTrace("\n!!! FILES ARE DIFFERENT")) << Trace();
            ASSERT_TRUE(WaitUntil([&] { return WalkMap()[".2.3.0"] == "INTEGER: 3"; }));
            EXPECT_NE(ReadFile(data + "/Catalix.sav"), saved);
            EXPECT_FALSE(std::filesystem::exists(data + "/Catalix.act"));
            EXPECT_NE(WalkMap()[".1.1.0"], "STRING: \"Inventory\"");
            EXPECT_NE(HostErrors().find("CX_MIB: scan done again after"), std::string::npos);
        }
        EXPECT_EQ(StopHost(), 0);
    }
}

#ifdef CX_ENTITY_AGENT_PATH
// A run under the usual umask leaves every file it made to owner and group alone, and a link
// planted where ENTITY_MIB writes its index beside the inventory is not written through.
TEST_F(CatalixHostTest, ARunMakesNoFileForOthersAndFollowsNoPlantedLink) {
    const ScopedUmask usual(022);
    const std::string victim = temp_.File("victim");
    WriteFile(victim, "victim");
    ASSERT_EQ(symlink(victim.c_str(), DataPath("ENTITY_MIB.idx.new").c_str()), 0);
    SetRegString("SOFTWARE\\Arvenmark\\ENTITY_MIB\\CurrentVersion", "Pathname",
                 CX_ENTITY_AGENT_PATH);
    SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "3",
                 "SOFTWARE\\Arvenmark\\ENTITY_MIB\\CurrentVersion");
    StartSwitch();
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();
    // ENTITY_MIB takes the new saved inventory, and indexes its entities, within two looks.
    EXPECT_TRUE(WaitUntil([&] {
        return DataFile("ENTITY_MIB.idx").find('\t') != std::string::npos;
    })) << DataFile("ENTITY_MIB.idx");
    EXPECT_EQ(StopHost(), 0);
    EXPECT_TRUE(DataFile("ENTITY_MIB.idx").starts_with("next "));
    EXPECT_EQ(ReadFile(victim), "victim");
    EXPECT_TRUE(IsSymlink(DataPath("ENTITY_MIB.idx.new")));
    // The saved file is the first scan's actual file, copied with its mode.
    const std::pair<std::string, unsigned> modes[] = {
        {temp_.File("registry.db"), 0660},     {temp_.File("registry.db-wal"), 0660},
        {temp_.File("registry.db-shm"), 0660}, {DataPath("Catalix.sav"), 0640},
        {DataPath("ENTITY_MIB.idx"), 0640},    {temp_.File("trace.txt"), 0640},
    };
    for (const auto& [path, mode] : modes)
        EXPECT_EQ(FileMode(path), mode) << path;
}
#endif

#ifdef CX_SC_AGENT_PATH
unsigned SysfsNumber(const std::filesystem::path& function, const char* name) {
    std::string text;
    std::ifstream(function / name) >> text;
    return static_cast<unsigned>(std::stoul(text, nullptr, 16));
}

// The CompId every PCI function of domain 0 is recorded with.
std::multiset<std::string> PciFunctions() {
    std::multiset<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices")) {
        if (!entry.path().filename().string().starts_with("0000:")) continue;
        // The subsystem comes from a type 0 header only: bridges keep other registers at 0x2C.
        char header_type = 0;
        std::ifstream(entry.path() / "config", std::ios::binary).seekg(14).read(&header_type, 1);
        const bool type0 = (header_type & 0x7F) == 0;
        char id[64];
        std::snprintf(id, sizeof(id), "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                      SysfsNumber(entry, "vendor"), SysfsNumber(entry, "device"),
                      type0 ? SysfsNumber(entry, "subsystem_device") : 0,
                      type0 ? SysfsNumber(entry, "subsystem_vendor") : 0,
                      SysfsNumber(entry, "revision"));
        ids.insert(id);
    }
    return ids;
}

TEST_F(CatalixHostTest, FirstScanRecordsThisMachine) {
    std::error_code error;
    if (std::filesystem::is_empty("/sys/bus/pci/devices", error) || error)
        GTEST_SKIP() << "no PCI functions in /sys/bus/pci/devices";
    // SC_MIB in place of the fixture's replayed bus table; it reports itself ready.
    SetRegString("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents", "2",
                 "SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion");
    SetRegString("SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion", "Pathname", CX_SC_AGENT_PATH);
    SetReady(false);
    StartSwitch("", {"--linux"});
    ASSERT_TRUE(StartHost()) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 1, std::chrono::seconds(240))) << Trace();
    const std::string saved = DataFile("Catalix.sav");
    // The saved inventory, read key by key.
    auto value = [this](const char* section, const std::string& key, const std::string& row) {
        char text[256] = {};
        GetPrivateProfileStringA(section, (key + "." + row).c_str(), "", text, sizeof(text),
                                 DataPath("Catalix.sav").c_str());
        return std::string(text);
    };
    const UINT count = GetPrivateProfileIntA("Component Table", "NrComponents", 0,
                                             DataPath("Catalix.sav").c_str());

    std::multiset<std::string> recorded;
    for (UINT n = 1; n <= count; ++n) {
        const std::string id = value("Component Table", "CompId", std::to_string(n));
        if (id.starts_with("PCI\\")) recorded.insert(id);
    }
    EXPECT_EQ(recorded, PciFunctions()) << saved;

    // Every disk of the machine (what lsblk lists as one, less loop, ram and zram devices) is a
    // storage device in the SCSIDevice container of its controller's SCSISystem.
    std::size_t disks = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/block", error)) {
        const std::string name = entry.path().filename();
        if (!name.starts_with("loop") && !name.starts_with("ram") && !name.starts_with("zram") &&
            std::filesystem::exists(entry.path() / "device"))
            ++disks;
    }
    std::size_t stored = 0;
    for (UINT n = 1; n <= count; ++n) {
        if (value("Component Table", "CompType", std::to_string(n)) != "25") continue;
        const std::string container = value("Component Table", "FuncCont", std::to_string(n));
        const std::string parent = value("Functional Container", "Parent", container);
        stored += value("Functional Container", "Name", container) == "SCSIDevice" &&
                  value("Functional Container", "Name", parent) == "SCSISystem";
    }
    EXPECT_EQ(stored, disks) << saved;
}
#endif

}  // namespace
}  // namespace cx::test
