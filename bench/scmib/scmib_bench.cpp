// SC_MIB builds its tables from sysfs: a tree of 256 invented functions (8 buses of 32 devices,
// each with two BARs and an interrupt, every fourth a network function with an address), read
// and built whole per iteration; with the test ID database (0) and the machine's (1). Then the
// disk tables of a controller with 64 and 256 SCSI disks, read and built whole per iteration.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "block_reader.h"
#include "child_process.h"
#include "disk_tables.h"
#include "pci_tables.h"
#include "sysfs_reader.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace {

void BuildTables256(benchmark::State& state) {
    cx::test::TempDir tree;
    cx::test::WriteFile(tree.File("pci.ids"), cx::test::kTestPciIds);
    for (unsigned n = 0; n < 256; ++n) {
        char address[16], resource[128], mac[24];
        std::snprintf(address, sizeof(address), "0000:%02x:%02x.0", n / 32, n % 32);
        std::snprintf(resource, sizeof(resource), "0x%x 0x%x 0x40101\n0x%x 0x%x 0x40200\n",
                      0xe000 + n * 32, 0xe01f + n * 32, 0xfe000000 + n * 0x10000,
                      0xfe00ffff + n * 0x10000);
        std::snprintf(mac, sizeof(mac), "02:00:5e:10:00:%02x", n);
        cx::test::WritePciFunction(tree.Path(), {.address = address,
                                                 .class_code = n % 4 ? "0x010700" : "0x020000",
                                                 .resource = resource,
                                                 .irq = std::to_string(16 + n % 8),
                                                 .mac = n % 4 ? "" : mac});
    }
    const std::string ids = state.range(0) ? "/usr/share/misc/pci.ids" : tree.File("pci.ids");
    for (auto _ : state) {
        const auto read = cx::scmib::ReadPciFunctions({tree.Path(), ids});
        benchmark::DoNotOptimize(cx::scmib::BuildTables(read.functions).size());
    }
}

BENCHMARK(BuildTables256)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BuildDiskTables(benchmark::State& state) {
    cx::test::TempDir tree;
    cx::test::WriteFile(tree.File("pci.ids"), cx::test::kTestPciIds);
    const char* controller = "0000:02:00.0";
    cx::test::WritePciFunction(tree.Path(), {.address = controller,
                                             .device = "0x0a02",
                                             .class_code = "0x010700",
                                             .resource = "0xfe000000 0xfe00ffff 0x40200\n"});
    for (unsigned n = 0; n < state.range(0); ++n) {
        cx::test::WriteScsiDevice(tree.Path(), {.pci = controller,
                                                .address = "0:" + std::to_string(n / 16) + ":" +
                                                           std::to_string(n % 16) + ":0",
                                                .block = "sd" + std::to_string(n)});
    }
    const auto pci = cx::scmib::ReadPciFunctions({tree.Path(), tree.File("pci.ids")});
    for (auto _ : state) {
        const auto read = cx::scmib::ReadStorageDevices(tree.Path());
        benchmark::DoNotOptimize(cx::scmib::BuildDiskTables(pci.functions, read.devices).size());
    }
}

BENCHMARK(BuildDiskTables)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

}  // namespace
