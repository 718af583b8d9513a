// Writing a 2000-component inventory through ProfileFile the way a scan writes it (counts
// rewritten at the top of their section with every insertion), against writing the same final
// file once; and reading it back row by row the way the MIB builder does.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "inventory/profile_file.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/profile.h"

namespace {

constexpr int kComponents = 2000;
constexpr int kContainers = 40;
const char* const kTextKeys[] = {"Vendor",  "ProdName", "ProdNumber", "ProdDescript", "ManuDate",
                                 "Version", "SerialNo", "Language",   "CompId"};

// A directory of our own, removed at exit (every benchmark deletes its files). Plain storage,
// so that it outlives the static destructors.
std::string Directory() {
    static char directory[32] = "/tmp/cx-bench-XXXXXX";
    static const bool made = [] {
        if (mkdtemp(directory) == nullptr) return false;
        std::atexit([] { rmdir(directory); });
        return true;
    }();
    return made ? directory : "/tmp";
}

std::string Key(const char* name, int row) { return std::string(name) + "." + std::to_string(row); }

void WriteHeader(ProfileFile& file) {
    file.WriteString("Last Date", "LastCollectionDate", "2006-10-20 08:57:39");
    file.WriteString("Last Date", "LastScanDate", "2006-10-20 08:57:39");
    file.WriteString("Last Date", "LastDate", "4538A1F3");
    file.WriteString("Last Date", "LastScan", "4538A1F3");
    file.WriteString("Last Date", "ScanState", "SCANNING");
    file.WriteString("Agent Info", "AgentId", "Catalix inventory agent");
    file.WriteString("Agent Info", "AgentCompany", "Catalix");
    file.WriteString("Agent Info", "AgentVersion", "4.20.0.0");
    file.WriteString("Agent Info", "AgentBuild", "Build: Oct 20 2006, 08:57:39");
}

void WriteComponent(ProfileFile& file, int row) {
    file.WriteInt("Component Table", Key("PhysCont", row).c_str(), 2);
    file.WriteInt("Component Table", Key("FuncCont", row).c_str(), 1 + row % kContainers);
    file.WriteInt("Component Table", Key("CompType", row).c_str(), 162);
    for (const char* key : kTextKeys) {
        std::string value = std::string(key) + " of component " + std::to_string(row);
        file.WriteString("Component Table", Key(key, row).c_str(), value.c_str());
    }
}

void WriteContainer(ProfileFile& file, int row) {
    file.WriteInt("Functional Container", Key("Type", row).c_str(), 9);
    file.WriteInt("Functional Container", Key("Parent", row).c_str(), row > 1 ? 1 : 0);
    file.WriteString("Functional Container", Key("Name", row).c_str(), "Software");
}

// The scan's way: each count rewritten before every row it counts.
void WriteAsScanned(const std::string& path) {
    ProfileFile file;
    file.SetPath(path.c_str());
    file.Open(FALSE);
    WriteHeader(file);
    for (int row = 1; row <= kContainers; ++row) {
        file.WriteInt("Functional Container", "NrContainer", row);
        WriteContainer(file, row);
    }
    for (int row = 1; row <= kComponents; ++row) {
        file.WriteInt("Component Table", "NrComponents", row);
        WriteComponent(file, row);
    }
    file.WriteString("Last Date", "ScanState", "DONE");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

// The same final file, every key written once.
void WriteOnce(const std::string& path) {
    ProfileFile file;
    file.SetPath(path.c_str());
    file.Open(FALSE);
    WriteHeader(file);
    file.WriteString("Last Date", "ScanState", "DONE");
    file.WriteInt("Functional Container", "NrContainer", kContainers);
    for (int row = 1; row <= kContainers; ++row) {
        WriteContainer(file, row);
    }
    file.WriteInt("Component Table", "NrComponents", kComponents);
    for (int row = 1; row <= kComponents; ++row) {
        WriteComponent(file, row);
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

std::string FileText(const std::string& path) {
    std::string text;
    FILE* stream = CxOpenStream(path.c_str(), "rb");
    char buffer[65536];
    for (size_t count; (count = std::fread(buffer, 1, sizeof(buffer), stream)) > 0;) {
        text.append(buffer, count);
    }
    std::fclose(stream);
    return text;
}

void RunWriter(benchmark::State& state, void (*write)(const std::string&)) {
    std::string path = Directory() + "/Catalix.act";
    for (auto _ : state) {
        write(path);
        state.PauseTiming();
        DeleteFileA(path.c_str());
        state.ResumeTiming();
    }
}

void BM_WriteInventoryAsScanned(benchmark::State& state) { RunWriter(state, WriteAsScanned); }
BENCHMARK(BM_WriteInventoryAsScanned)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteInventoryEachKeyOnce(benchmark::State& state) { RunWriter(state, WriteOnce); }
BENCHMARK(BM_WriteInventoryEachKeyOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// The final file's bytes in one write, synced to disk as a flush syncs them.
void BM_WriteFinalBytesOnce(benchmark::State& state) {
    std::string path = Directory() + "/Catalix.cpy";
    WriteOnce(path);
    std::string text = FileText(path);
    DeleteFileA(path.c_str());
    for (auto _ : state) {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        FlushFileBuffers(file);
        CloseHandle(file);
    }
    DeleteFileA(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_WriteFinalBytesOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// FillMib's pattern on the saved file: per row the probe key, two more numbers and the nine
// texts; the file is read from disk again in every iteration.
void BM_ReadInventoryRowByRow(benchmark::State& state) {
    std::string path = Directory() + "/Catalix.sav";
    WriteOnce(path);
    long reads = 0;
    for (auto _ : state) {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // forget the copy
        ProfileFile file;
        file.SetPath(path.c_str());
        file.Open(TRUE);
        for (int row = 1;; ++row) {
            UINT probe = file.ReadInt("Component Table", Key("PhysCont", row).c_str(), -1);
            ++reads;
            if (probe == 0xFFFFFFFFu) break;
            benchmark::DoNotOptimize(
                file.ReadInt("Component Table", Key("FuncCont", row).c_str(), 0));
            benchmark::DoNotOptimize(
                file.ReadInt("Component Table", Key("CompType", row).c_str(), 0));
            reads += 2;
            for (const char* key : kTextKeys) {
                benchmark::DoNotOptimize(
                    file.ReadString("Component Table", Key(key, row).c_str(), ""));
                ++reads;
            }
        }
    }
    state.counters["reads"] = benchmark::Counter(static_cast<double>(reads) / state.iterations());
    state.counters["reads_per_second"] =
        benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate);
    DeleteFileA(path.c_str());
}
BENCHMARK(BM_ReadInventoryRowByRow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
