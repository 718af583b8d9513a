// SC_MIB's tables from a recorded sysfs tree of invented functions: names and their fallbacks,
// device classes, slots, network addresses, ranges and interrupts, and what is left out when
// files are missing, malformed or gone; then the hard-disk adapter and device tables of the
// storage devices on those functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "block_reader.h"
#include "child_process.h"
#include "disk_tables.h"
#include "pci_tables.h"
#include "sysfs_reader.h"
#include "sysfs_tree.h"
#include "temp_dir.h"
#include "text_rows.h"

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

// The objects a data file lists ("OID|value|") have those values.
void ExpectObjects(const std::map<std::string, std::string>& objects, const char* file) {
    for (const DataRow& row : ReadPlainRows(std::string(CX_TEST_DATA "/scmib/") + file)) {
        const auto found = objects.find(row[0]);
        EXPECT_EQ(found == objects.end() ? "nothing" : found->second, row[1]) << row[0];
    }
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
    ExpectObjects(objects, "pci_tables.rows");
    EXPECT_EQ(objects.at("4.1.4.1.10.5.1.3.1"), "S:\x02\x00\x5e\x10\x00\x01"s);
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

// Three controllers and a virtio disk with what the kernel lists beside them: the adapter and
// device rows, the ports the bus collector compares, and what is not a device of a controller.
TEST(ScDiskTables, RecordedTreeOfControllers) {
    TempDir root;
    const std::string r = root.Path();
    WriteFile(root.File("pci.ids"), kTestPciIds);
    // A SATA controller in slot 2 with an I/O port before its memory; ports 1 and 2 hold a
    // disk and a CD drive, port 3 only an enclosure (no block device: no adapter).
    WritePciSlot(r, "2", "0000:00:1f");
    WritePciFunction(r, {.address = "0000:00:1f.2",
                         .device = "0x0a02",
                         .class_code = "0x010601",
                         .resource = "0xfebf0000 0xfebf0fff 0x40200\n0xe000 0xe01f 0x40101\n"});
    WriteScsiDevice(r, {.address = "0:0:0:0",
                        .ata = "ata1",
                        .vendor = "ATA     ",
                        .model = "Catalix D1      ",
                        .rev = "A1B2",
                        .block = "sda"});
    WriteScsiDevice(
        r,
        {.address = "1:0:0:0", .ata = "ata2", .model = "Catalix R4", .type = "5", .block = "sr0"});
    WriteScsiDevice(r, {.address = "2:0:0:0", .ata = "ata3", .type = "13"});
    // A SAS controller with memory only: a disk, a processor and a tape without block
    // devices, and a disk whose files are missing or empty.
    WritePciFunction(r, {.address = "0000:02:00.0",
                         .device = "0x0a02",
                         .class_code = "0x010700",
                         .resource = "0xfe000000 0xfe00ffff 0x40200\n"});
    WriteScsiDevice(r, {.pci = "0000:02:00.0", .address = "4:0:1:0", .block = "sdb"});
    WriteScsiDevice(r, {.pci = "0000:02:00.0", .address = "4:0:2:0", .type = "3"});
    WriteScsiDevice(r, {.pci = "0000:02:00.0", .address = "4:0:3:0", .type = "1"});
    WriteScsiDevice(r, {.pci = "0000:02:00.0",
                        .address = "4:1:0:0",
                        .vendor = std::nullopt,
                        .model = std::nullopt,
                        .rev = std::nullopt,
                        .type = "",
                        .block = "sdc"});
    // NVMe with a 64-bit BAR whose low half has none of its upper 16 bits set: port 0, as
    // the bus collector's IoPort. The second namespace has no nsid file.
    WritePciFunction(r, {.address = "0000:03:00.0",
                         .vendor = "0x7392",
                         .device = "0x0a02",
                         .class_code = "0x010802",
                         .resource = "0x0000004000000000 0x0000004000003fff 0x140204\n"});
    WriteNvmeNamespace(r, "0000:03:00.0", 0, "nvme0n1", "1", "Catalix N7 NVMe SSD 960G");
    WriteNvmeNamespace(r, "0000:03:00.0", 0, "nvme0n2", "");
    WriteNvmeNamespace(r, "0000:03:00.0", 0, "nvme0n3", "1");    // claims nvme0n1's nsid
    WriteNvmeNamespace(r, "0000:03:00.0", 0, "nvme0c0n1", "1");  // a multipath path: hidden
    WriteFile(r + "/sys/block/nvme0c0n1/hidden", "1\n");
    // A multipath namespace hangs from its subsystem: the controller of its path counts.
    WriteNvmeNamespace(r, "0000:03:00.0", 1, "nvme1c1n1", "1");
    WriteFile(r + "/sys/block/nvme1c1n1/hidden", "1\n");
    const std::string head = r + "/sys/devices/virtual/nvme-subsystem/nvme-subsys1/nvme1n1";
    std::filesystem::create_directories(head + "/multipath/nvme1c1n1");
    std::filesystem::create_directory_symlink(head + "/..", head + "/device");
    std::filesystem::create_directory_symlink(head, r + "/sys/block/nvme1n1");
    // A virtio disk (vendor known, device not) and what is no device of a controller: a
    // partition, loop, zram and ram disks even where they hang from a PCI function, a disk
    // on a function not in the bus table, a disk and a SCSI device gone after listing.
    WritePciFunction(r, {.address = "0000:00:05.0",
                         .vendor = "0x7394",
                         .device = "0x0a03",
                         .class_code = "0x010000",
                         .resource = "0xc000 0xc03f 0x40101\n"});
    WriteBlockDisk(r, "0000:00:05.0", "virtio2", "vda");
    WriteBlockDisk(r, "0000:00:05.0", "virtio2/block/vda", "vda1");
    WriteFile(r + "/sys/block/vda1/partition", "1\n");
    for (const char* name : {"loop0", "zram0", "ram0"})
        WriteBlockDisk(r, "0000:00:05.0", "virtio3", name);
    WriteBlockDisk(r, "0000:07:00.0", "virtio4", "vdb");
    std::filesystem::create_directory_symlink(root.File("nowhere"), r + "/sys/block/sdz");
    std::filesystem::create_directory_symlink(root.File("nowhere"),
                                              r + "/sys/bus/scsi/devices/9:0:0:0");

    const auto pci = scmib::ReadPciFunctions({r, root.File("pci.ids")});
    scmib::BlockReadResult read = scmib::ReadStorageDevices(r);
    const auto objects =
        Objects(scmib::BuildDiskTables(pci.functions, read.devices, &read.problems));
    EXPECT_EQ(read.problems.size(), 3u);  // sdz, 9:0:0:0 gone; vdb on no function
    ExpectObjects(objects, "disk_tables.rows");
    // Adapter rows of 9 objects, device rows of 6: the enclosure's host, the partition, the
    // virtual and vanished disks and the hidden and duplicate namespaces are nowhere.
    EXPECT_EQ(objects.size(), 6u * 9 + (1u + 1 + 1 + 4 + 2 + 1) * 6);
}

TEST(ScDiskTables, DevicePathsTypesAndInquiryFields) {
    // Expected: PCI function, ata port, SCSI host and address, NVMe controller; - for none.
    const std::pair<const char*, const char*> paths[] = {
        // Behind a bridge the nearer function counts; what stood above it does not.
        {"/host9/ata1/devices/pci0000:00/0000:00:1c.0/0000:01:00.0/nvme/nvme3", "0:1:0:0 - - - 3"},
        {"/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0",
         "0:0:20:0 - 6 6:0:0:0 -"},
        {"/devices/virtual/nvme-subsystem/nvme-subsys0", "- - - - -"},
        // Not addresses: wrong widths, device 32, function 8, five numbers, nvme elsewhere.
        {"/0000:0:1f.2/00000:00:1f.2/0000:00:20.0/0000:00:1f.8/1:2:3:4:5/1:2:3/nvme7/x/nvme1",
         "- - - - -"},
        {"////ata/host/0:0:0:x/nvme/nvme", "- - - - -"},
        {"", "- - - - -"}};
    for (const auto& [path, expected] : paths) {
        const scmib::DevicePath p = scmib::ParseDevicePath(path);
        auto text = [](const auto& value) {
            std::string s;
            if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, std::uint32_t>) {
                s = value ? std::to_string(*value) : "";
            } else {
                for (std::size_t i = 0; value && i < value->size(); ++i)
                    s += (i ? ":" : "") + std::to_string((*value)[i]);
            }
            return s.empty() ? "-" : s;
        };
        EXPECT_EQ(text(p.pci) + (p.ata ? " ata " : " - ") + text(p.scsi_host) + " " +
                      text(p.scsi_address) + " " + text(p.nvme_controller),
                  expected)
            << path;
    }

    // SCSI "type" texts: disk, tape, processor, CD/DVD, optical, simplified disk, enclosure.
    const std::pair<const char*, std::optional<std::uint32_t>> types[] = {
        {"0\n", 2}, {"1", 3},  {"3", 5},   {"5\n", 7},         {"7", 9}, {"14", 2}, {"13", 1},  //
        {"", {}},   {"x", {}}, {"-1", {}}, {"99999999999", {}}};
    for (const auto& [text, type] : types)
        EXPECT_EQ(scmib::DeviceTypeOfScsiType(text), type) << text;

    EXPECT_EQ(scmib::InquiryField("ATA     \n", 8), "ATA     ");
    EXPECT_EQ(scmib::InquiryField("  Catalix N7 NVMe SSD 960GB\n", 16), "Catalix N7 NVMe ");
    EXPECT_EQ(scmib::InquiryField("A\x01\xff\t", 4), "A??\x20"s);
    EXPECT_EQ(scmib::InquiryField("", 4), "    ");

    // The maker of an NVMe or virtio disk: no blank inside, whole words where they fit.
    const std::pair<const char*, const char*> makers[] = {{"Arvenmark Systems, Inc.", "Arvenmar"},
                                                          {" Q47 Data Systems Ltd.", "Q47Data"},
                                                          {"Ab Cdefghijk", "AbCdefgh"},
                                                          {"Catalix Co., Ltd. [CX/Q]", "CXQ"},
                                                          {"Q47 Corp. [ ]", "Q47"},
                                                          {"Inc.", "Inc"},
                                                          {"", "7391"},
                                                          {"\xe9 -", "7391"}};
    for (const auto& [name, vendor] : makers)
        EXPECT_EQ(scmib::InquiryVendor(name, 0x7391), vendor) << name;
}

}  // namespace
}  // namespace cx::test
