// SC_MIB's tables from a recorded sysfs tree of invented functions: names and their fallbacks,
// device classes, slots, network addresses, ranges and interrupts, and what is left out when
// files are missing, malformed or gone.
#include <gtest/gtest.h>

#include <map>

#include "child_process.h"
#include "pci_tables.h"
#include "sysfs_reader.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

using namespace std::string_literals;

// The objects by OID below 1.3.6.1.4.1.7391.2.10.2.2, as "I:5", "G:7" or "S:text".
std::map<std::string, std::string> Objects(const std::vector<scmib::TableValue>& values) {
    std::map<std::string, std::string> objects;
    for (const scmib::TableValue& v : values) {
        std::string oid;
        for (std::size_t i = 11; i < v.oid.size(); ++i)
            oid += (oid.empty() ? "" : ".") + std::to_string(v.oid[i]);
        const char* type[] = {"I:", "G:", "S:"};
        const std::string text = v.type == scmib::TableValue::Type::kOctets
                                     ? v.octets
                                     : std::to_string(static_cast<std::int32_t>(v.number));
        EXPECT_TRUE(objects.emplace(oid, type[static_cast<int>(v.type)] + text).second) << oid;
    }
    return objects;
}

TEST(ScTables, RecordedTreeOfInventedFunctions) {
    TempDir root;
    WriteFile(root.File("pci.ids"), kTestPciIds);
    WritePciSlot(root.Path(), "3", "0000:00:03");
    WritePciFunction(root.Path(), {.address = "0000:00:03.0",
                                   .resource = "0x000000000000e000 0x000000000000e01f 0x40101\n"
                                               "0x00000000febf0000 0x00000000febfffff 0x40200\n"
                                               "0x000000000000e020 0x000000000000e03f 0x40101\n",
                                   .irq = "11\n",
                                   .mac = "02:00:5e:10:00:01"});
    // The same slot; a 64-bit BAR above 4 GiB after a line that is none; no irq file.
    WritePciFunction(root.Path(),
                     {.address = "0000:00:03.1",
                      .device = "0x0a02",
                      .class_code = "0x010700",
                      .resource = "garbage\n0x0000004000100000 0x000000400017ffff 0x140204\n",
                      .mac = "02:00:5e:10:00:02"});
    // Unknown to the ID database, no resource file, interrupt 0; then a function that went
    // away after it was listed, and one outside domain 0.
    WritePciFunction(root.Path(), {.address = "0000:02:00.0",
                                   .vendor = "0x7393",
                                   .device = "0x1234",
                                   .class_code = "0x0c0400",
                                   .irq = "0\n"});
    WritePciFunction(root.Path(), {.address = "0000:02:01.0", .vendor = std::nullopt});
    WritePciFunction(root.Path(), {.address = "0001:00:00.0", .irq = "5\n"});

    const scmib::ReadResult read = scmib::ReadPciFunctions({root.Path(), root.File("pci.ids")});
    EXPECT_EQ(read.functions.size(), 4u);
    EXPECT_FALSE(read.problems.empty());
    const auto objects = Objects(scmib::BuildTables(read.functions));
    const std::map<std::string, std::string> expected = {
        // Bus table: index bus type 5, bus and function from 1, device unchanged.
        {"4.1.4.1.1.5.1.3.1", "I:5"},
        {"4.1.4.1.4.5.1.3.2", "I:2"},
        {"4.1.4.1.5.5.1.3.1", "I:6"},
        {"4.1.4.1.6.5.1.3.1", "S:Ethernet controller"},
        {"4.1.4.1.7.5.1.3.1", "S:Q47120-N1 Network Adapter"},
        {"4.1.4.1.8.5.1.3.1", "S:Catalix"},
        {"4.1.4.1.9.5.1.3.2", "I:3"},
        {"4.1.4.1.10.5.1.3.1", "S:\x02\x00\x5e\x10\x00\x01"s},
        // Names the database lacks are numbers; no slot is 0.
        {"4.1.4.1.5.5.3.0.1", "I:5"},
        {"4.1.4.1.6.5.3.0.1", "S:Class 0c04"},
        {"4.1.4.1.7.5.3.0.1", "S:1234"},
        {"4.1.4.1.8.5.3.0.1", "S:7393"},
        // Ranges numbered per function and kind in BAR order; memory starts' low 32 bits.
        {"4.4.4.1.6.5.1.3.1.2", "I:57376"},
        {"4.4.1.1.7.5.1.3.1.1", "G:-21037056"},
        {"4.4.1.1.7.5.1.3.2.1", "G:1048576"},
        {"4.4.1.1.8.5.1.3.2.1", "G:524288"},
        // Interrupts: index bus.device.function.
        {"4.3.1.1.12.1.3.1", "I:11"},
        {"4.3.1.1.12.3.0.1", "I:0"},
    };
    for (const auto& [oid, value] : expected) {
        const auto found = objects.find(oid);
        EXPECT_TRUE(found != objects.end() && found->second == value) << oid << " " << value;
    }
    // No address column but for network functions; no ranges or interrupt without the files;
    // vanished function and domain 1 nowhere. Per function: bus row, ranges, interrupt.
    for (const char* absent : {"4.1.4.1.10.5.1.3.2", "4.3.1.1.12.1.3.2", "4.4.1.1.7.5.3.0.1.1",
                               "4.1.4.1.1.5.3.1.1", "4.1.4.1.1.5.1.0.1"})
        EXPECT_EQ(objects.count(absent), 0u) << absent;
    EXPECT_EQ(objects.size(), (10u + 2 * 7 + 7 + 4) + (9u + 7) + (9u + 4));

    // Without a tree nothing; without the ID database the names are left to BuildTables.
    EXPECT_TRUE(scmib::ReadPciFunctions({root.File("none"), ""}).functions.empty());
    EXPECT_EQ(scmib::ReadPciFunctions({root.Path(), root.File("none")}).functions[0].vendor_name,
              "");
}

TEST(ScTables, ResourceIrqAndAddressTexts) {
    // Six BAR lines, none of them a range: truncated, a field too many, ending before the
    // start, unassigned, neither I/O nor memory, not hexadecimal; then the ROM line.
    EXPECT_TRUE(
        scmib::ParseResource("0x0000000000001000 0x00000000000010ff\n"
                             "0x1000 0x10ff 0x100 0x1\n0x2000 0x1000 0x200\n0x0 0x0 0x0\n"
                             "0x1000 0x10ff 0x1\n0xZZ 0x10ff 0x100\n0xc0000 0xdffff 0x200\n")
            .empty());
    EXPECT_TRUE(
        scmib::ParseResource("-0x10 0x10 0x100\n0x1ffffffffffffffff 0x2ffffffffffffffff 0x200\n")
            .empty());
    EXPECT_EQ(scmib::ParseResource("0x1000 0x10ff 0x100").size(), 1u);  // short, no newline
    EXPECT_EQ(scmib::ParseIrq(" 17\n"), 17u);
    for (const char* bad : {"", "-1", "12x", "4294967296", "2147483648"})
        EXPECT_FALSE(scmib::ParseIrq(bad)) << bad;
    EXPECT_EQ(scmib::ParseMac("02:00:5e:10:00:01\n"), "\x02\x00\x5e\x10\x00\x01"s);
    for (const char* bad : {"02:00:5e:10:00", "zz:00:5e:10:00:01", "02-00-5e-10-00-01",
                            "80:00:02:08:fe:80:00:00:00:00:00:00:00:00"})
        EXPECT_FALSE(scmib::ParseMac(bad)) << bad;
}

TEST(ScTables, DeviceClassByClassAndSubclass) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0x000100, 7},  {0x000000, 0},  {0x010000, 1},    {0x010601, 1},  {0x010100, 2},
        {0x010500, 2},  {0x010200, 3},  {0x010802, 4},    {0x020000, 6},  {0x030000, 7},
        {0x040300, 11}, {0x060400, 0},  {0x070000, 13},   {0x088000, 12}, {0x0b4000, 14},
        {0x0c0330, 11}, {0x0c0400, 5},  {0x0c0500, 0},    {0x0c0700, 12}, {0x0d1100, 6},
        {0x0e0000, 14}, {0xff0000, 11}, {0xffffffff, 11},
    };
    for (const auto& [class_code, device_class] : cases)
        EXPECT_EQ(scmib::DeviceClassOf(class_code), device_class) << std::hex << class_code;
}

}  // namespace
}  // namespace cx::test
