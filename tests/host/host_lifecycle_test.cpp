// extagentd's life: loading agents (and refusing broken ones), the service state it publishes,
// agents that fail, traps, AgentX and the stop.
#include <gtest/gtest.h>
#include <signal.h>

#include "host_fixture.h"
#include "platform/sysinfo.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

constexpr const char* kRootA = ".1.3.6.1.4.1.99999.1";
constexpr const char* kRootB = ".1.3.6.1.4.1.99999.2";

std::string Oid(const char* root, const std::string& tail) { return std::string(root) + tail; }

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

// The computer name and the service states the host publishes; v3 users from the
// administrator's configuration file; an agent whose thread cannot be stopped stays loaded and
// the host still exits.
TEST_F(HostLifecycleTest, PublishesStatesTakesV3UsersAndExitsPastAStuckAgent) {
    AddTestAgent("stuck", "root 1.3.6.1.4.1.99999.1\nobjects 1\nstuck_thread\n");
    const std::string config = temp_.File("v3.conf");
    WriteFile(config,
              "createUser alice SHA \"alice-secret\" AES \"alice-privacy\"\n"
              "rouser alice priv\n");
    ASSERT_TRUE(StartHost({"--listen", Address(), "--config", config})) << HostLog();
    // The NetBIOS name the agents' own call reports.
    char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD expected_size = sizeof(expected);
    ASSERT_TRUE(GetComputerNameA(expected, &expected_size));
    EXPECT_GT(expected_size, 0u);
    EXPECT_EQ(ReadRegString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                            "ComputerName"),
              std::string(expected));
    for (const std::string secret : {"alice-secret", "wrong-secret"}) {
        const ToolResult get =
            Snmp("snmpget", {"-v", "3", "-u", "alice", "-l", "authPriv", "-a", "SHA", "-A", secret,
                             "-x", "AES", "-X", "alice-privacy", "%a", Oid(kRootA, ".1.1")});
        EXPECT_EQ(get.exit_code == 0, secret == "alice-secret") << get.err;
        if (secret == "alice-secret") {
            EXPECT_EQ(get.out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n");
        }
    }
    EXPECT_EQ(StopHost(), 0);
    EXPECT_NE(HostLog().find("could not be stopped; kept loaded"), std::string::npos) << HostLog();
    EXPECT_EQ(ServiceState(), static_cast<unsigned>(SERVICE_STOPPED));
}

TEST_F(HostLifecycleTest, TrapsReachTheDestinationsInV1AndV2c) {
    const int trap_port = FreeUdpPort();
    const std::string trap_log = temp_.File("traps.log");
    WriteFile(temp_.File("snmptrapd.conf"), "disableAuthorization yes\n");
    ChildProcess trapd;
    ASSERT_TRUE(trapd.Start(
        {"/usr/sbin/snmptrapd", "-f", "-C", "-c", temp_.File("snmptrapd.conf"), "-n", "-On", "-Lf",
         trap_log, "-M", "", "-m", "", "udp:127.0.0.1:" + std::to_string(trap_port)},
        temp_.File("trapd.out"), temp_.File("trapd.err"),
        {{"SNMP_PERSISTENT_DIR", temp_.File("trapd-state")}}));
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(trap_log).find("NET-SNMP version") != std::string::npos; },
                  std::chrono::seconds(20)))
        << ReadFile(temp_.File("trapd.err"));

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

TEST_F(HostLifecycleTest, UnusableStartFailsWithAMessageAndState1) {
    AddCommunity("public", 4);
    ASSERT_FALSE(StartHost({"--listen", Address(), "--config", temp_.File("missing.conf")}));
    EXPECT_NE(HostLog().find("cannot read the configuration file"), std::string::npos) << HostLog();
    EXPECT_EQ(ServiceState(), static_cast<unsigned>(SERVICE_STOPPED));

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
    EXPECT_EQ(ServiceState(), static_cast<unsigned>(SERVICE_STOPPED));
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
    ASSERT_TRUE(snmpd.Start({"/usr/sbin/snmpd", "-f", "-C", "-c", temp_.File("snmpd.conf"), "-Le",
                             "-M", "", "-m", "", "udp:" + Address()},
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
    EXPECT_EQ(StopHost(), 0);
    snmpd.Signal(SIGTERM);
    snmpd.Wait(std::chrono::seconds(10));
}

}  // namespace
}  // namespace cx::test
