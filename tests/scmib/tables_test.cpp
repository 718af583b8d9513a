// SC_MIB's tables from recorded sysfs trees of invented functions: names and their fallbacks,
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

using scmib::TableValue;

constexpr unsigned long long kIo = 0x40101;
constexpr unsigned long long kMem = 0x40200;
constexpr unsigned long long kMem64 = 0x140204;

// The tables' objects by OID below 1.3.6.1.4.1.7391.2.10.2.2, as "INTEGER: 5", "Gauge32: 7",
// "STRING: text" or "Hex: 02 00".
std::map<std::string, std::string> Objects(const std::vector<TableValue>& values) {
    std::map<std::string, std::string> objects;
    for (const TableValue& v : values) {
        std::string oid;
        for (std::size_t i = 11; i < v.oid.size(); ++i)
            oid += (oid.empty() ? "" : ".") + std::to_string(v.oid[i]);
        std::string text;
        switch (v.type) {
            case TableValue::Type::kInteger:
                text = "INTEGER: " + std::to_string(static_cast<std::int32_t>(v.number));
                break;
            case TableValue::Type::kGauge: text = "Gauge32: " + std::to_string(v.number); break;
            case TableValue::Type::kOctets: text = "STRING: " + v.octets; break;
        }
        if (v.type == TableValue::Type::kOctets && v.oid[15] == 10) {  // the bus table's address
            char hex[4];
            text = "Hex:";
            for (unsigned char c : v.octets) {
                std::snprintf(hex, sizeof(hex), " %02X", c);
                text += hex;
            }
        }
        EXPECT_TRUE(objects.emplace(oid, text).second) << "twice: " << oid;
    }
    return objects;
}

class RecordedTree : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(temp_.File("pci.ids"), kTestPciIds);
        WritePciSlot(temp_.Path(), "3", "0000:00:03");
        WritePciSlot(temp_.Path(), "7", "0000:05:00");  // an empty slot
        WritePciFunction(temp_.Path(), {.address = "0000:00:03.0",
                                        .resource = ResourceLine(0xe000, 0xe01f, kIo) +
                                                    ResourceLine(0xfebf0000, 0xfebfffff, kMem) +
                                                    ResourceLine(0xe020, 0xe03f, kIo),
                                        .irq = "11\n",
                                        .mac = "02:00:5e:10:00:01"});
        // Another function of the same slot; a 64-bit BAR above 4 GiB, a line that is not one.
        WritePciFunction(
            temp_.Path(),
            {.address = "0000:00:03.1",
             .device = "0x0a02",
             .class_code = "0x010700",
             .resource = "garbage\n" + ResourceLine(0x4000100000, 0x400017ffff, kMem64),
             .mac = "02:00:5e:10:00:02"});
        // Unknown to the ID database; no resource file; interrupt 0.
        WritePciFunction(temp_.Path(), {.address = "0000:02:00.0",
                                        .vendor = "0x7393",
                                        .device = "0x1234",
                                        .class_code = "0x0c0400",
                                        .irq = "0\n"});
        // Went away after it was listed; outside domain 0.
        WritePciFunction(temp_.Path(), {.address = "0000:02:01.0", .vendor = std::nullopt});
        WritePciFunction(temp_.Path(), {.address = "0001:00:00.0", .irq = "5\n"});
    }

    scmib::ReadResult Read() {
        return scmib::ReadPciFunctions({temp_.Path(), temp_.File("pci.ids")});
    }

    TempDir temp_;
};

TEST_F(RecordedTree, TablesHoldEveryReadableFunctionOfDomainZero) {
    const scmib::ReadResult read = Read();
    ASSERT_EQ(read.functions.size(), 4u);  // the vanished function is left out by the reader
    EXPECT_FALSE(read.problems.empty());
    const auto objects = Objects(scmib::BuildTables(read.functions));

    const std::map<std::string, std::string> expected = {
        // Bus table: index bus type 5, bus and function from 1, device unchanged.
        {"4.1.4.1.1.5.1.3.1", "INTEGER: 5"},
        {"4.1.4.1.2.5.1.3.1", "INTEGER: 1"},
        {"4.1.4.1.3.5.1.3.1", "INTEGER: 3"},
        {"4.1.4.1.4.5.1.3.1", "INTEGER: 1"},
        {"4.1.4.1.5.5.1.3.1", "INTEGER: 6"},
        {"4.1.4.1.6.5.1.3.1", "STRING: Ethernet controller"},
        {"4.1.4.1.7.5.1.3.1", "STRING: Q47120-N1 Network Adapter"},
        {"4.1.4.1.8.5.1.3.1", "STRING: Catalix"},
        {"4.1.4.1.9.5.1.3.1", "INTEGER: 3"},
        {"4.1.4.1.10.5.1.3.1", "Hex: 02 00 5E 10 00 01"},
        {"4.1.4.1.4.5.1.3.2", "INTEGER: 2"},
        {"4.1.4.1.5.5.1.3.2", "INTEGER: 1"},
        {"4.1.4.1.6.5.1.3.2", "STRING: Serial Attached SCSI controller"},
        {"4.1.4.1.7.5.1.3.2", "STRING: Q47120-S2 Storage Controller"},
        {"4.1.4.1.9.5.1.3.2", "INTEGER: 3"},
        // Names the database lacks are numbers; no slot is 0.
        {"4.1.4.1.2.5.3.0.1", "INTEGER: 3"},
        {"4.1.4.1.5.5.3.0.1", "INTEGER: 5"},
        {"4.1.4.1.6.5.3.0.1", "STRING: Class 0c04"},
        {"4.1.4.1.7.5.3.0.1", "STRING: 1234"},
        {"4.1.4.1.8.5.3.0.1", "STRING: 7393"},
        {"4.1.4.1.9.5.3.0.1", "INTEGER: 0"},
        // I/O and memory ranges, numbered per function and kind in BAR order.
        {"4.4.4.1.6.5.1.3.1.1", "INTEGER: 57344"},
        {"4.4.4.1.7.5.1.3.1.1", "INTEGER: 32"},
        {"4.4.4.1.6.5.1.3.1.2", "INTEGER: 57376"},
        {"4.4.4.1.5.5.1.3.1.2", "INTEGER: 2"},
        {"4.4.1.1.7.5.1.3.1.1", "Gauge32: 4273930240"},
        {"4.4.1.1.8.5.1.3.1.1", "Gauge32: 65536"},
        {"4.4.1.1.7.5.1.3.2.1", "Gauge32: 1048576"},  // the low 32 bits
        {"4.4.1.1.8.5.1.3.2.1", "Gauge32: 524288"},
        // Interrupts: index bus.device.function.
        {"4.3.1.1.1.1.3.1", "INTEGER: 1"},
        {"4.3.1.1.12.1.3.1", "INTEGER: 11"},
        {"4.3.1.1.12.3.0.1", "INTEGER: 0"},
    };
    for (const auto& [oid, value] : expected) {
        auto found = objects.find(oid);
        EXPECT_TRUE(found != objects.end() && found->second == value)
            << oid << ": expected " << value << ", got "
            << (found == objects.end() ? "nothing" : found->second);
    }
    // A storage function has no address column; no resource or irq file, no rows; the
    // vanished function and domain 1 are nowhere.
    for (const char* absent :
         {"4.1.4.1.10.5.1.3.2", "4.3.1.1.12.1.3.2", "4.4.1.1.7.5.3.0.1.1", "4.4.4.1.6.5.3.0.1.1",
          "4.4.4.1.6.5.1.3.2.1", "4.1.4.1.1.5.3.1.1", "4.1.4.1.1.5.1.0.1", "4.3.1.1.12.1.0.1"}) {
        EXPECT_EQ(objects.count(absent), 0u) << absent;
    }
    EXPECT_EQ(objects.size(), 35u + 16u + 13u);  // per function: bus row, ranges, interrupt
}

TEST_F(RecordedTree, NoTreeOrNoDatabaseStillEndsCleanly) {
    EXPECT_TRUE(scmib::ReadPciFunctions({temp_.File("nothing"), ""}).functions.empty());
    const scmib::ReadResult read = scmib::ReadPciFunctions({temp_.Path(), temp_.File("none.ids")});
    ASSERT_EQ(read.functions.size(), 4u);
    EXPECT_EQ(read.functions[0].vendor_name, "");  // numbers then, by BuildTables
}

TEST(SysfsParsers, ResourceLinesIrqAndAddress) {
    struct ResourceCase {
        std::string text;
        std::size_t ranges;
    };
    const ResourceCase resources[] = {
        {"", 0},
        {"0x0000000000001000 0x00000000000010ff\n", 0},  // truncated
        {"0x1000 0x10ff 0x100", 1},                      // short fields, no newline
        {"0x1000 0x10ff 0x100 0x1\n", 0},                // a field too many
        {"0x2000 0x1000 0x200\n", 0},                    // ends before it starts
        {"0x0 0x0 0x0\n", 0},                            // unassigned BAR
        {"0x1000 0x10ff 0x1\n", 0},                      // neither I/O nor memory
        {"0xZZ 0x10ff 0x100\n", 0},
        {"0x1ffffffffffffffff 0x2ffffffffffffffff 0x200\n", 0},  // beyond 64 bits
        {"-0x10 0x10 0x100\n", 0},
        {std::string(6, '\n') + "0xc0000 0xdffff 0x200\n", 0},  // the ROM line is not a BAR
        {std::string("0x1000 0x10ff 0x100\n") + std::string("0x0 0x0 0x0\n") +
             "0xfe000000 0xffffffffff 0x200\n",
         2},
    };
    for (const ResourceCase& c : resources)
        EXPECT_EQ(scmib::ParseResource(c.text).size(), c.ranges) << c.text;
    const auto range = scmib::ParseResource("0xfe000000 0x1fdffffff 0x200\n");
    ASSERT_EQ(range.size(), 1u);
    EXPECT_FALSE(range[0].io);

    EXPECT_EQ(scmib::ParseIrq("17\n"), 17u);
    EXPECT_EQ(scmib::ParseIrq(" 5 "), 5u);
    for (const char* bad : {"", "-1", "abc", "12x", "4294967296", "2147483648"})
        EXPECT_FALSE(scmib::ParseIrq(bad)) << bad;

    EXPECT_EQ(scmib::ParseMac("02:00:5e:10:00:01\n"), std::string("\x02\x00\x5e\x10\x00\x01", 6));
    for (const char* bad : {"", "02:00:5e:10:00", "02:00:5e:10:00:01:02", "zz:00:5e:10:00:01",
                            "02-00-5e-10-00-01", "80:00:02:08:fe:80:00:00:00:00:00:00:00:00"})
        EXPECT_FALSE(scmib::ParseMac(bad)) << bad;
}

TEST(DeviceClasses, MappedByClassAndSubclass) {
    struct ClassCase {
        std::uint32_t class_code;
        std::uint32_t device_class;
    };
    const ClassCase cases[] = {
        {0x000000, 0},  {0x000100, 7},    {0x010000, 1},  {0x010100, 2},  {0x010200, 3},
        {0x010300, 4},  {0x010400, 1},    {0x010500, 2},  {0x010601, 1},  {0x010700, 1},
        {0x010802, 4},  {0x018000, 4},    {0x020000, 6},  {0x028000, 6},  {0x030000, 7},
        {0x040300, 11}, {0x050000, 0},    {0x060400, 0},  {0x070000, 13}, {0x088000, 12},
        {0x0b4000, 14}, {0x0c0330, 11},   {0x0c0400, 5},  {0x0c0500, 0},  {0x0c0700, 12},
        {0x0d1100, 6},  {0x0e0000, 14},   {0x0f0100, 13}, {0x120000, 11}, {0xff0000, 11},
        {0xffffff, 11}, {0xffffffff, 11},
    };
    for (const ClassCase& c : cases)
        EXPECT_EQ(scmib::DeviceClassOf(c.class_code), c.device_class) << std::hex << c.class_code;
}

}  // namespace
}  // namespace cx::test
