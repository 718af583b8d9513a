// Reading a 64 KiB firmware table (a large machine: processors and memory devices with all
// their strings), as cx-switchd --linux does at start, on SIGHUP and on device changes.
#include <benchmark/benchmark.h>

#include "smbios.h"
#include "smbios_builder.h"

namespace {

std::string LargeTable() {
    std::string table;
    for (int n = 0; table.size() < 64 * 1024 - 256; ++n) {
        const std::string slot = "DIMM " + std::to_string(n);
        cx::test::SmbiosStructure s = n % 8 == 0 ? cx::test::SmbiosStructure(4, 0x30)
                                                       .Text(0x04, "CPU" + std::to_string(n / 8))
                                                       .Set(0x05, 3)
                                                       .Text(0x07, "Arvenmark Chips")
                                                       .Text(0x10, "Arvenmark Cx64 Processor")
                                                       .Set(0x16, 2800, 2)
                                                       .Set(0x18, 0x41)
                                                 : cx::test::SmbiosStructure(17, 0x5C)
                                                       .Set(0x0C, 16384, 2)
                                                       .Text(0x10, slot)
                                                       .Text(0x11, "BANK 0")
                                                       .Set(0x12, 0x1A)
                                                       .Text(0x17, "Memorix")
                                                       .Text(0x18, "3A0F1C22")
                                                       .Text(0x1A, "CX-MEM-16G");
        table += s.Bytes();
    }
    return table + cx::test::SmbiosStructure(127, 4).Bytes();
}

void BM_ParseSmbiosTable64K(benchmark::State& state) {
    const std::string table = LargeTable();
    cx::switchd::SmbiosEntryPoint entry;
    std::string error;
    if (!cx::switchd::ParseSmbiosEntryPoint(
            cx::test::SmbiosEntryPoint3(static_cast<std::uint32_t>(table.size())), &entry,
            &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        cx::switchd::MachineInfo machine;
        benchmark::DoNotOptimize(cx::switchd::ParseSmbiosTable(entry, table, &machine));
        benchmark::DoNotOptimize(machine.memory.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size()));
}
BENCHMARK(BM_ParseSmbiosTable64K)->Unit(benchmark::kMicrosecond);

}  // namespace
