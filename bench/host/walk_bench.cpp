// Walk throughput of extagentd against snmpd's own agent, in one run on one machine: snmpbulkwalk
// of a 30,000-object test MIB through extagentd and of snmpd's full tree. Each iteration is one
// complete walk by the real net-snmp tool; the counter "objects/s" is the figure to compare.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "child_process.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace {

using namespace cx::test;

// extagentd with the test agent and snmpd, each on its own loopback port, for the whole run.
struct Peers {
    Peers() {
        CxRegistrySetPath(temp.File("registry.db").c_str());
        const std::string parameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        SetRegDword(parameters + "\\ValidCommunities", "public", 4);
        std::filesystem::copy_file(CX_TEST_AGENT_PATH, temp.File("agent.so"));
        WriteFile(temp.File("agent.so.conf"), "root 1.3.6.1.4.1.99999.1\nobjects 30000\n");
        SetRegString("SOFTWARE\\Bench\\Agent", "Pathname", temp.File("agent.so"));
        SetRegString(parameters + "\\ExtensionAgents", "1", "SOFTWARE\\Bench\\Agent");
        host.Start({CX_EXTAGENTD_PATH, "--foreground", "--registry", temp.File("registry.db"),
                    "--state-dir", temp.File("state"), "--listen",
                    "127.0.0.1:" + std::to_string(host_port)},
                   temp.File("host.out"), temp.File("host.err"));
        WaitUntil(SnmpServiceRunning, std::chrono::seconds(30));
        WriteFile(temp.File("snmpd.conf"), "rocommunity public 127.0.0.1\n");
        snmpd.Start({"/usr/sbin/snmpd", "-f", "-C", "-c", temp.File("snmpd.conf"), "-Lf",
                     temp.File("snmpd.log"), "-M", "", "-m", "",
                     "udp:127.0.0.1:" + std::to_string(snmpd_port)},
                    temp.File("snmpd.out"), temp.File("snmpd.err"),
                    {{"SNMP_PERSISTENT_DIR", temp.File("snmpd-state")}});
        WaitUntil([this] { return Walk("snmpget", snmpd_port, ".1.3.6.1.2.1.1.3.0") > 0; },
                  std::chrono::seconds(30));
    }
    ~Peers() {
        host.Signal(SIGTERM);
        snmpd.Signal(SIGTERM);
        host.Wait(std::chrono::seconds(30));
        snmpd.Wait(std::chrono::seconds(30));
    }

    // Runs the tool to its end and returns the number of objects it printed (0: it failed).
    int Walk(const std::string& tool, int port, const std::string& root) {
        const ToolResult result =
            RunTool({"/usr/bin/" + tool, "-m", "", "-On", "-v", "2c", "-c", "public", "-t", "5",
                     "127.0.0.1:" + std::to_string(port), root},
                    temp.Path(), std::chrono::minutes(5));
        std::istringstream lines(result.out);
        int objects = 0;
        for (std::string line; std::getline(lines, line);)
            objects += line.find(" = ") != std::string::npos &&
                       line.find("No more variables left") == std::string::npos;
        return result.exit_code == 0 ? objects : 0;
    }

    TempDir temp;
    int host_port = FreeUdpPort();
    int snmpd_port = FreeUdpPort();
    ChildProcess host;
    ChildProcess snmpd;
};

void RunWalks(benchmark::State& state, bool through_host) {
    const std::string tool = "snmpbulkwalk";
    static Peers peers;
    std::int64_t objects = 0;
    for (auto _ : state) {
        const int walked = through_host ? peers.Walk(tool, peers.host_port, ".1.3.6.1.4.1.99999.1")
                                        : peers.Walk(tool, peers.snmpd_port, ".1");
        if (walked == 0) return state.SkipWithError("the walk failed");
        objects += walked;
    }
    state.counters["objects"] = static_cast<double>(objects) / state.iterations();
    state.counters["objects/s"] =
        benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
}

void BM_ExtagentdBulkWalk(benchmark::State& state) { RunWalks(state, true); }
void BM_SnmpdBulkWalk(benchmark::State& state) { RunWalks(state, false); }

BENCHMARK(BM_ExtagentdBulkWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SnmpdBulkWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
