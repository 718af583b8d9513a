// Reading a 64 KiB firmware table (a large machine: memory devices with all their strings), as
// cx-switchd --linux does at start, on SIGHUP and on device changes.
#include <benchmark/benchmark.h>

#include "smbios.h"
#include "smbios_builder.h"

namespace {

void BM_ParseSmbiosTable64K(benchmark::State& state) {
    using cx::test::SmbiosStructure;
    std::vector<SmbiosStructure> structures;
    for (std::size_t n = 0, size = 0; size < 64 * 1024 - 256;
         size += structures.back().Bytes().size(), ++n) {
        structures.push_back(SmbiosStructure(17, 0x5C,
                                             {{0x10, "DIMM " + std::to_string(n)},
                                              {0x11, "BANK 0"},
                                              {0x17, "Memorix"},
                                              {0x18, "3A0F1C22"},
                                              {0x1A, "CX-MEM-16G"}})
                                 .Set({{0x0C, 16384, 2}, {0x12, 0x1A}}));
    }
    const std::string table = cx::test::SmbiosTable(structures);
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
