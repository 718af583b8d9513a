// The fleet's scrape of one server: prometheus-snmp-exporter with monitoring's snmp.yml reads
// the module catalix_inventory from extagentd serving a 2,000-component saved inventory (CX_MIB
// and ENTITY_MIB; the SWITCH server grants the rights and delivers nothing else, so every scan
// fails and the agent keeps serving the saved file). Each
// iteration is one scrape through the exporter's HTTP interface, as Prometheus makes it; the
// counters are the exporter's own figures of the scrape: PDUs returned, packets sent, and its
// walk time in seconds (`scrape_s`, to hold against its default timeout of 10 s).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>

#include "child_process.h"
#include "large_inventory.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace {

using namespace cx::test;

constexpr const char* kExporter = "/usr/bin/prometheus-snmp-exporter";

struct Fleet {
    Fleet() {
        if (access(kExporter, X_OK) != 0) return;
        CxRegistrySetPath(temp.File("registry.db").c_str());
        const std::string parameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        SetRegDword(parameters, "UdpPort", static_cast<DWORD>(agent_port));
        SetRegString(parameters, "ListenAddress", "127.0.0.1");
        SetRegDword(parameters + "\\ValidCommunities", "public", 4);
        int order = 1;
        for (const auto& [agent, path] : {std::pair{"CX_MIB", CX_MIB_AGENT_PATH},
                                          std::pair{"ENTITY_MIB", CX_ENTITY_AGENT_PATH}}) {
            const std::string key = std::string("SOFTWARE\\Arvenmark\\") + agent;
            SetRegString(key + "\\CurrentVersion", "Pathname", path);
            SetRegString(parameters + "\\ExtensionAgents", std::to_string(order++).c_str(),
                         key + "\\CurrentVersion");
        }
        SetRegDword(
            "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters",
            "AgentStatus", 1);
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", temp.Path());
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
        WriteFile(temp.File("Catalix.sav"), large_inventory::SavedFile());
        WriteFile(temp.File("switch.scn"),
                  "reply 0xE001 0x3811 * * : byte 1\nreply 0xE001 0x3810 * * : byte 0\n"
                  "reply 0xE001 0x3812 * * : byte 1\nreply * * * * : status 6\n");
        switchd.Start({CX_SWITCHD_PATH, "--socket", temp.File("switch.sock"), "--register",
                       "--scenario", temp.File("switch.scn")},
                      temp.File("switchd.out"), temp.File("switchd.err"),
                      {{"CX_REGISTRY", temp.File("registry.db")}});
        if (!WaitUntil([this] { return access(temp.File("switch.sock").c_str(), F_OK) == 0; }))
            return;
        host.Start({CX_EXTAGENTD_PATH, "--foreground", "--registry", temp.File("registry.db"),
                    "--state-dir", temp.File("state"), "--listen",
                    "127.0.0.1:" + std::to_string(agent_port)},
                   temp.File("host.out"), temp.File("host.err"));
        exporter.Start({kExporter, "--config.file=" CX_SNMP_YML,
                        "--web.listen-address=127.0.0.1:" + std::to_string(exporter_port)},
                       temp.File("exporter.out"), temp.File("exporter.err"));
        // Ready once a scrape holds every component (the entities leave out the software).
        ready = WaitUntil(
            [this] {
                auto figures = Scrape();
                return figures["components"] == large_inventory::kComponents &&
                       figures["entities"] > 0;
            },
            std::chrono::seconds(60));
    }
    ~Fleet() {
        for (ChildProcess* process : {&exporter, &host, &switchd}) {
            process->Signal(SIGTERM);
            process->Wait(std::chrono::seconds(30));
        }
        CxRegistrySetPath(nullptr);
    }

    // One scrape: the exporter's figures snmp_scrape_* by name, "entities" and "components",
    // the numbers of entPhysicalClass_info and avkCxInfoCompType series; empty when the scrape
    // failed.
    std::map<std::string, double> Scrape() {
        const ToolResult result = RunTool(
            {"/usr/bin/curl", "-sf", "--max-time", "30",
             "http://127.0.0.1:" + std::to_string(exporter_port) +
                 "/snmp?module=catalix_inventory&target=127.0.0.1:" + std::to_string(agent_port)},
            temp.Path(), std::chrono::seconds(60));
        std::map<std::string, double> figures;
        if (result.exit_code != 0) return figures;
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("entPhysicalClass_info{", 0) == 0) {
                ++figures["entities"];
            } else if (line.rfind("avkCxInfoCompType{", 0) == 0) {
                ++figures["components"];
            } else if (line.rfind("snmp_scrape_", 0) == 0) {
                const auto space = line.rfind(' ');
                figures[line.substr(0, space)] = std::stod(line.substr(space + 1));
            }
        }
        return figures;
    }

    TempDir temp;
    int agent_port = FreeUdpPort();
    int exporter_port = FreeTcpPort();
    ChildProcess switchd;
    ChildProcess host;
    ChildProcess exporter;
    bool ready = false;
};

void BM_ScrapeCatalixInventory(benchmark::State& state) {
    static Fleet fleet;
    if (!fleet.ready)
        return state.SkipWithError("no exporter, or the host did not serve the inventory");
    std::map<std::string, double> sums;
    for (auto _ : state) {
        const auto figures = fleet.Scrape();
        if (figures.empty()) return state.SkipWithError("the scrape failed");
        for (const auto& [name, value] : figures)
            sums[name] += value;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["components"] = sums["components"] / n;
    state.counters["entities"] = sums["entities"] / n;
    state.counters["pdus"] = sums["snmp_scrape_pdus_returned"] / n;
    state.counters["packets"] = sums["snmp_scrape_packets_sent"] / n;
    state.counters["scrape_s"] = sums["snmp_scrape_duration_seconds"] / n;
}

BENCHMARK(BM_ScrapeCatalixInventory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
