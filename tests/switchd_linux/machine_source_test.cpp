// Where cx-switchd --linux finds the machine without a readable firmware table (recorded
// cpuinfo and meminfo, dmi/id, the device tree), how it copes with truncated and oversized
// files below --sysroot, the item map against its doc and against sources that stopped
// answering, the reading thread, and how device events are throttled into rescan events.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "child_process.h"
#include "machine_answers.h"
#include "machine_reader.h"
#include "machine_sources.h"
#include "procfs.h"
#include "rescan_throttle.h"
#include "smbios_builder.h"
#include "temp_dir.h"

namespace cx::switchd {
namespace {

// One logical processor's block of /proc/cpuinfo.
std::string CpuBlock(int processor, const char* physical_id, int core) {
    std::string block = "processor\t: " + std::to_string(processor) +
                        "\nvendor_id\t: CatalixChips\ncpu family\t: 6\nmodel\t\t: 85\n"
                        "model name\t: Arvenmark Cx64 Processor @ 2.80GHz\nstepping\t: 7\n"
                        "cpu MHz\t\t: 2800.412\n";
    if (physical_id != nullptr) block += "physical id\t: " + std::string(physical_id) + "\n";
    block += "core id\t\t: " + std::to_string(core) + "\nflags\t\t: fpu vme de\n\n";
    return block;
}

std::string Cpuinfo(int sockets, int threads_per_socket, bool physical_id = true) {
    std::string text;
    int n = 0;
    for (int thread = 0; thread < threads_per_socket; ++thread) {
        for (int socket = 0; socket < sockets; ++socket) {  // sockets interleave, as on hosts
            const std::string id = std::to_string(socket);
            text += CpuBlock(n++, physical_id ? id.c_str() : nullptr, thread / 2);
        }
    }
    return text;
}

TEST(ProcCpuinfo, OneProcessorPerSocket) {
    const std::string one = CpuBlock(0, "3", 0);
    const std::tuple<const char*, std::string, std::vector<std::string>> cases[] = {
        {"two sockets with hyper-threads", Cpuinfo(2, 8), {"CPU 0", "CPU 1"}},
        {"no physical id", Cpuinfo(1, 4, false), {"CPU"}},
        {"no trailing blank line", one.substr(0, one.size() - 2), {"CPU 3"}},
        {"empty", "", {}},
    };
    for (const auto& [name, text, socket_names] : cases) {
        SCOPED_TRACE(name);
        std::vector<std::string> sockets;
        for (const ProcessorInfo& cpu : ParseCpuinfo(text)) {
            sockets.push_back(cpu.socket);
            EXPECT_EQ(cpu.version + "|" + cpu.maker + "|" + std::to_string(cpu.current_mhz) + "|" +
                          std::to_string(cpu.stepping),
                      "Arvenmark Cx64 Processor @ 2.80GHz|CatalixChips|2800|7");
            EXPECT_EQ(cpu.status, SocketStatus::kEnabled);
        }
        EXPECT_EQ(sockets, socket_names);
    }
}

class SysrootTest : public ::testing::Test {
  protected:
    void Write(const std::string& name, const std::string& content) {
        const std::filesystem::path path = dir_.Path() + "/" + name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    void WriteProc() {
        Write("proc/cpuinfo", Cpuinfo(2, 4));
        Write("proc/meminfo", "MemTotal:        8388608 kB\n");
    }
    void WriteTable(const std::string& entry, const std::string& table) {
        Write("sys/firmware/dmi/tables/smbios_entry_point", entry);
        Write("sys/firmware/dmi/tables/DMI", table);
    }
    MachineReading Read() const { return ReadMachine(SourceOptions{dir_.Path(), {}, {}}); }

    test::TempDir dir_;
};

TEST_F(SysrootTest, WithoutTheTableDmiIdTheDeviceTreeAndProcDescribeTheMachine) {
    WriteProc();
    Write("proc/device-tree/model", std::string("Arden M1 Board\0", 15));
    Write("proc/device-tree/compatible", std::string("arvenmark,m1\0catalix,soc\0", 26));
    MachineReading source = Read();
    EXPECT_EQ(source.log[0], "SMBIOS: none: the table cannot be read");
    EXPECT_EQ(source.log[2], "device tree: /proc/device-tree/");
    ASSERT_TRUE(source.info.system);
    EXPECT_EQ(source.info.system->product + "|" + source.info.system->maker, "Arden M1 Board|");

    // The kernel's copy of the table comes first.
    Write("sys/class/dmi/id/sys_vendor", "Catalix\n");
    Write("sys/class/dmi/id/product_name", "Arden T20\n");
    Write("sys/class/dmi/id/product_serial", "Not Specified\n");
    Write("sys/class/dmi/id/bios_date", "03/02/2025\n");
    Write("etc/machine-id", "0123456789abcdef0123456789abcdef\n");
    source = Read();
    EXPECT_EQ(source.log[1], "dmi/id: /sys/class/dmi/id");
    ASSERT_TRUE(source.info.system);
    EXPECT_EQ(source.info.system->product, "Arden T20");
    EXPECT_EQ(source.info.system->serial, "");  // never the machine id
    EXPECT_EQ(source.info.bios->release_date, "03/02/2025");
    EXPECT_EQ(source.info.processors.size(), 2u);
    ASSERT_EQ(source.info.memory.size(), 1u);
    EXPECT_EQ(source.info.memory[0].size_mb, 8192u);
    // The agent's memory module: the name, then the size it appends.
    RequestKey name{0x0702, 0, 0, 1, {}, false};
    EXPECT_EQ(AnswerMachineRequest(source.info, name)->data, std::string("System Memory\0", 14));
}

TEST_F(SysrootTest, ProcessorsAndMemoryComeFromTheTableWhenItListsThem) {
    WriteProc();
    const std::string table = test::SmbiosTable(
        {test::SmbiosStructure(4, 0x2A).Text(0x10, "Cx64").Set(0x05, 3).Set(0x18, 0x41)});
    WriteTable(test::SmbiosEntryPoint3(static_cast<std::uint32_t>(table.size())), table);
    MachineReading source = Read();
    EXPECT_EQ(source.log[0], "SMBIOS: 3.3 table (2 structures)");
    ASSERT_EQ(source.info.processors.size(), 1u);
    EXPECT_EQ(source.info.processors[0].version, "Cx64");
    EXPECT_EQ(source.info.memory.size(), 1u);  // the table has no memory devices: meminfo's
}

TEST_F(SysrootTest, BrokenAndOversizedFilesDegradeToWhatCanBeRead) {
    WriteProc();
    const std::string bios = test::SmbiosStructure(0, 0x12).Text(0x04, "Catalix").Bytes();
    const std::string table = bios + test::SmbiosTable({test::SmbiosStructure(1, 0x1B)});
    // The table file cut in the second structure: the first one stays.
    WriteTable(test::SmbiosEntryPoint3(static_cast<std::uint32_t>(table.size())),
               table.substr(0, bios.size() + 7));
    MachineReading source = Read();
    EXPECT_TRUE(source.info.bios);
    EXPECT_FALSE(source.info.system);

    // A truncated entry point: procfs instead.
    WriteTable(test::SmbiosEntryPoint3(4096).substr(0, 12), table);
    source = Read();
    EXPECT_EQ(source.log[0].find("SMBIOS: none: entry point"), 0u) << source.log[0];
    EXPECT_FALSE(source.info.bios);
    EXPECT_EQ(source.info.processors.size(), 2u);

    // A cpuinfo larger than the reader takes (9 MiB of processors of one socket): read up to
    // the limit; a meminfo without its number.
    std::string huge;
    for (int n = 0; huge.size() < (9u << 20); ++n)
        huge += CpuBlock(n, "0", n);
    Write("proc/cpuinfo", huge);
    Write("proc/meminfo", "MemTotal:");
    source = Read();
    EXPECT_EQ(source.info.processors.size(), 1u);
    EXPECT_TRUE(source.info.memory.empty());
}

// Every row of the item map is in the doc's table with the same sources, and nothing else is.
TEST(MachineItems, TheDocListsEveryRowWithItsSources) {
    std::set<std::string> doc, rows;
    std::istringstream text(test::ReadFile(CX_DOC_DIR "/switchd-linux.md"));
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("| 0x", 0) != 0) continue;
        std::vector<std::string> cells;
        for (std::size_t at = 1, bar; (bar = line.find(" |", at)) != std::string::npos;
             at = bar + 2)
            cells.push_back(line.substr(at + 1, bar - at - 1));
        if (cells.size() == 4) doc.insert(cells[0] + " | " + cells[1] + " | " + cells[3]);
    }
    char key[32];
    for (const ItemRow& row : MachineItems()) {
        if (row.op_code_ext == kAnyExtension)
            std::snprintf(key, sizeof(key), "0x%04X *", row.op_code);
        else if (row.op_code_ext == 0)
            std::snprintf(key, sizeof(key), "0x%04X", row.op_code);
        else
            std::snprintf(key, sizeof(key), "0x%04X 0x%04X", row.op_code, row.op_code_ext);
        rows.insert(std::string(key) + " | " + row.name + " | " + SourceNames(row.sources));
    }
    EXPECT_EQ(doc, rows);
}

// A source that stopped answering: what it alone would tell is a transport failure, what an
// earlier source told still stands, and counts of its parts are not 0.
TEST(MachineItems, ASourceThatStoppedAnsweringIsNotAnAbsentOne) {
    MachineInfo machine;
    machine.system = SystemInfo{"Catalix", "Arden R20", {}, {}, {}};
    machine.failed = kIpmi | kNut;
    auto status = [&](std::uint32_t op, std::uint32_t ext) {
        const std::optional<ReplySpec> reply =
            AnswerMachineRequest(machine, RequestKey{op, ext, 0, 1, {}, false});
        return reply ? std::to_string(reply->status) + ":" + reply->data : "-";
    };
    EXPECT_EQ(status(0x0C21, 7), "6:");                                   // fans
    EXPECT_EQ(status(0xE001, 0x0100), "6:");                              // UPS units
    EXPECT_EQ(status(0x0C00, 0x2C02), "6:");                              // a fan's name
    EXPECT_EQ(status(0x0C00, 0x2002), std::string("0:Arden R20\0", 12));  // from SMBIOS
    EXPECT_EQ(status(0x0C00, 0x2007), "6:");                              // the FRU might have it
    EXPECT_EQ(status(0x0600, 0), "0:" + std::string(1, '\0'));            // files do not fail
    EXPECT_EQ(status(0x0C00, 0x3601), "-");
    machine.failed = 0;
    EXPECT_EQ(status(0x0C21, 7), "0:" + std::string(1, '\0'));
    EXPECT_EQ(status(0x0C00, 0x2007), "-");
}

// Reads run on the reader's thread; a scan's first request gets one that began after it.
TEST(MachineReader, AScanGetsAReadThatBeganAfterItAsked) {
    std::atomic<int> reads{0};
    MachineReader reader(
        [&] {
            MachineReading reading;
            reading.info.fans.resize(static_cast<std::size_t>(++reads));
            reading.log = {"fans: " + std::to_string(reads.load())};
            return reading;
        },
        [] { return true; });
    EXPECT_EQ(reader.Current(std::chrono::milliseconds(1))->fans.size(), 0u);
    reader.RequestRead();
    EXPECT_EQ(reader.Current(std::chrono::seconds(10))->fans.size(), 1u);
    EXPECT_EQ(reader.ReadNow(std::chrono::seconds(10))->fans.size(), 2u);
    EXPECT_EQ(reader.ReadNow(std::chrono::seconds(10))->fans.size(), 3u);
    reader.RequestWatch();
    ASSERT_TRUE(test::WaitUntil([&] {
        pollfd ready{reader.fd(), POLLIN, 0};
        return poll(&ready, 1, 0) == 1;
    }));
    ASSERT_TRUE(test::WaitUntil([&] { return reader.TakeFinished().changed; }));
}

TEST(RescanThrottle, AStormGivesAtMostOneEventPerPeriod) {
    using Clock = RescanThrottle::Clock;
    using std::chrono::milliseconds;
    RescanThrottle throttle(std::chrono::seconds(5));
    const Clock::time_point start{};
    std::vector<Clock::time_point> sent;
    // 1,000 events 10 ms apart (10 s), the loop also asking for held-back ones after each.
    for (int i = 0; i < 1000; ++i) {
        const Clock::time_point now = start + milliseconds(10 * i);
        if (throttle.Due(now)) sent.push_back(now);
        if (throttle.Change(now)) sent.push_back(now);
    }
    // After the storm the last change is still reported once, at the period's end.
    EXPECT_EQ(throttle.Deadline(), start + milliseconds(10000));
    EXPECT_FALSE(throttle.Due(start + milliseconds(9999)));
    EXPECT_TRUE(throttle.Due(start + milliseconds(10000)));
    sent.push_back(start + milliseconds(10000));
    EXPECT_FALSE(throttle.Deadline());
    EXPECT_EQ(sent, (std::vector<Clock::time_point>{start, start + milliseconds(5000),
                                                    start + milliseconds(10000)}));
    // A reload's event counts: a change right after it waits.
    throttle.Sent(start + milliseconds(20000));
    EXPECT_FALSE(throttle.Change(start + milliseconds(20001)));
    EXPECT_TRUE(throttle.Due(start + milliseconds(26000)));
}

}  // namespace
}  // namespace cx::switchd
