// A 2000-component inventory read back through ProfileFile row by row the way the MIB builder
// does.
#include <benchmark/benchmark.h>

#include <string>

#include "child_process.h"
#include "inventory/profile_file.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "temp_dir.h"

namespace {

constexpr int kComponents = 2000;
const char* const kTextKeys[] = {"Vendor",  "ProdName", "ProdNumber", "ProdDescript", "ManuDate",
                                 "Version", "SerialNo", "Language",   "CompId"};

std::string Key(const char* name, int row) { return std::string(name) + "." + std::to_string(row); }

// The saved file as a scan leaves it.
void WriteInventory(const std::string& path) {
    std::string text = "[Component Table]\r\nNrComponents=" + std::to_string(kComponents) + "\r\n";
    for (int row = 1; row <= kComponents; ++row) {
        text += Key("PhysCont", row) + "=2\r\n" + Key("FuncCont", row) + "=" +
                std::to_string(1 + row % 40) + "\r\n" + Key("CompType", row) + "=162\r\n";
        for (const char* key : kTextKeys)
            text += Key(key, row) + "=" + key + " of component " + std::to_string(row) + "\r\n";
    }
    cx::test::WriteFile(path, text);
}

// FillMib's pattern on the saved file: per row the probe key, two more numbers and the nine
// texts; the file is read from disk again in every iteration.
void BM_ReadInventoryRowByRow(benchmark::State& state) {
    cx::test::TempDir dir;
    const std::string path = dir.File("Catalix.sav");
    WriteInventory(path);
    long reads = 0;
    for (auto _ : state) {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // forget the copy
        ProfileFile file;
        file.SetPath(path.c_str());
        file.Open(TRUE);
        for (int row = 1;; ++row, reads += 3 + std::size(kTextKeys)) {
            if (file.ReadInt("Component Table", Key("PhysCont", row).c_str(), -1) == 0xFFFFFFFFu)
                break;
            for (const char* key : {"FuncCont", "CompType"})
                benchmark::DoNotOptimize(file.ReadInt("Component Table", Key(key, row).c_str(), 0));
            for (const char* key : kTextKeys)
                benchmark::DoNotOptimize(
                    file.ReadString("Component Table", Key(key, row).c_str(), ""));
        }
        ++reads;
    }
    state.counters["reads_per_second"] =
        benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate);
    DeleteFileA(path.c_str());
}
BENCHMARK(BM_ReadInventoryRowByRow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
