// extagentd with the test agent and real net-snmp managers, one private host per test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "fake_agent.h"
#include "host_fixture.h"
#include "platform/registry_store.h"
#include "platform/sysinfo.h"
#include "platform/winsvc.h"
#include "process_sockets.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

// The number of a "TYPE: VALUE" text of ParseWalk.
int Integer(const std::string& value) {
    const auto colon = value.find(": ");
    return colon == std::string::npos ? -1 : std::stoi(value.substr(colon + 2));
}

// extagentd with real net-snmp managers: GET, GETNEXT and SET. (Whole walks with snmpwalk and
// snmpbulkwalk are ConcurrentWalksDuringRebuildsSeeWholeTrees'.)
class HostInteropTest : public HostFixture {
  protected:
    void SetUp() override {
        HostFixture::SetUp();
        AddCommunity("public", 4);
        AddCommunity("private", 8);
        AddTestAgent("agent_a", "root 1.3.6.1.4.1.99999.1\nobjects 2\n");
        AddTestAgent("agent_b", "root 1.3.6.1.4.1.99999.2\nobjects 3\n");
        ASSERT_TRUE(StartHost()) << HostLog();
    }
};

// GET in both versions; an unknown object is noSuchInstance in v2c and fails the v1 request;
// a community the host does not know gets no answer at all; GETNEXT crosses views.
TEST_F(HostInteropTest, GetAnswersKnownObjectsAndRefusesTheRestAsEachVersionDoes) {
    for (const char* version : {"1", "2c"}) {
        const ToolResult result = Snmp("snmpget", {"-v", version, "-c", "public", "%a",
                                                   Oid(kRootA, ".1.1"), Oid(kRootB, ".1.3")});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(result.out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n" + Oid(kRootB, ".1.3") +
                                  " = INTEGER: 1\n");
    }
    const ToolResult v2 = Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.1"),
                                           Oid(kRootA, ".1.999"), Oid(kRootA, ".1.2")});
    EXPECT_EQ(v2.out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n" + Oid(kRootA, ".1.999") +
                          " = No Such Instance currently exists at this OID\n" +
                          Oid(kRootA, ".1.2") + " = INTEGER: 1\n");

    const ToolResult v1 = Snmp("snmpget", {"-v", "1", "-c", "public", "-Cf", "%a",
                                           Oid(kRootA, ".1.1"), Oid(kRootA, ".1.999")});
    EXPECT_NE(v1.exit_code, 0);
    EXPECT_NE(v1.err.find("There is no such variable name in this MIB."), std::string::npos)
        << v1.err;
    EXPECT_NE(v1.err.find("Failed object: " + Oid(kRootA, ".1.999")), std::string::npos);

    const ToolResult wrong = Snmp(
        "snmpget", {"-v", "2c", "-c", "wrong", "-t", "0.3", "-r", "0", "%a", Oid(kRootA, ".1.1")});
    EXPECT_NE(wrong.exit_code, 0);
    EXPECT_NE(wrong.err.find("Timeout"), std::string::npos) << wrong.err;

    // GETNEXT past the last registration (SNMPv3's own statistics) ends the MIB in each
    // version's way.
    const ToolResult end_v2 =
        Snmp("snmpgetnext", {"-v", "2c", "-c", "public", "%a", ".1.3.6.1.6.3.99"});
    EXPECT_NE(end_v2.out.find("No more variables left in this MIB View"), std::string::npos)
        << end_v2.out << end_v2.err;
    const ToolResult end_v1 =
        Snmp("snmpgetnext", {"-v", "1", "-c", "public", "%a", ".1.3.6.1.6.3.99"});
    EXPECT_NE(end_v1.err.find("There is no such variable name in this MIB."), std::string::npos)
        << end_v1.err;
    // From the last object of the first view the next view answers.
    const ToolResult across =
        Snmp("snmpgetnext", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".9.1")});
    EXPECT_EQ(across.out, Oid(kRootB, ".1.1") + " = INTEGER: 1\n");
}

// Refused SETs change nothing; an allowed one reaches the agent once (command 2 rebuilds the
// tree once: the generation the values carry goes from 1 to 2).
TEST_F(HostInteropTest, SetIsRefusedWhereNotAllowedAndOtherwiseReachesTheAgentOnce) {
    const ToolResult read_only =
        Snmp("snmpset", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".9.1"), "i", "2"});
    EXPECT_NE(read_only.exit_code, 0);

    const ToolResult v2 =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", Oid(kRootA, ".1.1"), "i", "7"});
    EXPECT_NE(v2.err.find("Reason: notWritable"), std::string::npos) << v2.err;
    const ToolResult v1 =
        Snmp("snmpset", {"-v", "1", "-c", "private", "%a", Oid(kRootA, ".1.1"), "i", "7"});
    EXPECT_NE(v1.err.find("Reason: (readOnly)"), std::string::npos) << v1.err;

    const std::vector<std::string> get = {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.1")};
    EXPECT_EQ(Snmp("snmpget", get).out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n");
    const ToolResult set =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", Oid(kRootA, ".9.1"), "i", "2"});
    EXPECT_EQ(set.exit_code, 0) << set.err;
    EXPECT_EQ(Snmp("snmpget", get).out, Oid(kRootA, ".1.1") + " = INTEGER: 2\n");
}

// extagentd's life: loading agents (and refusing broken ones), the service state it publishes,
// agents that fail, traps, AgentX and the stop.
using HostLifecycleTest = HostFixture;

// Agents that cannot be loaded are reported and skipped; an agent that throws or fails gets
// genErr; the others keep serving.
TEST_F(HostLifecycleTest, BrokenAndFailingAgentsLeaveTheOthersServing) {
    AddCommunity("public", 4);
    const std::string missing = temp_.File("missing.so");
    const std::string not_a_library = temp_.File("text.so");
    WriteFile(not_a_library, "not a shared object\n");
    AddAgentLibrary("missing", missing);
    AddAgentLibrary("text", not_a_library);
    AddAgentLibrary("no_entry", CX_NO_ENTRY_AGENT_PATH);
    const std::string refusing = AddTestAgent("refusing", "root 1.3.6.1.4.1.99999.3\ninit_fail\n");
    AddTestAgent("faulty", "root 1.3.6.1.4.1.99999.1\nobjects 1\nfaulty\n");
    AddTestAgent("good", "root 1.3.6.1.4.1.99999.2\nobjects 2\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    const std::string log = HostLog();
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {missing, "No such file"},
             {not_a_library, "not loaded"},
             {CX_NO_ENTRY_AGENT_PATH, "no entry point SnmpExtensionInit"},
             {refusing, "SnmpExtensionInit returned FALSE"}}) {
        const auto line_start = log.find("(" + path + ") not loaded");
        ASSERT_NE(line_start, std::string::npos) << path << "\n" << log;
        const std::string line = log.substr(line_start, log.find('\n', line_start) - line_start);
        EXPECT_NE(line.find(reason), std::string::npos) << line;
    }
    // ROOT.3.1 makes the agent throw, ROOT.4.1 makes it return FALSE; GETNEXT reaches them
    // from the name before.
    for (const auto& [tool, name] :
         std::vector<std::pair<std::string, std::string>>{{"snmpget", Oid(kRootA, ".3.1")},
                                                          {"snmpget", Oid(kRootA, ".4.1")},
                                                          {"snmpgetnext", Oid(kRootA, ".2")},
                                                          {"snmpgetnext", Oid(kRootA, ".3.1")}}) {
        const ToolResult result = Snmp(tool, {"-v", "2c", "-c", "public", "%a", name});
        EXPECT_NE(result.err.find("genError"), std::string::npos)
            << tool << " " << name << ": " << result.out << result.err;
    }
    EXPECT_NE(HostLog().find("SnmpExtensionQuery threw an exception"), std::string::npos);
    const ToolResult walk = Snmp("snmpwalk", {"-v", "2c", "-c", "public", "%a", kRootB});
    EXPECT_EQ(ParseWalk(walk.out).size(), 3u) << walk.out;
    EXPECT_EQ(StopHost(), 0);
}

// The computer name and the service states the host publishes; an agent whose thread cannot be
// stopped stays loaded and the host still exits. (This host has no community.)
TEST_F(HostLifecycleTest, PublishesStatesAndExitsPastAStuckAgent) {
    AddTestAgent("stuck", "root 1.3.6.1.4.1.99999.1\nobjects 1\nstuck_thread\n");
    ASSERT_TRUE(StartHost()) << HostLog();
    // The NetBIOS name the agents' own call reports.
    char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD expected_size = sizeof(expected);
    ASSERT_TRUE(GetComputerNameA(expected, &expected_size));
    EXPECT_GT(expected_size, 0u);
    EXPECT_EQ(ReadRegString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                            "ComputerName"),
              std::string(expected));
    EXPECT_EQ(StopHost(), 0);
    EXPECT_NE(HostLog().find("could not be stopped; kept loaded"), std::string::npos) << HostLog();
    EXPECT_EQ(SnmpServiceState(), SERVICE_STOPPED);
    // Without a community or user, said in the host's words rather than net-snmp's.
    EXPECT_NE(HostLog().find("no community and no SNMPv3 user"), std::string::npos);
    EXPECT_EQ(HostLog().find("snmpconf"), std::string::npos) << HostLog();
}

// SNMPv3 users of the --config file and of net-snmp's own state file across restarts of one
// state directory: the same engine ID, engineBoots counting the starts, one stored entry per
// user. A --config file every user may read must not hold pass phrases: no start.
TEST_F(HostLifecycleTest, V3UsersSurviveRestartsOfTheStateDirectory) {
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 3\n");
    const std::string config = temp_.File("v3.conf");
    WriteFile(config,
              "createUser alice SHA \"alice-secret\" AES \"users-privacy\"\n"
              "rouser alice priv\nrouser bob priv\n");
    ASSERT_EQ(chmod(config.c_str(), 0644), 0);
    ASSERT_FALSE(StartHost({"--listen", Address(), "--config", config}));
    ASSERT_EQ(chmod(config.c_str(), 0640), 0);

    const auto v3 = [&](const std::string& tool, const char* user, const char* secret,
                        std::vector<std::string> names) {
        std::vector<std::string> args = {
            "-v", "3",    "-u", user,  "-l", "authPriv",      "-a", "SHA",
            "-A", secret, "-x", "AES", "-X", "users-privacy", "%a"};
        args.insert(args.end(), names.begin(), names.end());
        return Snmp(tool, args);
    };
    const std::string state_file = temp_.File("state/extagentd.conf");
    std::string engine_id;
    int boots = 0;
    for (int start = 1; start <= 3; ++start) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(StartHost({"--listen", Address(), "--config", config})) << HostLog();
        EXPECT_EQ(ParseWalk(v3("snmpwalk", "alice", "alice-secret", {kRootA}).out).size(), 4u);
        const auto engine = ParseWalk(v3("snmpget", "alice", "alice-secret",
                                         {".1.3.6.1.6.3.10.2.1.1.0", ".1.3.6.1.6.3.10.2.1.2.0"})
                                          .out);
        ASSERT_EQ(engine.size(), 2u);
        if (start == 1) engine_id = engine[0].second;
        EXPECT_EQ(engine[0].second, engine_id);
        EXPECT_GT(Integer(engine[1].second), boots);
        boots = Integer(engine[1].second);
        // bob's pass phrase was only ever in the 0700 state directory (see below).
        EXPECT_EQ(v3("snmpget", "bob", "bob-secret", {Oid(kRootA, ".1.1")}).exit_code == 0,
                  start > 1);
        EXPECT_EQ(StopHost(), 0);
        // net-snmp's way of adding a user without a file others may read: the createUser line
        // goes into its own state file, which becomes localised keys at the next start.
        if (start == 1) {
            std::ofstream(state_file, std::ios::app)
                << "createUser bob SHA \"bob-secret\" AES \"users-privacy\"\n";
        }
    }
    const std::string stored = ReadFile(state_file);
    EXPECT_EQ(Occurrences(stored, "\nusmUser "), 2u) << stored;
    EXPECT_EQ(Occurrences(stored, "\ncreateUser"), 0u) << stored;
}

// The shipped defaults, with the demonstration's community added: answered on the loopback
// addresses only, no TCP listener (SMUX), the system group of a standalone agent, and the
// agents' own manager sessions answered although their community is not one the host knows.
TEST_F(HostLifecycleTest, ShippedDefaultsAnswerOnLoopbackOnlyWithTheSystemGroup) {
    const auto defaults = cx::platform::ParseRegText(ReadFile(CX_DEFAULTS_REG));
    int failed_line = 0;
    ASSERT_EQ(cx::platform::ImportRegText(defaults.keys, &failed_line), ERROR_SUCCESS);
    SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
    AddCommunity("public", 4);
    AddCommunity("private", 8);
    AddTestAgent("agent",
                 "root 1.3.6.1.4.1.99999.1\nobjects 1\nask_self " + std::to_string(port_) + "\n");
    ASSERT_TRUE(StartHost({"--foreground"})) << HostLog();
    const std::string asked = Oid(kRootA, ".8.1") + " = INTEGER: 1\n";
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".8.1")}).out ==
                   asked;
        },
        std::chrono::seconds(20)));
    EXPECT_NE(Snmp("snmpget",
                   {"-v", "1", "-c", "norbel", "-t", "0.5", "-r", "0", "%a", Oid(kRootA, ".1.1")})
                  .exit_code,
              0);

    // No TCP socket (no SMUX), and every UDP socket on loopback: the listeners and the agent's
    // manager session, which stays open.
    const auto sockets = ProcessSockets(host_->Pid());
    EXPECT_GE(sockets.size(), 2u);
    for (const ProcessSocket& socket : sockets) {
        EXPECT_EQ(socket.protocol.rfind("udp", 0), 0u) << socket.protocol << " " << socket.port;
        EXPECT_TRUE(socket.address == "127.0.0.1" || socket.address == "::1") << socket.address;
    }
    const bool v6 = std::any_of(sockets.begin(), sockets.end(),
                                [](const ProcessSocket& s) { return s.protocol == "udp6"; });
    const std::string port = ":" + std::to_string(port_);
    for (const auto& [peer, answered] : std::vector<std::pair<std::string, bool>>{
             {"127.0.0.1" + port, true}, {"127.0.0.2" + port, false}, {"udp6:[::1]" + port, v6}}) {
        const ToolResult get = Snmp("snmpget", {"-v", "2c", "-c", "public", "-t", "0.5", "-r", "0",
                                                peer, Oid(kRootA, ".1.1")});
        EXPECT_EQ(get.exit_code == 0, answered) << peer << get.err;
    }

    // The system, snmp and SNMP-FRAMEWORK groups, from net-snmp's own modules with the
    // registry's values; read-only.
    for (const auto& [name, start] : std::vector<std::pair<std::string, std::string>>{
             {".1.3.6.1.2.1.1.1.0", "STRING: \"Hardware: "},
             {".1.3.6.1.2.1.1.2.0", "OID: .1.3.6.1.4.1.7391.2.10.100.1"},
             {".1.3.6.1.2.1.1.3.0", "Timeticks: "},
             {".1.3.6.1.2.1.1.4.0", "\"\""},
             {".1.3.6.1.2.1.1.7.0", "INTEGER: 72"},
             {".1.3.6.1.2.1.11.1.0", "Counter32: "},
             {".1.3.6.1.6.3.10.2.1.4.0", "INTEGER: 65507"}}) {
        const auto value = ParseWalk(Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", name}).out);
        ASSERT_EQ(value.size(), 1u) << name;
        EXPECT_EQ(value[0].second.rfind(start, 0), 0u) << name << " " << value[0].second;
    }
    const ToolResult set =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", ".1.3.6.1.2.1.1.4.0", "s", "someone"});
    EXPECT_NE(set.err.find("notWritable"), std::string::npos) << set.out << set.err;
    EXPECT_EQ(HostLog().find("from any manager"), std::string::npos) << HostLog();
    EXPECT_EQ(StopHost(), 0);
}

TEST_F(HostLifecycleTest, TrapsReachTheDestinationsInV1AndV2c) {
    const std::string trap_log = temp_.File("traps.log");
    ChildProcess trapd;
    const int trap_port = StartTrapReceiver(trapd, trap_log);
    ASSERT_NE(trap_port, 0);

    AddCommunity("public", 4);
    AddCommunity("private", 8);
    AddTrapDestination("public", "127.0.0.1:" + std::to_string(trap_port));
    AddTrapDestination("public", "v2c:127.0.0.1:" + std::to_string(trap_port));
    AddTestAgent("traps", "root 1.3.6.1.4.1.99999.1\nobjects 1\ntraps 3\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    const ToolResult set =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", Oid(kRootA, ".9.1"), "i", "1"});
    ASSERT_EQ(set.exit_code, 0) << set.err;
    // Every trap carries ROOT.1.1 once; three traps in each of the two versions.
    const std::string binding = Oid(kRootA, ".1.1") + " = INTEGER: 1";
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(ReadFile(trap_log), binding) >= 6; },
                          std::chrono::seconds(20)))
        << ReadFile(trap_log);
    const std::string log = ReadFile(trap_log);
    EXPECT_EQ(Occurrences(log, binding), 6u) << log;
    EXPECT_EQ(Occurrences(log, "Enterprise Specific Trap (3)"), 1u) << log;  // the v1 form
    EXPECT_EQ(Occurrences(log, " [127.0.0.1] (via UDP"), 3u) << log;         // the v1 origin
    EXPECT_EQ(Occurrences(log, Oid(kRootA, ".0.3")), 1u) << log;             // the v2c trap OID
    EXPECT_EQ(StopHost(), 0);
    trapd.Signal(SIGTERM);
    trapd.Wait(std::chrono::seconds(10));
}

// Another process (this one) holds the registry's write lock: the host serves at once,
// REPLAY_MIB (an agent of our framework) included, and the states and parameters they publish
// at start land once the lock goes. The agent tells the host its object types, so a GET of a name
// it lacks answers RFC 3416's exception: noSuchObject without a type, noSuchInstance for a type
// without that instance; SNMPv1 gets noSuchName.
TEST_F(HostLifecycleTest, ServesWhileTheRegistryIsHeldAndAnswersEachException) {
    // The scalar .1.1.0 and the column .2.1.3 (rows 1 and 2).
    const char* kReplayRoot = ".1.3.6.1.4.1.99999.7";
    const std::string parameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
    WriteFile(temp_.File("replay.walk"), Oid(kReplayRoot, ".1.1.0 = INTEGER: 1\n") +
                                             Oid(kReplayRoot, ".2.1.3.1 = INTEGER: 1\n") +
                                             Oid(kReplayRoot, ".2.1.3.2 = INTEGER: 1\n"));
    SetRegMultiString(parameters, "WalkFiles", temp_.File("replay.walk"));
    SetRegMultiString(parameters, "Regions", kReplayRoot + 1);
    AddAgentLibrary("replay", CX_REPLAY_AGENT_PATH);
    AddCommunity("public", 4);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(temp_.File("registry.db").c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(StartHost({"--listen", Address()}, false));
    const auto get = [&](const std::string& version, const std::vector<std::string>& tails) {
        std::vector<std::string> args = {"-v",  version, "-c", "public", "-t",
                                         "0.5", "-r",    "0",  "%a"};
        for (const std::string& tail : tails)
            args.push_back(Oid(kReplayRoot, tail));
        return Snmp("snmpget", args);
    };
    const auto serving = [&] {
        return get("2c", {".1.1.0"}).out.find("INTEGER") != std::string::npos;
    };
    EXPECT_TRUE(WaitUntil(serving, std::chrono::seconds(5))) << HostLog();
    const std::string no_object = " = No Such Object available on this agent at this OID\n";
    const std::string no_instance = " = No Such Instance currently exists at this OID\n";
    EXPECT_EQ(get("2c", {".1.1.0", ".99.0", ".2.1.3.9", ".1.1.5", ".2.1"}).out,
              Oid(kReplayRoot, ".1.1.0") + " = INTEGER: 1\n" + Oid(kReplayRoot, ".99.0") +
                  no_object + Oid(kReplayRoot, ".2.1.3.9") + no_instance +
                  Oid(kReplayRoot, ".1.1.5") + no_instance + Oid(kReplayRoot, ".2.1") + no_object);
    EXPECT_NE(get("1", {".99.0"}).err.find("There is no such variable name in this MIB."),
              std::string::npos);
    EXPECT_NE(SnmpServiceState(), SERVICE_RUNNING);
    sqlite3_close(writer);
    EXPECT_TRUE(WaitUntil([] {
        return SnmpServiceState() == SERVICE_RUNNING && AgentRunState("REPLAY_MIB") == "started";
    }));
    EXPECT_EQ(ReadRegDword(parameters + "\\VolatileParameters", "AgentStatus"), 1u);
    EXPECT_EQ(ReadRegString(parameters, "InvTableIndex"), kReplayRoot);
    EXPECT_EQ(StopHost(), 0);
}

TEST_F(HostLifecycleTest, UnusableStartFailsWithAMessageAndState1) {
    AddCommunity("public", 4);
    ASSERT_FALSE(StartHost({"--listen", Address(), "--config", temp_.File("missing.conf")}));
    EXPECT_NE(HostLog().find("cannot read the configuration file"), std::string::npos) << HostLog();
    EXPECT_EQ(SnmpServiceState(), SERVICE_STOPPED);

    const ToolResult usage = RunTool({CX_EXTAGENTD_PATH, "--listen", "nowhere"}, temp_.Path());
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_NE(usage.err.find("--listen needs ADDR:PORT"), std::string::npos) << usage.err;
    EXPECT_NE(usage.err.find("Usage: extagentd"), std::string::npos);
    const ToolResult help = RunTool({CX_EXTAGENTD_PATH, "--help"}, temp_.Path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("--agentx [SOCKET]"), std::string::npos);
}

TEST_F(HostLifecycleTest, SigtermDuringAWalkEndsTheHostCleanly) {
    AddCommunity("public", 4);
    AddTestAgent("large", "root 1.3.6.1.4.1.99999.1\nobjects 20000\n");
    ASSERT_TRUE(StartHost()) << HostLog();
    ChildProcess walk;
    ASSERT_TRUE(walk.Start({"/usr/bin/snmpwalk", "-m", "", "-On", "-t", "1", "-r", "0", "-v", "2c",
                            "-c", "public", Address(), kRootA},
                           temp_.File("walk.out"), temp_.File("walk.err"), {{"MIBS", ""}}));
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(temp_.File("walk.out")).size() > 1000; },
                          std::chrono::seconds(20)));
    EXPECT_EQ(StopHost(), 0);
    EXPECT_NE(walk.Wait(std::chrono::seconds(20)), -1);
    // What the walk got before the stop is a clean, ordered prefix of the tree.
    const auto lines = ParseWalk(ReadFile(temp_.File("walk.out")));
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i].first, Oid(kRootA, ".1." + std::to_string(i + 1)));
    EXPECT_EQ(SnmpServiceState(), SERVICE_STOPPED);
}

TEST_F(HostLifecycleTest, AgentxWalkThroughSnmpdMatchesTheStandaloneWalk) {
    AddCommunity("public", 4);
    AddTestAgent("agent_a", "root 1.3.6.1.4.1.99999.1\nobjects 12\n");
    AddTestAgent("agent_b", "root 1.3.6.1.4.1.99999.2\nobjects 2\n");
    ASSERT_TRUE(StartHost()) << HostLog();
    const ToolResult standalone =
        Snmp("snmpbulkwalk", {"-v", "2c", "-c", "public", "%a", ".1.3.6.1.4.1.99999"});
    ASSERT_EQ(StopHost(), 0);

    const std::string socket = temp_.File("agentx");
    WriteFile(temp_.File("snmpd.conf"),
              "master agentx\nagentXSocket " + socket + "\nrocommunity public 127.0.0.1\n");
    ChildProcess snmpd;
    // The master without its own system group: what the subagent registered would show there.
    ASSERT_TRUE(snmpd.Start({"/usr/sbin/snmpd", "-f", "-C", "-c", temp_.File("snmpd.conf"), "-Le",
                             "-M", "", "-m", "", "-I", "-system_mib", "udp:" + Address()},
                            temp_.File("snmpd.out"), temp_.File("snmpd.err"),
                            {{"SNMP_PERSISTENT_DIR", temp_.File("snmpd-state")}}));
    ASSERT_TRUE(
        WaitUntil([&] { return access(socket.c_str(), F_OK) == 0; }, std::chrono::seconds(20)))
        << ReadFile(temp_.File("snmpd.err"));
    ASSERT_TRUE(StartHost({"--agentx", socket})) << HostLog();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootB, ".9.1")})
                       .exit_code == 0;
        },
        std::chrono::seconds(20)));
    const ToolResult through_master =
        Snmp("snmpbulkwalk", {"-v", "2c", "-c", "public", "%a", ".1.3.6.1.4.1.99999"});
    EXPECT_EQ(ParseWalk(through_master.out), ParseWalk(standalone.out));
    EXPECT_EQ(ParseWalk(standalone.out).size(), 16u);
    // The system group is the master's to serve: the subagent registers none of it.
    const ToolResult system =
        Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", ".1.3.6.1.2.1.1.2.0"});
    EXPECT_NE(system.out.find("No Such Object"), std::string::npos) << system.out << system.err;
    EXPECT_EQ(StopHost(), 0);
    snmpd.Signal(SIGTERM);
    snmpd.Wait(std::chrono::seconds(10));
}

// extagentd under hostile packets, concurrent managers during MIB rebuilds, and managers it is
// told not to answer.
// A well-formed request of `pdu_tag` for ROOT.1.1 (SNMPv2c unless `version` says otherwise), the
// seed of the mutations.
std::string Request(std::uint8_t pdu_tag, int version = 1) {
    const std::string bindings =
        BerTlv(0x30, BerTlv(0x30, BerObjectId({1, 3, 6, 1, 4, 1, 99999, 1, 1, 1}) + BerNull()));
    const std::string pdu = BerTlv(
        pdu_tag, BerInteger(0x02, 42) + BerInteger(0x02, 0) + BerInteger(0x02, 0) + bindings);
    return BerTlv(0x30, BerInteger(0x02, version) + BerOctets(0x04, "public") + pdu);
}

std::string Mutate(const std::string& seed, std::mt19937& random) {
    std::string packet = seed;
    switch (random() % 6) {
        case 0:  // flipped bytes
            for (int i = 0, n = 1 + random() % 4; i < n; ++i)
                packet[random() % packet.size()] = static_cast<char>(random());
            break;
        case 1: packet.resize(random() % packet.size()); break;  // truncated
        case 2: packet += std::string(random() % 64, static_cast<char>(random())); break;
        case 3: packet[random() % 3] = static_cast<char>(0x80 | random()); break;  // lengths
        case 4:                                                                    // noise
            packet.assign(1 + random() % 512, '\0');
            for (char& c : packet)
                c = static_cast<char>(random());
            break;
        default: packet.assign(60000, static_cast<char>(0x30)); break;  // oversized
    }
    return packet;
}

using HostRobustnessTest = HostFixture;

TEST_F(HostRobustnessTest, SurvivesThousandsOfMalformedAndMutatedPackets) {
    AddCommunity("public", 4);
    AddCommunity("private", 8);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 5\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(static_cast<uint16_t>(port_));
    host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 random(8);
    const std::vector<std::string> seeds = {Request(0xA0), Request(0xA1), Request(0xA3),
                                            Request(0xA5), Request(0xA2), Request(0xA8)};
    for (int i = 0; i < 3000; ++i) {
        const std::string packet = Mutate(seeds[i % seeds.size()], random);
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&host),
               sizeof(host));
        if (i % 200 == 0) {
            ASSERT_TRUE(host_->Running()) << "after packet " << i << HostLog();
        }
    }
    close(fd);

    ASSERT_TRUE(host_->Running()) << HostLog();
    const ToolResult after =
        Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.5")});
    EXPECT_EQ(after.out, Oid(kRootA, ".1.5") + " = INTEGER: 1\n") << after.err;
    EXPECT_EQ(StopHost(), 0);
}

TEST_F(HostRobustnessTest, ConcurrentWalksDuringRebuildsSeeWholeTrees) {
    constexpr int kObjects = 300;
    AddCommunity("public", 4);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 300\nrebuild_ms 1\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    std::vector<std::unique_ptr<ChildProcess>> walkers;
    for (int i = 0; i < 8; ++i) {
        walkers.push_back(std::make_unique<ChildProcess>());
        const std::string stem = temp_.File("walk" + std::to_string(i));
        const std::string tool = i % 2 == 0 ? "/usr/bin/snmpbulkwalk" : "/usr/bin/snmpwalk";
        ASSERT_TRUE(walkers.back()->Start({tool, "-m", "", "-On", "-t", "5", "-r", "1", "-v", "2c",
                                           "-c", "public", Address(), kRootA},
                                          stem + ".out", stem + ".err", {{"MIBS", ""}}));
    }
    // One GET of many objects is one query of the agent: its values are of one generation.
    std::vector<std::string> get = {"-v", "2c", "-c", "public", "%a"};
    for (int i = 1; i <= 20; ++i)
        get.push_back(Oid(kRootA, ".1." + std::to_string(i * 7)));
    for (int round = 0; round < 20; ++round) {
        const auto values = ParseWalk(Snmp("snmpget", get).out);
        ASSERT_EQ(values.size(), 20u);
        for (const auto& [name, value] : values)
            EXPECT_EQ(value, values[0].second) << name;
    }
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(walkers[i]->Wait(std::chrono::seconds(120)), 0) << "walker " << i;
        const auto walk = ParseWalk(ReadFile(temp_.File("walk" + std::to_string(i) + ".out")));
        ASSERT_EQ(walk.size(), static_cast<std::size_t>(kObjects + 1)) << "walker " << i;
        int generation = 0;
        for (int n = 0; n < kObjects; ++n) {
            EXPECT_EQ(walk[n].first, Oid(kRootA, ".1." + std::to_string(n + 1)));
            // Generations only grow: a walk never goes back to an older tree.
            EXPECT_GE(Integer(walk[n].second), generation) << walk[n].first;
            generation = Integer(walk[n].second);
        }
    }
    EXPECT_EQ(StopHost(), 0);
}

// With a list of permitted managers only those listed are answered.
TEST_F(HostRobustnessTest, OnlyPermittedManagersAreAnswered) {
    AddCommunity("public", 4);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 1\n");
    for (const char* manager : {"127.0.0.2", "127.0.0.1"}) {
        SCOPED_TRACE(manager);
        AddPermittedManager(manager);  // the list grows: the second round lists us
        ASSERT_TRUE(StartHost()) << HostLog();
        const ToolResult result = Snmp("snmpget", {"-v", "2c", "-c", "public", "-t", "0.5", "-r",
                                                   "0", "%a", Oid(kRootA, ".1.1")});
        EXPECT_EQ(result.exit_code == 0, std::string(manager) == "127.0.0.1") << result.err;
        EXPECT_EQ(StopHost(), 0);
    }
}

// The answer to one datagram, or "" when none comes within `bound`.
std::string Exchange(int port, const std::string& packet, std::chrono::milliseconds bound) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(static_cast<uint16_t>(port));
    host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&host), sizeof(host));
    pollfd ready{fd, POLLIN, 0};
    std::string answer(65536, '\0');
    const ssize_t got = poll(&ready, 1, static_cast<int>(bound.count())) == 1
                            ? recv(fd, answer.data(), answer.size(), 0)
                            : 0;
    close(fd);
    answer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return answer;
}

// What one request may cost: tooBig over the binding limit and over the largest datagram
// (nothing lost in a failed send), GETBULK answers of 50 bindings and 25 repetitions at most,
// and no GETBULK in SNMPv1 messages, which have no such PDU.
TEST_F(HostRobustnessTest, AnswersStayWithinTheLimits) {
    AddCommunity("public", 4);
    SetRegDword(kSnmpParameters, "MaxBindingsPerRequest", 100);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 300\nbig 70\n");
    ASSERT_TRUE(StartHost()) << HostLog();
    const auto names = [](const char* column, int first, int count) {
        std::vector<std::string> list;
        for (int i = first; i < first + count; ++i)
            list.push_back(Oid(kRootA, column + std::to_string(i)));
        return list;
    };
    const auto ask = [&](const char* tool, std::vector<std::string> args,
                         const std::vector<std::string>& oids) {
        args.insert(args.begin(), {"-v", "2c", "-c", "public"});
        args.push_back("%a");
        args.insert(args.end(), oids.begin(), oids.end());
        return Snmp(tool, args);
    };
    EXPECT_EQ(ParseWalk(ask("snmpget", {}, names(".1.", 1, 100)).out).size(), 100u);
    EXPECT_EQ(ParseWalk(ask("snmpget", {}, names(".5.", 1, 60)).out).size(), 60u);
    for (const auto& oids : {names(".1.", 1, 101), names(".5.", 1, 70)}) {
        const ToolResult get = ask("snmpget", {}, oids);
        EXPECT_NE(get.err.find("(tooBig)"), std::string::npos) << oids.size() << get.err;
    }
    EXPECT_EQ(HostLog().find("sendto"), std::string::npos) << HostLog();

    struct Bulk {
        std::vector<std::string> args;
        std::vector<std::string> oids;
        std::size_t bindings;
    };
    const std::vector<Bulk> bulks = {
        {{"-Cr1000"}, {Oid(kRootA, ".1")}, 25},
        {{"-Cr1000"}, {Oid(kRootA, ".1"), Oid(kRootA, ".1.100"), Oid(kRootA, ".1.200")}, 48},
        {{"-Cn60", "-Cr5"}, names(".1.", 1, 60), 50},
        {{"-Cr1000"}, names(".1.", 1, 80), 50},
    };
    for (const Bulk& bulk : bulks) {
        const ToolResult answer = ask("snmpbulkget", bulk.args, bulk.oids);
        EXPECT_EQ(ParseWalk(answer.out).size(), bulk.bindings) << bulk.oids.size() << answer.err;
    }

    const auto parse_errors = [&] {
        return Integer(ParseWalk(ask("snmpget", {}, {".1.3.6.1.2.1.11.6.0"}).out).at(0).second);
    };
    const int errors_before = parse_errors();
    EXPECT_EQ(Exchange(port_, Request(0xA5, 0), std::chrono::milliseconds(500)), "");
    EXPECT_NE(Exchange(port_, Request(0xA5, 1), std::chrono::seconds(5)), "");
    EXPECT_EQ(parse_errors(), errors_before + 1);
    EXPECT_EQ(StopHost(), 0);
}

}  // namespace
}  // namespace cx::test
