// InitCabinets over a generated server: cabinets with their chassis, power, service boards and
// cabinet components, processor sockets and memory slots, answered by a real cx-switchd. Reports
// the time per run, the SWITCH round trips per run (counted in the server's journal), and the
// collector's own cost per item once the round trips are taken out.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include "clients/switch_protocol.h"
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/objbase.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace {

// This process's processor time.
double ProcessCpuMicroseconds() { return static_cast<double>(std::clock()) * 1e6 / CLOCKS_PER_SEC; }

struct ServerSize {
    unsigned cabinets;
    unsigned sockets;
    unsigned slots;  // a slot count is one byte: 255 at most
};

std::string Line(unsigned item, const char* object, unsigned cabinet, const std::string& text) {
    char head[80];
    std::snprintf(head, sizeof(head), "reply 0x0C00 0x%04X %s %u : text \"", item, object, cabinet);
    return head + text + "\"\n";
}

// Every cabinet has its chassis, a power backplane with two supplies, a service board with its
// firmware, two fans and a front panel; the server has the processors, memory modules, a base
// board and a BIOS.
std::string Scenario(const ServerSize& size) {
    std::ostringstream s;
    s << "reply 0xE204 0 0 0 : word 1\nreply 0x0C21 * 0 * : byte 0\n";
    s << "reply 0x0220 0 0 1 :";
    for (unsigned cabinet = 2; cabinet <= size.cabinets; ++cabinet)
        s << " word " << cabinet;
    s << (size.cabinets > 1 ? "\n" : " status 1\n");
    for (unsigned cabinet = 1; cabinet <= size.cabinets; ++cabinet) {
        const std::string n = std::to_string(cabinet);
        s << Line(0x2002, "0", cabinet, "Cabinet " + n)
          << Line(0x2102, "0", cabinet, "Chassis " + n) << "reply 0x0C21 3 0 " << n << " : byte 1\n"
          << Line(0x2202, "0", cabinet, "Power Backplane") << "reply 0x0500 0 0 " << n
          << " : byte 2\nreply 0x0501 0 * " << n << " : byte 1\n"
          << Line(0x2302, "*", cabinet, "Power Supply") << Line(0x2402, "0", cabinet, "Vex 200")
          << "reply 0xE001 0x14A0 0 " << n << " : hex 0A 00 00 01\n"
          << Line(0x2502, "0", cabinet, "Vex Firmware") << "reply 0x0C21 7 0 " << n << " : byte 2\n"
          << Line(0x2C02, "*", cabinet, "Fan") << "reply 0x0C21 8 0 " << n << " : byte 1\n"
          << Line(0x2D02, "0", cabinet, "Front Panel");
    }
    s << "reply 0x0C21 20 0 1 : byte 1\n" << Line(0x3402, "0", 1, "K0815");
    s << Line(0x3601, "0", 1, "Catalix") << Line(0x3605, "0", 1, "1.04");
    s << "reply 0x0600 0 0 1 : byte " << size.sockets << "\nreply 0x0601 0 * 1 : byte 1\n"
      << "reply 0x0605 0 * 1 : text \"Cx64\"\nreply 0x0604 0 * 1 : text \"CatalixChips\"\n"
      << "reply 0x0603 0 * 1 : word 0 word 2800 byte 0 byte 7\n";
    s << "reply 0x0700 0 0 1 : byte " << size.slots << "\nreply 0x0701 0 * 1 : byte 1\n"
      << Line(0x3701, "*", 1, "Memorix") << Line(0x3702, "*", 1, "DDR2 FB-DIMM 2 GB")
      << Line(0x3705, "*", 1, "A2");
    return s.str();
}

// cx-switchd with a journal, and the agent attached to it, in a private directory.
class Bench {
  public:
    explicit Bench(const ServerSize& size) {
        switchd_.RegisterClass();  // and points this process at the private registry file
        switchd_.Start(Scenario(size));
        cx::test::SetRegString(
            "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName",
            "BENCHHOST");
        cx::test::SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        agent_ = std::make_unique<CCX_Agent>(CatalixCollectors());
        for (ProfileFile* table : {&agent_->m_RequestTable, &agent_->m_DefinitionTable}) {
            table->SetPath(CX_TABLE_FILE);
            table->Open(TRUE);
        }
        actual_ = dir_ + "/Catalix.act";
        agent_->m_ActualFile.SetPath(actual_.c_str());
        agent_->m_ActualFile.Open(FALSE);
        attached_ = agent_->m_SwitchClient.Attach(nullptr);
    }
    ~Bench() {
        agent_->m_SwitchClient.Detach();
        agent_.reset();
        CoUninitialize();
    }

    bool attached() const { return attached_; }
    CCX_Agent& agent() { return *agent_; }

    // A new scan's writer state on an empty actual file.
    void FreshScan() {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, actual_.c_str());
        std::remove(actual_.c_str());
        agent_->NrComponents = agent_->NrPhysContainers = agent_->NrFuncContainers = 0;
        agent_->CurPhysContainer = agent_->CurFuncContainer = 0;
    }
    std::size_t JournalLines() const { return switchd_.JournalLines().size(); }
    // The mean cost of one SWITCH round trip through the agent in microseconds: the wall time,
    // and the processor time of this process (the client's side of the trip).
    void MeasureRoundTrip(int requests, double* wall_us, double* cpu_us) {
        CSwitchCommand command;
        const double cpu_start = ProcessCpuMicroseconds();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < requests; ++i) {
            command.SetRequest(0x0C00, 0x3702, 0, 1, 0x16);
            agent_->SwitchRequest(&command);
        }
        const auto end = std::chrono::steady_clock::now();
        *wall_us = std::chrono::duration<double, std::micro>(end - start).count() / requests;
        *cpu_us = (ProcessCpuMicroseconds() - cpu_start) / requests;
    }

  private:
    cx::test::TempDir temp_;
    const std::string dir_ = temp_.Path();
    cx::test::SwitchdProcess switchd_{temp_};
    std::string actual_;
    std::unique_ptr<CCX_Agent> agent_;
    bool attached_ = false;
};

// Arguments: cabinets, processor sockets, memory slots.
void BM_InitCabinets(benchmark::State& state) {
    const ServerSize size{static_cast<unsigned>(state.range(0)),
                          static_cast<unsigned>(state.range(1)),
                          static_cast<unsigned>(state.range(2))};
    Bench bench(size);
    if (!bench.attached()) {
        state.SkipWithError("cannot attach to cx-switchd");
        return;
    }
    double trip_wall_us = 0;
    double trip_cpu_us = 0;
    bench.MeasureRoundTrip(2000, &trip_wall_us, &trip_cpu_us);
    double cpu_us = 0;
    std::size_t round_trips = 0;
    DWORD components = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench.FreshScan();
        const std::size_t before = bench.JournalLines();
        state.ResumeTiming();
        const double cpu_start = ProcessCpuMicroseconds();
        bench.agent().InitCabinets();
        cpu_us += ProcessCpuMicroseconds() - cpu_start;
        state.PauseTiming();
        round_trips += bench.JournalLines() - before;
        components = bench.agent().NrComponents;
        state.ResumeTiming();
    }
    // The collector's own cost is this process's processor time less the client's share of the
    // round trips; wall time on a shared machine mostly measures the others.
    const double runs = static_cast<double>(state.iterations());
    const double trips_per_run = static_cast<double>(round_trips) / runs;
    const double own_cpu_us = cpu_us / runs - trips_per_run * trip_cpu_us;
    state.counters["round_trips"] = trips_per_run;
    state.counters["trip_wall_us"] = trip_wall_us;
    state.counters["trip_cpu_us"] = trip_cpu_us;
    state.counters["cpu_ms_per_run"] = cpu_us / runs / 1000;
    state.counters["components"] = components;
    state.counters["own_cpu_us_per_component"] = components != 0 ? own_cpu_us / components : 0;
}
// The whole server: four cabinets, 64 sockets and 255 slots.
BENCHMARK(BM_InitCabinets)
    ->Args({4, 64, 255})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace
