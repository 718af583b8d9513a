// SC_MIB builds its tables from sysfs: a tree of 256 invented functions (8 buses of 32
// devices, each with BARs, an interrupt and every fourth a network address), read and built
// whole per iteration, with the test ID database and with the machine's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "child_process.h"
#include "pci_tables.h"
#include "sysfs_reader.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace {

constexpr char kSystemIds[] = "/usr/share/misc/pci.ids";

const cx::test::TempDir& Tree() {
    static const cx::test::TempDir* dir = [] {
        auto* temp = new cx::test::TempDir;
        cx::test::WriteFile(temp->File("pci.ids"), cx::test::kTestPciIds);
        for (unsigned n = 0; n < 256; ++n) {
            char address[32], mac[32];
            std::snprintf(address, sizeof(address), "0000:%02x:%02x.0", n / 32, n % 32);
            std::snprintf(mac, sizeof(mac), "02:00:5e:10:%02x:%02x", n / 256, n % 256);
            const bool network = n % 4 == 0;
            cx::test::WritePciFunction(
                temp->Path(),
                {.address = address,
                 .device = network ? "0x0a01" : "0x0a02",
                 .class_code = network ? "0x020000" : "0x010700",
                 .resource = cx::test::ResourceLine(0xe000 + n * 32, 0xe01f + n * 32, 0x40101) +
                             cx::test::ResourceLine(0xfe000000 + n * 0x10000,
                                                    0xfe00ffff + n * 0x10000, 0x40200) +
                             std::string(4, '\n'),
                 .irq = std::to_string(16 + n % 8) + "\n",
                 .mac = network ? mac : ""});
        }
        return temp;
    }();
    return *dir;
}

void BuildTables(benchmark::State& state, bool system_ids) {
    const cx::test::TempDir& tree = Tree();
    const std::string ids = system_ids ? kSystemIds : tree.File("pci.ids");
    if (system_ids && !std::filesystem::exists(ids)) {
        state.SkipWithError("no system pci.ids");
        return;
    }
    std::size_t objects = 0;
    for (auto _ : state) {
        const cx::scmib::ReadResult read = cx::scmib::ReadPciFunctions({tree.Path(), ids});
        const auto values = cx::scmib::BuildTables(read.functions);
        objects = values.size();
        benchmark::DoNotOptimize(values.data());
    }
    state.counters["objects"] = static_cast<double>(objects);
}

BENCHMARK_CAPTURE(BuildTables, functions256_test_ids, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BuildTables, functions256_system_ids, true)->Unit(benchmark::kMillisecond);

}  // namespace
