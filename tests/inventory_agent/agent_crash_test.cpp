// The saved inventory survives the host being killed at any moment of a scan or comparison,
// and a data root that cannot be written leaves the published MIB as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "catalix_host.h"
#include "platform/profile.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

constexpr int kKills = 100;

// The number of keys of `section` in the INI text `path`.
std::size_t KeyCount(const std::string& path, const char* section) {
    std::vector<char> keys(64 * 1024);
    const DWORD length = GetPrivateProfileStringA(section, nullptr, "", keys.data(),
                                                  static_cast<DWORD>(keys.size()), path.c_str());
    std::size_t count = 0;
    for (DWORD at = 0; at < length; at += static_cast<DWORD>(std::strlen(&keys[at])) + 1)
        ++count;
    return count;
}

class CrashTest : public CatalixHostTest {
  protected:
    // Two table files whose inventories differ by one component type, so that every scan of
    // the other one replaces the saved file.
    void WriteTables() {
        const std::string table = ReadFile(std::string(CX_PROJECT_DATA) + "/CX_MIB.ini");
        for (const char* name : {"table-a.ini", "table-b.ini"}) {
            WriteFile(temp_.File(name), table);
        }
        WritePrivateProfileStringA("Component Type", "VariantB", "7E",
                                   temp_.File("table-b.ini").c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
        types_a_ = KeyCount(temp_.File("table-a.ini"), "Component Type");
        types_b_ = KeyCount(temp_.File("table-b.ini"), "Component Type");
        ASSERT_EQ(types_b_, types_a_ + 1);
    }
    void UseTable(int variant) {
        SetString("SOFTWARE\\Arvenmark\\CX_MIB\\FILE", "TableFile",
                  temp_.File(variant == 0 ? "table-a.ini" : "table-b.ini"));
    }
    // A saved file is one complete inventory of one of the two tables, never a torn one.
    void ExpectCompleteSavedFile(int iteration) {
        if (!DataFileExists("Catalix.sav")) return;
        const std::string path = DataPath("Catalix.sav");
        const std::string text = ReadFile(path);
        ASSERT_FALSE(text.empty()) << "iteration " << iteration;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "iteration " << iteration;
        const std::size_t types = KeyCount(path, "Component Definition");
        EXPECT_TRUE(types == types_a_ || types == types_b_)
            << "iteration " << iteration << ": " << types << " component types";
        EXPECT_GT(KeyCount(path, "Functional Definition"), 0u) << "iteration " << iteration;
        EXPECT_EQ(KeyCount(path, "Agent Info"), 4u) << "iteration " << iteration;
    }
    // What the agent publishes after a restart matches one complete inventory.
    void ExpectPublishedInventory(int iteration) {
        ASSERT_TRUE(StartHost("1000")) << HostErrors();
        std::size_t published = 0;
        for (const auto& [oid, value] : Walk())
            published += oid.rfind(".3.1.1.3.", 0) == 0;
        EXPECT_TRUE(published == types_a_ || published == types_b_ ||
                    (published == 0 && !DataFileExists("Catalix.sav")))
            << "iteration " << iteration << ": " << published << " definitions published";
        EXPECT_EQ(StopHost(), 0);
    }

    std::size_t types_a_ = 0;
    std::size_t types_b_ = 0;
};

TEST_F(CrashTest, KillsDuringScansNeverTearTheSavedFile) {
    WriteTables();
    SetDword(kAgentParameters, "ScanTime", 300);  // a scan every 0.3 s at the time scale
    StartSwitch();
    std::mt19937 random(20061020);
    std::uniform_int_distribution<int> moment_ms(0, 600);
    for (int i = 0; i < kKills; ++i) {
        UseTable(i % 2);
        host_ = std::make_unique<ChildProcess>();
        ASSERT_TRUE(host_->Start({CX_EXTAGENTD_PATH, "--foreground", "--registry",
                                  temp_.File("registry.db"), "--state-dir", temp_.File("state")},
                                 temp_.File("host.out"), temp_.File("host.err"),
                                 {{"CX_TIME_SCALE", "1000"}}));
        std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(random)));
        KillHost();
        ExpectCompleteSavedFile(i);
        if (i % 25 == 24) ExpectPublishedInventory(i);
        if (HasFailure()) break;
    }
    // A copy left by a kill is cleared by the next complete comparison.
    UseTable(0);
    ASSERT_TRUE(StartHost("1000")) << HostErrors();
    const std::size_t scans = TraceCount("\n\n  Rescan done");
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", scans + 2)) << Trace();
    EXPECT_EQ(StopHost(), 0);
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));
    ExpectCompleteSavedFile(kKills);
    EXPECT_GT(TraceCount("\n!!! FILES ARE DIFFERENT"), 0u);
}

// The host runs in its own mount namespace with the data root on a small tmpfs that is
// read-only or full; the saved file was put there before.
class UnwritableDataRoot : public CatalixHostTest {
  protected:
    bool StartOnTmpfs(const std::string& setup) {
        const std::string script =
            "mount -t tmpfs -o size=256k tmpfs \"$DATA\" && "
            "cp \"$SAVED\" \"$DATA/Catalix.sav\" && " +
            setup + " && exec \"$@\"";
        const ToolResult probe = RunTool(
            {"/usr/bin/unshare", "-m", "/bin/sh", "-c", "mount -t tmpfs tmpfs \"$0\"", data_dir_},
            temp_.Path());
        if (probe.exit_code != 0) return false;
        WriteFile(temp_.File("saved.ini"),
                  "[Last Date]\r\nLastDate=4539A1F0\r\nLastScan=4539A1F0\r\nScanState=DONE\r\n"
                  "[Agent Info]\r\nAgentId=Inventory\r\n"
                  "[Component Definition]\r\n0C=Processor\r\n");
        std::vector<std::string> argv = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh"};
        for (const char* arg : {CX_EXTAGENTD_PATH, "--foreground", "--registry"}) {
            argv.push_back(arg);
        }
        argv.push_back(temp_.File("registry.db"));
        argv.push_back("--state-dir");
        argv.push_back(temp_.File("state"));
        host_ = std::make_unique<ChildProcess>();
        started_ = host_->Start(
            argv, temp_.File("host.out"), temp_.File("host.err"),
            {{"DATA", data_dir_}, {"SAVED", temp_.File("saved.ini")}, {"CX_TIME_SCALE", "100"}});
        return true;
    }
    void ExpectScanFailsAndMibStays() {
        ASSERT_TRUE(started_);
        ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace() << HostErrors();
        EXPECT_EQ(TraceCount("\n!!! NO ACTUAL FILE"), 1u) << Trace();
        EXPECT_EQ(TraceCount("\n!!! Cannot open file \""), 1u) << Trace();
        auto walk = WalkMap();
        EXPECT_EQ(walk[".1.1.0"], "STRING: \"Inventory\"");
        EXPECT_EQ(walk[".2.1.0"], "INTEGER: 1161404912");
        EXPECT_EQ(walk[".3.1.1.3.1"], "STRING: \"Processor\"");
        EXPECT_EQ(walk[".2.3.0"], "INTEGER: 3");
    }
    bool started_ = false;
};

TEST_F(UnwritableDataRoot, ReadOnly) {
    StartSwitch();
    if (!StartOnTmpfs("mount -o remount,ro \"$DATA\"")) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    ExpectScanFailsAndMibStays();
}

TEST_F(UnwritableDataRoot, Full) {
    StartSwitch();
    if (!StartOnTmpfs("{ dd if=/dev/zero of=\"$DATA/filler\" bs=4k 2>/dev/null; true; }")) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    ExpectScanFailsAndMibStays();
}

}  // namespace
}  // namespace cx::test
